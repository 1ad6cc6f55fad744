// An application chip of the scene canvas, with the name and picture it shows, and where pictures of
// installed applications come from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// A picture of an application: pixels (0xAARRGGBB, not premultiplied, row by row) or the path of an
// image file for the drawing code to read.
struct ApplicationIcon {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
    std::string path;

    friend bool operator==(const ApplicationIcon&, const ApplicationIcon&) = default;
};
using ApplicationIconRef = std::shared_ptr<const ApplicationIcon>;

// The desktop's pictures of installed applications. Called off the main thread, one call at a time per
// canvas; may read files.
class ApplicationIconSource {
  public:
    virtual ~ApplicationIconSource() = default;
    // The picture of the application installed at `location` (as the workspace's urlForApplication gave
    // it); null when it shows none.
    virtual ApplicationIconRef iconForApplication(const std::string& location) = 0;
};

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
