// The layout tree editor model: edits and their refusals, the vertical-ratio convention, divider
// moves that keep other dividers in place, hit testing, path guards, export and change notification.
#include "LayoutTestSupport.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Path = LayoutTreeEditorModel::Path;
using Property = LayoutTreeEditorModel::Property;

// Records every notification, so a test can assert on what changed and how often.
struct Recorder {
    std::vector<Property> changes;
    std::unique_ptr<platform::ObserverToken> token;
    explicit Recorder(LayoutTreeEditorModel& m) {
        token = m.subscribe([this](Property p) { changes.push_back(p); });
    }
};

LayoutTreeEditorModel editor(LayoutNode root) {
    return LayoutTreeEditorModel(std::move(root), "DISPLAY-1", "layout.0000abcd", "Edited");
}

TEST(LayoutTreeEditor, splittingARegionNamesBothHalvesAndTakesTheFirstFreeId) {
    auto named = editor(R(1, "Zone 1"));
    EXPECT_TRUE(named.splitRegion({}, SplitAxis::horizontal, 0.5));
    EXPECT_EQ(named.root(), H(0.5, R(1, "Zone 1-L"), R(2, "Zone 1-R")));

    auto unnamed = editor(H(0.5, R(1), H(0.5, R(3), R(4))));
    EXPECT_TRUE(unnamed.splitRegion({1, 0}, SplitAxis::vertical, 1.2)); // ratio taken as given
    EXPECT_EQ(unnamed.root(), H(0.5, R(1), H(0.5, V(1.2, R(3), R(2)), R(4))));

    EXPECT_FALSE(unnamed.splitRegion({1}, SplitAxis::vertical, 0.5));    // a split is not split again
    EXPECT_FALSE(unnamed.splitRegion({0, 0}, SplitAxis::vertical, 0.5)); // past a region
}

TEST(LayoutTreeEditor, setRatioClampsAndOnlyAppliesToSplits) {
    for (auto [in, stored] : {std::pair{0.01, 0.05}, {0.05, 0.05}, {0.3, 0.3}, {0.95, 0.95}, {0.99, 0.95}}) {
        auto m = editor(H(0.5, R(1), R(2)));
        EXPECT_TRUE(m.setRatio({}, in));
        EXPECT_EQ(m.ratio({}), stored) << in;
    }
    auto m = editor(H(0.5, R(1), R(2)));
    Recorder recorder(m);
    EXPECT_FALSE(m.setRatio({0}, 0.3));
    EXPECT_FALSE(m.ratio({0}).has_value());
    EXPECT_TRUE(recorder.changes.empty());
}

TEST(LayoutTreeEditor, mergeCollapsesASubtreeIntoItsSmallestIdAndUpdateRewritesARegion) {
    auto m = editor(V(0.5, H(0.5, R(4, "a"), V(0.5, R(2, "b"), R(7))), R(1, "old")));
    EXPECT_TRUE(m.merge({0}));
    EXPECT_EQ(m.root(), V(0.5, R(2), R(1, "old")));
    EXPECT_FALSE(m.merge({0}));
    EXPECT_FALSE(m.updateRegion({}, 3, "x"));
    EXPECT_TRUE(m.updateRegion({1}, std::nullopt, "new"));
    EXPECT_EQ(m.root(), V(0.5, R(2), R(1, "new")));
    EXPECT_TRUE(m.updateRegion({1}, 5, std::nullopt)); // an id alone drops the name
    EXPECT_EQ(m.root(), V(0.5, R(2), R(5)));
    EXPECT_EQ(m.nextAvailableRegionID(), 1);
    EXPECT_TRUE(m.removeRegion({}));
    EXPECT_EQ(m.root(), R(2));
}

TEST(LayoutTreeEditor, verticalRatiosAreHeldFromTheOtherSide) {
    auto m = editor(LayoutTreeEditorModel::convertVerticalRatios(V(0.7, R(1), H(0.3, R(2), R(3)))));
    EXPECT_NEAR(*m.ratio({}), 0.3, 1e-12);
    EXPECT_EQ(m.ratio({1}), 0.3); // horizontal ratios are not flipped
    EXPECT_NEAR(m.exportedTree().asSplit()->ratio, 0.7, 1e-12);
    // Out-of-range stored ratios are clamped on the way in (a stored 0.02 below), horizontal ones unflipped.
    EXPECT_EQ(editor(LayoutTreeEditorModel::convertVerticalRatios(H(0.999, R(2), R(3)))).ratio({}), 0.95);
}

TEST(LayoutTreeEditor, boundsUseEditorGeometry) {
    const Rect canvas{0, 0, 200, 100};
    auto m = editor(V(0.25, R(1), H(0.5, R(2), R(3))));
    EXPECT_EQ(m.bounds({0}, canvas), (Rect{0, 0, 200, 25})); // the left child on the smaller-y side
    EXPECT_EQ(m.bounds({1, 1}, canvas), (Rect{100, 25, 100, 75}));
    EXPECT_EQ(m.bounds({0, 1, 1}, canvas), (Rect{0, 0, 200, 25})); // stops at the region
}

