// One application window that a scene places: which application, which zone, and where it stood.
#pragma once

#include "scenes/model/NormalizedFrame.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

struct WindowHint {
    std::string bundleID;
    std::int64_t zoneID = 0;
    std::optional<NormalizedFrame> normalizedFrame;

    friend bool operator==(const WindowHint&, const WindowHint&) = default;

    // "bundleID", "zoneID", then "normalizedFrame" only when set.
    nlohmann::ordered_json toJSON() const;
    // Throws DecodingError when "bundleID" or "zoneID" is missing or of the wrong type, or the
    // frame is incomplete.
    static WindowHint fromJSON(const nlohmann::json& json);
};

} // namespace korvane
