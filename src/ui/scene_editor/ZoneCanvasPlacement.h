// Where a canvas of zones puts each zone: the scene editor's canvas and the save-scene window's draw a
// layout's zones, given as fractions of the unit square with y pointing up, into a rectangle on screen
// with its origin at the top left and y pointing down.
#pragma once

#include "platform/Geometry.h"

#include <QRect>

namespace korvane {

// The rectangle of the zone `unitFrame` inside `bounds` less `inset` on every side. A canvas smaller than
// twice its inset has no room left: its zones get no size rather than a negative one.
Rect zoneCanvasPlacement(const Rect& bounds, double inset, const Rect& unitFrame);

// Integer pixels for a rectangle of the layout arithmetic: the edges are rounded, so that rectangles that
// share an edge keep sharing it.
QRect pixelRect(const Rect& rect);

} // namespace korvane