TEST(LayoutTreeEditor, hitTestingPicksTheDeepestNodeAndDividersBelongToTheFarSide) {
    const Rect canvas{0, 0, 200, 100};
    auto m = editor(H(0.5, R(1), V(0.5, R(2), R(3))));
    const std::pair<Point, Path> rows[] = {
        {{10, 10}, {0}},       {{100, 10}, {1, 0}}, // on the vertical divider line x = 100: the right child
        {{150, 50}, {1, 1}},                        // on the horizontal divider y = 50: the larger-y child
        {{150, 49.9}, {1, 0}}, {{250, 50}, {}},     // outside the canvas
    };
    for (const auto& [p, path] : rows)
        EXPECT_EQ(m.findNodePath(p, canvas), path) << platform::describe(p);
}

TEST(LayoutTreeEditor, movingADividerKeepsTheOthersOnTheCanvasWithinBoundsAndNeedsASplit) {
    for (Rect canvas : {Rect{0, 0, 200, 100}, Rect{10, 20, 200, 100}}) {
        auto m = editor(H(0.5, R(1), H(0.5, R(2), R(3))));
        auto before = m.collectDividerPositions(canvas);
        EXPECT_NEAR(before.at({}) * 200 - canvas.origin.x, 100, 1e-9);
        EXPECT_NEAR(before.at({1}) * 200 - canvas.origin.x, 150, 1e-9);

        EXPECT_TRUE(m.moveDivider({}, 0.25, canvas));
        EXPECT_NEAR(*m.ratio({}), 0.25, 1e-12);
        EXPECT_NEAR(*m.ratio({1}), 2.0 / 3.0, 1e-12);
        EXPECT_NEAR(m.bounds({1, 1}, canvas).minX() - canvas.origin.x, 150, 1e-9);
    }
    const Rect canvas{0, 0, 200, 100};
    auto m = editor(H(0.5, R(1), H(0.5, R(2), R(3))));
    EXPECT_TRUE(m.moveDivider({}, 0.0, canvas));
    EXPECT_EQ(m.ratio({}), 0.05);
    // The inner divider would need a ratio of (150 - 10) / 190 ≈ 0.737: it stays at x = 150.
    EXPECT_NEAR(m.bounds({1, 1}, canvas).minX(), 150, 1e-9);

    // Dragging the outer divider past the inner one clamps the inner split to 5 %.
    EXPECT_TRUE(m.moveDivider({}, 0.9, canvas));
    EXPECT_EQ(m.ratio({1}), 0.05);

    Recorder recorder(m);
    EXPECT_FALSE(m.moveDivider({0}, 0.5, canvas));
    EXPECT_FALSE(m.moveDivider({1, 1, 0}, 0.5, canvas));
    EXPECT_TRUE(recorder.changes.empty());
}

TEST(LayoutTreeEditor, pathAndDepthGuardsRefuseWithOneLineEach) {
    sim::ScopedLogCapture capture;
    auto m = editor(H(0.5, R(1), R(2)));
    EXPECT_FALSE(m.node(Path(100, 0)).has_value());
    EXPECT_EQ(m.bounds(Path(100, 0), Rect{0, 0, 10, 10}), (Rect{0, 0, 10, 10}));
    EXPECT_FALSE(m.replaceNode(Path(100, 0), R(9)));
    EXPECT_FALSE(m.updateParentChain({}, R(9), 100));
    EXPECT_FALSE(m.node(Path(99, 0)).has_value()); // within the limit, but past a region: no line
    EXPECT_EQ(m.root(), H(0.5, R(1), R(2)));
    // A chain exactly as deep as the limit still reaches the root.
    EXPECT_TRUE(m.updateParentChain({}, R(9), 99));
    EXPECT_EQ(m.root(), R(9));

    // 101 nested splits whose left children always cover the point.
    LayoutNode tree = R(1);
    for (int i = 0; i < 101; ++i)
        tree = H(0.95, std::move(tree), R(i + 2));
    EXPECT_EQ(editor(std::move(tree)).findNodePath(Point{0, 0}, Rect{0, 0, 100, 100}).size(), 100u);

    EXPECT_EQ(capture.console().count("[LayoutTreeEditorModel] ERROR: "), 5u); // one per refused call
}

TEST(LayoutTreeEditor, editsThroughAPathStepOtherThanZeroOrOneFail) {
    auto m = editor(H(0.5, R(1), R(2)));
    EXPECT_EQ(m.node({2}), R(2)); // reading treats any non-zero step as the right child…
    Recorder recorder(m);
    // …but an edit through it would replace nothing, so it must not report success.
    EXPECT_FALSE(m.splitRegion({2}, SplitAxis::vertical, 0.5));
    EXPECT_FALSE(m.updateRegion({-1}, 9, std::nullopt));
    EXPECT_EQ(m.root(), H(0.5, R(1), R(2)));
    EXPECT_TRUE(recorder.changes.empty());

    auto deeper = editor(H(0.5, R(1), H(0.5, R(2), R(3))));
    EXPECT_FALSE(deeper.replaceNode({3, 0}, R(8)));
    EXPECT_EQ(deeper.root(), H(0.5, R(1), H(0.5, R(2), R(3))));
}

