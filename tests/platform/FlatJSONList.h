// A stored file's text of many small objects in one flat list, under a key no reader knows: the form a
// damaged or hostile file takes most cheaply, for the reader's tests and its benchmark.
#pragma once

#include <cstddef>
#include <string>

namespace korvane::test {

// `{"schemaVersion":2,"unknown":[{},{},…]}`, `bytes` long.
inline std::string flatJSONList(std::size_t bytes) {
    std::string text = "{\"schemaVersion\":2,\"unknown\":[{}";
    text.reserve(bytes);
    while (text.size() + 6 < bytes)
        text += ",{}";
    return text + "]}";
}

} // namespace korvane::test
