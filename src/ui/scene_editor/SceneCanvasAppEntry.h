// An application chip of the scene canvas, with the name and picture it shows.
#pragma once

#include "platform/Workspace.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// A picture as the desktop hands it out, shared by the chips that show it.
using ApplicationIconRef = std::shared_ptr<const platform::IconImage>;

struct SceneCanvasAppEntry {
    std::string id; // the chip's identity on the canvas: a fresh UUID per entry built from the scene
    std::string bundleID;
    std::string name;
    ApplicationIconRef icon; // null until found
    bool isPlaceholder = false;

    // The same picture object, as the chip drawing caches it: two equal pictures found apart differ.
    friend bool operator==(const SceneCanvasAppEntry&, const SceneCanvasAppEntry&) = default;
};

// The chips stand for the same applications in the same places, whatever their identities (a canvas
// loaded again gives its chips new ones) and their names (looked up after the chips were made): the chips
// shown can take the entries over rather than be made again.
inline bool sameApplications(const std::vector<SceneCanvasAppEntry>& a,
                             const std::vector<SceneCanvasAppEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.bundleID == y.bundleID && x.isPlaceholder == y.isPlaceholder;
    });
}

// The id of the chip that stands in a zone for an application being dragged over it.
inline constexpr const char* kSceneCanvasPlaceholderID = "00000000-0000-0000-0000-000000000001";

struct BundleResolvedInfo {
    std::string name;
    ApplicationIconRef icon;

    friend bool operator==(const BundleResolvedInfo&, const BundleResolvedInfo&) = default;
};

} // namespace korvane