TEST(LayoutTreeEditor, renumberingUsesTheUnitSquare) {
    sim::ScopedLogCapture capture;
    auto m = editor(H(0.5, R(2, "left"), R(1)));
    EXPECT_EQ(m.normalizeRegionIDs(), (RegionIDMap{{2, 1}, {1, 2}}));
    EXPECT_EQ(m.root(), H(0.5, R(1, "left"), R(2)));

    // A chain far deeper than any region is placed still has every region renumbered.
    LayoutNode chain = R(1);
    for (std::int64_t id = 2; id <= 300; ++id)
        chain = H(0.5, R(id), std::move(chain));
    auto deep = editor(std::move(chain));
    EXPECT_EQ(deep.normalizeRegionIDs().size(), 300u);
}

TEST(LayoutTreeEditor, roundTripThroughTheStoredForm) {
    const LayoutNode stored = V(0.02, R(1, "Top"), H(0.6, R(2), R(3)));
    auto m = editor(LayoutTreeEditorModel::convertVerticalRatios(stored));
    ASSERT_TRUE(m.splitRegion({1, 1}, SplitAxis::vertical, 0.5));
    ASSERT_TRUE(m.moveDivider({1}, 0.4, Rect{0, 0, 300, 200}));

    const LayoutNode exported = m.exportedTree();
    EXPECT_NEAR(exported.asSplit()->ratio, 0.05, 1e-12); // stored 0.02 was held as 0.95

    ConfigZoneSet set = m.toConfigZoneSet(" \tDISPLAY-2\n", "layout.feedbeef", "Renamed");
    EXPECT_EQ(set.toJSON().dump(),
              R"({"id":"layout.feedbeef","displayUUID":"DISPLAY-2","name":"Renamed","version":"2.0",)"
              R"("layoutTree":)" +
                  nlohmann::ordered_json(exported).dump() + "}");

    EXPECT_FALSE(m.toConfigZoneSet(" \r\n ", "x", "y").displayUUID.has_value());
    // Pasted no-break spaces and line separators count as white space too.
    EXPECT_EQ(m.toConfigZoneSet(std::string("\xC2\xA0") + "D3\xE2\x80\xA8", "x", "y").displayUUID, "D3");
    EXPECT_FALSE(m.toConfigZoneSet("\xC2\xA0", "x", "y").displayUUID.has_value());
}

TEST(LayoutTreeEditor, observersHearEachEffectiveChangeUntilTheirTokenEnds) {
    auto m = editor(R(1));
    Recorder recorder(m);
    m.setName("Edited"); // unchanged
    m.setName("Other");
    m.setSelectedNodePath({});
    m.setSelectedNodePath({0});
    m.setDisplayUUID("DISPLAY-1");
    m.setId("layout.00000001");
    m.setRoot(R(1));
    EXPECT_TRUE(m.splitRegion({}, SplitAxis::horizontal, 0.5));
    EXPECT_EQ(recorder.changes, (std::vector<Property>{Property::name, Property::selectedNodePath,
                                                       Property::id, Property::root}));

    recorder.token->cancel();
    recorder.token->cancel(); // twice is harmless
    m.setName("Again");
    EXPECT_EQ(recorder.changes.size(), 4u);
}

TEST(LayoutTreeEditor, observersMayCancelEachOtherAndTokensMayOutliveTheModel) {
    std::unique_ptr<platform::ObserverToken> second;
    int firstCalls = 0, secondCalls = 0;
    std::unique_ptr<platform::ObserverToken> first;
    {
        auto m = editor(R(1));
        first = m.subscribe([&](Property) {
            ++firstCalls;
            second.reset(); // cancels the other observer before it is called
        });
        second = m.subscribe([&](Property) { ++secondCalls; });
        m.setName("x");
        EXPECT_EQ(firstCalls, 1);
        EXPECT_EQ(secondCalls, 0);
    }
    first.reset(); // the model is gone: nothing to cancel, nothing to crash
}

TEST(LayoutTreeEditorModel, aTreeOfFiftyThousandSplitsIsConvertedAndEditedWithoutRecursion) {
    const LayoutNode stored = LayoutTreeModel::gridTree({}, std::vector<double>(50000, 0.7), 1);
    LayoutTreeEditorModel m = editor(LayoutTreeEditorModel::convertVerticalRatios(stored));
    EXPECT_NEAR(m.ratio({1, 1, 1}).value(), 0.3, 1e-12);
    EXPECT_TRUE(m.moveDivider({}, 0.5, Rect{0, 0, 100, 100}));
    EXPECT_NEAR(m.ratio({}).value(), 0.5, 1e-12);
    EXPECT_EQ(m.exportedTree().depth(), 50000);
}

} // namespace
} // namespace korvane
