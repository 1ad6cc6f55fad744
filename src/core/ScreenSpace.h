// Flipping rectangles between the two global coordinate systems: bottom-left (screens, zones) and
// top-left (accessibility positions, window-list bounds). Both share the primary screen's top edge.
#pragma once

#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <optional>
#include <vector>

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

// The inverse of nativeRect: a rectangle in the window server's coordinates in the bottom-left global space.
Rect bottomLeftRect(platform::Screens& screens, const Rect& native);

// Where a window's frame of that size stands in the middle of `area` (top-left coordinates, y down): its
// top left corner, kept within the area's top left where the window is the larger, so that the title bar
// stays in reach.
Point centredIn(const Rect& area, const Size& size);

// A screen as a toolkit that scales its windows lays them out on it: where it lies in the window server's
// pixels, where its top left corner lies in the toolkit's own (logical) pixels, and how many of the
// server's pixels make one of the toolkit's. A window's place and size in the toolkit's pixels are its
// distance from that corner and its size, each divided by the ratio of the screen it is on.
struct ScaledScreen {
    Rect native;
    Point logicalOrigin;
    double ratio = 1;
};

// A rectangle in the window server's pixels in the toolkit's, by the screen holding its middle (else the
// screen nearest to it); unchanged without screens.
Rect logicalFromNative(const Rect& native, const std::vector<ScaledScreen>& screens);
// The same in whole pixels of the toolkit, rounded inside the screen: each edge at the nearest pixel, and
// one that lay within the screen kept within the whole pixels it holds, so that the window the toolkit
// makes of it never reaches onto the screen beside it. A screen that is no whole number of the toolkit's
// pixels wide or high holds such a rectangle less than one of them short of its far edges.
Rect wholeLogicalInside(const Rect& native, const std::vector<ScaledScreen>& screens);
// The reverse, by the screen holding the rectangle's middle in the toolkit's pixels (else the nearest).
Rect nativeFromLogical(const Rect& logical, const std::vector<ScaledScreen>& screens);

} // namespace korvane
