// A scene resolved against the screens connected now: which layout and which window hints go to
// which connected display.
#pragma once

#include "scenes/model/WindowHint.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

struct SceneDisplayResolution {
    std::vector<std::string> orderedDisplayUUIDs; // main screen first, each once
    std::set<std::string> matchedDisplayUUIDs;    // connected displays with a reference of their own
    std::optional<std::string> fallbackDisplayUUID;
    std::map<std::string, std::string> layoutRefs;              // connected displays only
    std::map<std::string, std::vector<WindowHint>> windowHints; // only displays with a layout reference

    friend bool operator==(const SceneDisplayResolution&, const SceneDisplayResolution&) = default;
};

} // namespace korvane
