// Where a canvas of zones puts each zone of the unit square, the one rule of the scene editor's canvas and
// the save-scene window's.
#include "ui/scene_editor/ZoneCanvasPlacement.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(ZoneCanvasPlacement, zonesFillTheCanvasLessItsInsetWithTheUnitSquaresYTurnedDown) {
    struct Row {
        Rect bounds;
        double inset;
        Rect zone; // unit square, y up
        Rect placed;
    };
    const std::vector<Row> rows = {
        {{0, 0, 640, 400}, 16, {0, 0, 0.5, 1}, {16, 16, 304, 368}},      // left half
        {{0, 0, 640, 400}, 16, {0.5, 0, 0.5, 1}, {320, 16, 304, 368}},   // right half
        {{0, 0, 640, 400}, 16, {0, 0, 1, 0.5}, {16, 200, 608, 184}},     // lower half, drawn below
        {{0, 0, 640, 400}, 16, {0, 0.5, 1, 0.5}, {16, 16, 608, 184}},    // upper half, drawn on top
        {{100, 50, 640, 400}, 16, {0, 0, 1, 0.5}, {116, 250, 608, 184}}, // the canvas's own origin counts
        {{0, 0, 640, 400}, 0, {0, 0, 1, 1}, {0, 0, 640, 400}},
        // No room inside the inset: sizes stay at zero instead of turning negative.
        {{0, 0, 30, 20}, 16, {0, 0, 0.5, 1}, {16, 16, 0, 0}},
        {{0, 0, 30, 40}, 16, {0.5, 0, 0.5, 1}, {16, 16, 0, 8}},
    };
    for (const auto& row : rows) {
        const Rect placed = zoneCanvasPlacement(row.bounds, row.inset, row.zone);
        EXPECT_EQ(placed, row.placed)
            << "zone (" << row.zone.minX() << ", " << row.zone.minY() << ", " << row.zone.width() << ", "
            << row.zone.height() << ") in " << row.bounds.width() << " x " << row.bounds.height();
        EXPECT_GE(placed.size.width, 0);
        EXPECT_GE(placed.size.height, 0);
    }
}
