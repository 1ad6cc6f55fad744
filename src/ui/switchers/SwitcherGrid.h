// The geometry of the switcher's grid: how many tiles of what size fit an area, where each tile goes and
// how tall the scrolled content becomes. Coordinates have their origin at the grid's top left, y down.
#pragma once

#include "platform/Geometry.h"

namespace korvane {

struct GridMetrics {
    double tileWidth = 0;
    double tileHeight = 0;
    int columns = 1;
    int rows = 0;
    double gap = 0;
    double leftOffset = 0;
};

namespace switchergrid {

inline constexpr double kTileWidth = 150; // tiles never grow beyond 150 x 164
inline constexpr double kTileHeight = 164;
inline constexpr double kMinimumTileHeight = 148;
inline constexpr double kGap = 22;
inline constexpr double kMaximumUsableWidth = 1400;
inline constexpr double kTop = 100; // rows start under the search box
inline constexpr double kBottomMargin = 40;

// For `count` >= 1 tiles in `area`: the grid is centred, uses at most 90 % of the width (1400 points at
// most), and shrinks its tiles to fit the height, but never below 148 points: what does not fit scrolls.
GridMetrics gridMetrics(int count, Size area);
// Tile `index`, row by row.
Rect tileFrame(const GridMetrics& metrics, int index);
// The scrolled content: the area's width, the rows' height with the margins, at least the area's height.
Size contentSize(const GridMetrics& metrics, Size area);

} // namespace switchergrid
} // namespace korvane
