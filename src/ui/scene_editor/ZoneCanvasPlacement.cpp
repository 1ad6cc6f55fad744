// The placement of zones on a canvas, shared by every canvas that draws a layout.
#include "ui/scene_editor/ZoneCanvasPlacement.h"

#include <algorithm>
#include <cmath>

namespace korvane {

Rect zoneCanvasPlacement(const Rect& bounds, double inset, const Rect& unitFrame) {
    const double usableWidth = std::max(bounds.width() - 2 * inset, 0.0);
    const double usableHeight = std::max(bounds.height() - 2 * inset, 0.0);
    // The unit square counts y from its bottom edge, the canvas from its top.
    return Rect{bounds.minX() + inset + usableWidth * unitFrame.minX(),
                bounds.minY() + inset + usableHeight * (1 - unitFrame.minY() - unitFrame.height()),
                usableWidth * unitFrame.width(), usableHeight * unitFrame.height()};
}

QRect pixelRect(const Rect& rect) {
    const int left = static_cast<int>(std::lround(rect.minX()));
    const int top = static_cast<int>(std::lround(rect.minY()));
    const int right = static_cast<int>(std::lround(rect.maxX()));
    const int bottom = static_cast<int>(std::lround(rect.maxY()));
    return QRect(left, top, right - left, bottom - top);
}

} // namespace korvane
