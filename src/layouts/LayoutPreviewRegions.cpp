// Region rectangles of the small layout drawings.
#include "layouts/LayoutPreviewRegions.h"

#include <algorithm>

namespace korvane {

namespace {

void collect(const LayoutNode& node, const Rect& rect, std::vector<LayoutPreviewRegion>& out) {
    if (const auto* region = node.asRegion()) {
        out.push_back({region->id, region->name, rect});
        return;
    }
    const auto& split = *node.asSplit();
    const double r = std::clamp(split.ratio, 0.05, 0.95);
    const double x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
    if (split.axis == SplitAxis::horizontal) {
        collect(split.left(), Rect{x, y, r * w, h}, out);
        collect(split.right(), Rect{x + r * w, y, (1 - r) * w, h}, out);
    } else {
        collect(split.left(), Rect{x, y, w, r * h}, out);
        collect(split.right(), Rect{x, y + r * h, w, (1 - r) * h}, out);
    }
}

} // namespace

std::vector<LayoutPreviewRegion> layoutPreviewRegions(const LayoutNode& node, const Rect& in) {
    std::vector<LayoutPreviewRegion> out;
    collect(node, in, out);
    return out;
}

} // namespace korvane
