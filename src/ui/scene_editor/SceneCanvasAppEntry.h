// An application chip of the scene canvas, with the name and picture it shows.
#pragma once

#include "platform/Workspace.h"

#include <memory>
#include <string>

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

// The id of the chip that stands in a zone for an application being dragged over it.
inline constexpr const char* kSceneCanvasPlaceholderID = "00000000-0000-0000-0000-000000000001";

struct BundleResolvedInfo {
    std::string name;
    ApplicationIconRef icon;

    friend bool operator==(const BundleResolvedInfo&, const BundleResolvedInfo&) = default;
};

} // namespace korvane
