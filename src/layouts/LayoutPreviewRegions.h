// The layout rule of the small drawings of a layout tree (the mini preview of one layout, the preset
// thumbnails and the scene cards' previews): one rectangle per region in a drawing area with its origin at
// the top left.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct LayoutPreviewRegion {
    std::int64_t id = 0;
    std::optional<std::string> name;
    Rect frame; // top-left origin, y down

    friend bool operator==(const LayoutPreviewRegion&, const LayoutPreviewRegion&) = default;
};

// Depth first, first child before second. Every split's ratio is held within [0.05, 0.95], so no region is
// drawn empty; a vertical split's first child is the top part.
std::vector<LayoutPreviewRegion> layoutPreviewRegions(const LayoutNode& node, const Rect& in);

} // namespace korvane
