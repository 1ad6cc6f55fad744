// What is left of a monitor for windows once the docks' struts and the program's own strips are taken
// off, and the rounding of rectangles to the server's whole pixels inside the monitor they belong to. All
// in root coordinates (top left of the root window, y down, the server's pixels).
#pragma once

#include "platform/Geometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace korvane::x11 {

// _NET_WM_STRUT_PARTIAL: left, right, top, bottom, then the first and last row or column of each edge's
// range, in that order.
using Strut = std::array<std::uint32_t, 12>;

// Whether the range [a0, a1) lies on [b0, b1): by more than a pixel, or wholly where it is no longer. A
// range that ends a pixel past its own monitor, as one rounded up from a scaled size does, stays off the
// monitor beside it.
bool liesOn(double a0, double a1, double b0, double b1);

// The monitor less the struts whose inner edge falls inside it and whose range lies on it, and less the
// program's own strips along its top that lie on it. A strut is measured from the root's edge, so one
// that reaches past the whole monitor belongs to another monitor further in.
Rect visibleArea(const Rect& monitor, const std::vector<Strut>& struts, const std::vector<Rect>& ownStrips,
                 double rootWidth, double rootHeight);

// The rectangle in whole pixels: each edge at the nearest pixel, and an edge that lay within the monitor
// holding the rectangle's middle (else the nearest monitor), or less than a pixel past its edge, kept
// within it, so that rounding never takes a rectangle onto the monitor beside it. Rounded alone where
// there is no monitor.
Rect wholePixelsInside(const Rect& r, const std::vector<Rect>& monitors);

// The top edge's reservation of a strip along the root's top, over the strip's own columns.
Strut topStrut(const Rect& strip);

} // namespace korvane::x11
