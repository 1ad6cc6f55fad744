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

// The rectangle (bottom-left global, as screens and zones are given) in the window server's own
// coordinates, in which the program's windows are placed: top-left, measured from the server's corner,
// where the main screen has its corner at Screens::nativeOrigin. Every window of the program is placed
// through it, so that all of them agree with the platform on which screen is the main one.
Rect nativeRect(platform::Screens& screens, const Rect& bottomLeft);

// Where a window's frame of that size stands in the middle of the main screen's visible frame: its top
// left corner in the window server's coordinates, kept within that frame's top left where the window is
// the larger. Nothing while no screen is connected.
std::optional<Point> centredOnMainScreen(platform::Screens& screens, const Size& size);

} // namespace korvane
