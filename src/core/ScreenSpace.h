// Flipping rectangles between the two global coordinate systems: bottom-left (screens, zones) and
// top-left (accessibility positions, window-list bounds). Both share the primary screen's top edge.
#pragma once

#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <optional>

namespace korvane {

// The height H of y_topLeft = H - y_bottomLeft - height: the top edge of the primary (main) screen,
// nothing when there is no main screen. The primary alone defines the origin of both systems, so a
// display placed above it must not change H; callers without a main screen apply their own fallback.
std::optional<double> primaryScreenHeight(platform::Screens& screens);
// The same for the platform in use.
std::optional<double> primaryScreenHeight();
// The height to flip with: the primary's top edge; without a main screen the tallest screen's top edge is
// the best guess; nothing when no screen is connected.
std::optional<double> flipHeight(platform::Screens& screens);

// The same formula converts in both directions.
inline Rect flipRect(const Rect& r, double H) {
    return Rect{r.origin.x, H - r.origin.y - r.size.height, r.size.width, r.size.height};
}

} // namespace korvane
