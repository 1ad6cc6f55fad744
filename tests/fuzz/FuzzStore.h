// The property every JSON file store must have under any input: what decodes encodes to bytes that
// decode again to as many records, and those bytes are a fixed point. The first encoding may still
// normalise (whole-second dates, one key per display), never later ones.
#pragma once

#include "FuzzSupport.h"

#include "core/JSONFileStore.h"

#include <functional>

namespace korvane::fuzz {

// `encode` writes a record as its store does.
template <class Record>
std::optional<Record> checkStoreRoundTrip(const std::string& bytes,
                                          const std::function<std::string(const Record&)>& encode,
                                          const std::function<std::size_t(const Record&)>& count) {
    const std::optional<Record> first = JSONFileStore<Record>::decode(bytes);
    if (!first) return std::nullopt;
    const std::string written = encode(*first);
    const std::optional<Record> second = JSONFileStore<Record>::decode(written);
    FUZZ_CHECK(second.has_value(), "what was read cannot be read back once written:\n" + written);
    FUZZ_CHECK(count(*second) == count(*first), "records lost or gained in a round trip:\n" + written);
    const std::string again = encode(*second);
    FUZZ_CHECK(again == written, "a second round trip changes the file:\n" + written + "\n---\n" + again);
    return first;
}

// The same for a store that writes through JSONFileStore with `encoder`.
template <class Record>
std::optional<Record> checkStoreRoundTrip(const std::string& bytes, const JSONEncoder& encoder,
                                          const std::function<std::size_t(const Record&)>& count) {
    return checkStoreRoundTrip<Record>(
        bytes, [&](const Record& r) { return JSONFileStore<Record>::encode(r, encoder); }, count);
}

} // namespace korvane::fuzz
