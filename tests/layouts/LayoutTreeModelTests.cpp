// The layout tree model: zone computation, validation texts, grid trees and reading-order renumbering,
// each with its depth guard, and seeded random trees.
#include "LayoutTestSupport.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace korvane {
namespace {

LayoutTreeModel model(LayoutNode root) {
    return LayoutTreeModel(std::move(root), "", "test", "Test");
}

// A chain of `splits` horizontal splits: split k (at depth k) has region k + 1 on the left and the
// next split on the right; the last right child is region splits + 1.
LayoutNode chain(int splits) {
    LayoutNode tail = R(splits + 1);
    for (int k = splits - 1; k >= 0; --k)
        tail = H(0.5, R(k + 1), std::move(tail));
    return tail;
}

TEST(LayoutTreeModel, zonesFollowAxisAndRatioWithYUp) {
    EXPECT_EQ(model(H(0.5, R(2), R(1))).zones(Rect{0, 0, 100, 50}),
              (RegionFrames{{2, Rect{0, 0, 50, 50}}, {1, Rect{50, 0, 50, 50}}}));
    EXPECT_EQ(model(V(0.75, R(1), R(2))).zones(Rect{0, 0, 100, 100}),
              (RegionFrames{{1, Rect{0, 25, 100, 75}}, {2, Rect{0, 0, 100, 25}}}));
    // A duplicate id keeps the later region.
    EXPECT_EQ(model(H(0.5, R(1), H(0.5, R(2), R(2)))).zones(Rect{0, 0, 100, 100}),
              (RegionFrames{{1, Rect{0, 0, 50, 100}}, {2, Rect{75, 0, 25, 100}}}));
}

TEST(LayoutTreeModel, validationMessages) {
    struct Row {
        LayoutNode tree;
        std::vector<std::string> problems;
    };
    const Row rows[] = {
        {R(1), {}},
        {H(0.0001, R(1), V(0.9999, R(2), R(3))), {}},
        {H(0.5, R(1), H(0.5, R(2), R(2))), {"Duplicate region IDs detected: [1, 2, 2]"}},
        {H(1.0, R(1), R(2)), {"Split ratio 1.0 must be in range (0, 1)"}},
        {H(0.0, R(1), R(2)), {"Split ratio 0.0 must be in range (0, 1)"}},
        {H(-1e-05, R(1), V(1.25, R(2), R(3))),
         {"Split ratio -1e-05 must be in range (0, 1)", "Split ratio 1.25 must be in range (0, 1)"}},
        {V(2.0, R(2), R(2)),
         {"Duplicate region IDs detected: [2, 2]", "Split ratio 2.0 must be in range (0, 1)"}},
        {chain(50), {}},
        {chain(51), {"Tree depth 51 exceeds safe limit (50)"}},
        {H(1.5, chain(51), R(1)), {"Tree depth 52 exceeds safe limit (50)"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(model(rows[i].tree).validate(), rows[i].problems) << "row " << i;
}

TEST(LayoutTreeModel, gridTreeNumbersRowByRowFromTheTopAndSplitsWhatRemains) {
    auto zones = model(LayoutTreeModel::gridTree({0.5}, {0.5}, 1)).zones(Rect{0, 0, 100, 100});
    EXPECT_EQ(zones.size(), 4u);
    EXPECT_EQ(zones.at(2), (Rect{50, 50, 50, 50}));
    EXPECT_EQ(zones.at(3), (Rect{0, 0, 50, 50}));

    auto columns = model(LayoutTreeModel::gridTree({0.25, 0.5}, {}, 10)).zones(Rect{0, 0, 1000, 10});
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_DOUBLE_EQ(columns.at(11).minX(), 250);
    EXPECT_DOUBLE_EQ(columns.at(12).minX(), 625);

    EXPECT_EQ(LayoutTreeModel::gridTree({}, {}, 5), R(5));
    EXPECT_EQ(LayoutTreeModel::gridTree({}, {0.3}, 1), V(0.3, R(1), R(2)));
}

TEST(LayoutTreeModel, readingOrderRelation) {
    using P = std::pair<std::int64_t, Rect>;
    struct Row {
        P a, b;
        bool precedes;
    };
    const double tol = 1;
    const Rect origin{0, 0, 10, 10};
    auto at = [](double x, double y) { return Rect{x, y, 10, 10}; };
    const Row rows[] = {
        {{1, origin}, {2, at(20, 50)}, true}, // further left
        {{1, at(20, 50)}, {2, origin}, false},
        {{1, at(0.5, 50)}, {2, origin}, true},  // same column within tolerance: higher first
        {{1, at(1.0, 50)}, {2, origin}, true},  // exactly the tolerance still counts as same column
        {{1, at(1.5, 50)}, {2, origin}, false}, // beyond it: the left one first
        {{1, at(0, 0.5)}, {2, origin}, false},  // centres within tolerance: no order
        {{1, origin}, {2, origin}, true},       // identical frames: by id
        {{2, origin}, {1, origin}, false},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(regionPositionPrecedes(rows[i].a, rows[i].b, tol), rows[i].precedes) << "row " << i;
}

TEST(LayoutTreeModel, renumberingFollowsReadingOrder) {
    LayoutTreeModel grid = model(LayoutTreeModel::gridTree({0.5}, {0.5}, 1));
    EXPECT_EQ(grid.normalizedRegionIDMap(Rect{0, 0, 100, 100}),
              (RegionIDMap{{1, 1}, {2, 3}, {3, 2}, {4, 4}}));
    EXPECT_EQ(grid.root, V(0.5, H(0.5, R(1), R(3)), H(0.5, R(2), R(4))));

    // Region 5 starts 0.3 to the right of region 8 (tolerance 0.5) but sits above it: same column, so
    // it reads first.
    LayoutTreeModel nudged = model(V(0.5, H(0.003, R(9), R(5)), R(8)));
    RegionIDMap map = nudged.normalizedRegionIDMap(Rect{0, 0, 100, 100});
    EXPECT_LT(map.at(5), map.at(8));
    EXPECT_LT(map.at(9), map.at(8));
}

TEST(LayoutTreeModel, deepTreesArePlacedDownToDepth99AndRenumberedDownToWhatAFileCanHold) {
    sim::ScopedLogCapture capture;
    // 99 splits place every region; with 100, the last split's two regions sit at depth 100.
    EXPECT_EQ(model(chain(99)).zones(Rect{0, 0, 1000, 1000}).size(), 100u);
    EXPECT_TRUE(capture.console().lines().empty());
    EXPECT_EQ(model(chain(100)).zones(Rect{0, 0, 1000, 1000}).size(), 99u);
    EXPECT_EQ(capture.console().count("[LayoutTreeModel] ERROR: computeZones exceeded max depth 100"), 2u);

    // Renumbering reaches the 512 levels a stored tree may have; the two regions of a chain one split
    // longer sit below that, keep their ids and get a line each.
    const std::tuple<int, std::size_t, std::size_t> rows[] = {{100, 101, 0}, {511, 512, 0}, {512, 511, 2}};
    for (const auto& [splits, renumbered, lines] : rows) {
        capture.console().clear();
        LayoutTreeModel deep = model(chain(splits));
        EXPECT_EQ(deep.normalizedRegionIDMap(Rect{0, 0, 1e6, 1e6}).size(), renumbered) << splits;
        EXPECT_EQ(capture.console().count("[LayoutTreeModel] ERROR: remapIDs exceeded max depth 512!"), lines)
            << splits;
    }

    // The split at depth 99 has both children at depth 100: each branch is cut once.
    std::vector<std::string> problems;
    model(R(1)).validateRatios(chain(101), problems, 0);
    EXPECT_EQ(problems, std::vector<std::string>(2, "validateRatios exceeded max depth 100"));
}

// Random trees: the zones tile the frame and renumbering gives 1…n in reading order.
LayoutNode randomTree(std::mt19937& rng, int depth, std::vector<std::int64_t>& ids) {
    std::uniform_real_distribution<double> unit(0, 1);
    if (depth == 0 || unit(rng) < 0.25) {
        std::int64_t id = ids.back();
        ids.pop_back();
        return R(id);
    }
    double ratio = 0.1 + 0.8 * unit(rng);
    SplitAxis axis = unit(rng) < 0.5 ? SplitAxis::horizontal : SplitAxis::vertical;
    LayoutNode left = randomTree(rng, depth - 1, ids);
    LayoutNode right = randomTree(rng, depth - 1, ids);
    return LayoutNode::split(axis, ratio, std::move(left), std::move(right));
}

TEST(LayoutTreeModel, randomTreesTileTheFrameAndRenumberInReadingOrder) {
    std::mt19937 rng(20240611);
    const Rect frame{-300, 40, 1440, 875};
    const double tolerance = 0.005 * std::min(frame.width(), frame.height());
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::int64_t> ids(64);
        std::iota(ids.begin(), ids.end(), 100);
        std::shuffle(ids.begin(), ids.end(), rng);
        LayoutTreeModel m = model(randomTree(rng, 6, ids));
        const std::size_t regionCount = m.root.regionIDs().size();

        RegionFrames zones = m.zones(frame);
        ASSERT_EQ(zones.size(), regionCount);
        double area = 0;
        for (auto a = zones.begin(); a != zones.end(); ++a) {
            area += a->second.area();
            EXPECT_NEAR(a->second.intersection(frame).area(), a->second.area(), 1e-6) << "inside the frame";
            for (auto b = std::next(a); b != zones.end(); ++b)
                EXPECT_LT(a->second.intersection(b->second).area(), 1e-6) << "trial " << trial;
        }
        EXPECT_NEAR(area, frame.area(), 1e-6) << "trial " << trial;

        RegionIDMap map = m.normalizedRegionIDMap(frame);
        if (regionCount < 2) continue;
        std::vector<std::int64_t> renumbered = m.root.regionIDs();
        std::sort(renumbered.begin(), renumbered.end());
        std::vector<std::int64_t> expected(regionCount);
        std::iota(expected.begin(), expected.end(), 1);
        ASSERT_EQ(renumbered, expected) << "trial " << trial;

        RegionFrames after = m.zones(frame);
        for (const auto& [oldID, newID] : map)
            EXPECT_EQ(after.at(newID), zones.at(oldID));
        // The relation is not transitive near the tolerance, so "in reading order" can only mean that
        // no region reads before the one numbered just ahead of it.
        for (std::int64_t k = 1; k < static_cast<std::int64_t>(regionCount); ++k)
            EXPECT_FALSE(regionPositionPrecedes({k + 1, after.at(k + 1)}, {k, after.at(k)}, tolerance))
                << "trial " << trial << ": " << k + 1 << " reads before " << k;
    }
}

} // namespace
} // namespace korvane
