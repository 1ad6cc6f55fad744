// The grid's arithmetic, kept apart from the widgets so that its cost and its numbers can be checked
// without a window.
#include "ui/switchers/SwitcherGrid.h"

#include <algorithm>
#include <cmath>

namespace korvane::switchergrid {

GridMetrics gridMetrics(int count, Size area) {
    const int n = std::max(count, 1);
    const double W = area.width;
    const double usable = std::min(0.9 * W, kMaximumUsableWidth);
    const double H = std::max(area.height, 1.0);

    const int fit = static_cast<int>(std::floor((usable + kGap) / (kTileWidth + kGap)));
    const int columns = std::clamp(fit, 1, n);
    const int rows = (n + columns - 1) / columns;
    const double base = std::min((usable - kGap * (columns - 1)) / columns, kTileWidth);

    const double rowWidth = kGap * std::max(columns - 1, 0) + base * columns;
    const double widthFactor = rowWidth > 1 ? usable / rowWidth : usable;
    const double tileAspect = kTileHeight / kTileWidth;
    const double needed = kGap * std::max(rows - 1, 0) + base * tileAspect * rows;
    const double scale = needed <= 1 ? std::min(1.0, widthFactor) : std::min({1.0, widthFactor, H / needed});

    double height = std::max(base * tileAspect * scale, kMinimumTileHeight);
    const double gap = kGap * scale;
    if (H < gap * std::max(rows - 1, 0) + height * rows)
        height = std::max((H - gap * std::max(rows - 1, 0)) / rows, kMinimumTileHeight);
    const double width = base * scale;
    const double left = std::max(0.0, (W - (width * columns + gap * std::max(columns - 1, 0))) / 2);
    return GridMetrics{width, height, columns, rows, gap, left};
}

Rect tileFrame(const GridMetrics& m, int index) {
    const int columns = std::max(m.columns, 1);
    const int row = index / columns;
    const int column = index % columns;
    return Rect{m.leftOffset + (m.tileWidth + m.gap) * column, (m.tileHeight + m.gap) * row + kTop,
                m.tileWidth, m.tileHeight};
}

Size contentSize(const GridMetrics& m, Size area) {
    const double height = m.tileHeight * m.rows + kTop + m.gap * std::max(m.rows - 1, 0) + kBottomMargin;
    return Size{area.width, std::max(height, area.height)};
}

} // namespace korvane::switchergrid
