// Keeping displays in step with their layouts on the simulated desktop: zones rebuilt in place when a
// display moves, layouts re-applied when the records disagree, and the change of the active display.
#include "DisplayFixture.h"

#include "core/WMController.h"
#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";

// Zones with the given ids side by side across `area`.
Layout columns(const std::string& uuid, const Rect& area, const std::vector<int>& ids) {
    Layout layout;
    layout.screenId = uuid;
    const double w = area.width() / static_cast<double>(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i)
        layout.zones[ids[i]] = Zone{ids[i], Rect{area.minX() + i * w, area.minY(), w, area.height()}, {}, 0};
    return layout;
}

class LayoutSyncTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080});
        side = addDisplay(kSide, Rect{1920, 0, 1440, 900});
        app = makeLayoutApp();
        app->controller = std::make_shared<WMController>(app->multiState, app->ax);
    }

    std::shared_ptr<WMState> installState(const std::string& uuid, Layout layout) {
        auto state = std::make_shared<WMState>(std::move(layout));
        app->multiState->states[uuid] = state;
        return state;
    }

    int side = 0;
    std::shared_ptr<AppDelegate> app;
};

TEST_F(LayoutSyncTest, aMovedDisplayHasItsZonesRebuiltInPlaceWithItsStacks) {
    ASSERT_TRUE(app->ensureState(kSide));
    auto state = stateOf(*app, kSide);
    place(*state, 21, 1);
    place(*state, 22, 1);
    place(*state, 23, 2);
    // Only the workbench names the layout; the rebuild records it as the selection too.
    app->layoutSelection.lastByDisplay.erase(kSide);
    desktop->screens().setDisplayFrame(side, Rect{-1440, 200, 1280, 800});

    app->ensureDisplayLayoutSynced(kSide);

    EXPECT_TRUE(logged("[app] validateRegionFrames failed: Zone 1 center (2280.0, 450.0) not in screen "
                       "DISPLAY-2 frame (-1440.0, 200.0, 1280.0, 800.0)"));
    EXPECT_TRUE(logged("[app] Layout frames invalid for DISPLAY-2; will resync to builtin.split-50-50"));
    EXPECT_TRUE(logged("[app] ensureDisplayLayoutSynced: resynced frames preserving stacks display=DISPLAY-2 "
                       "layout=builtin.split-50-50"));
    EXPECT_EQ(stateOf(*app, kSide), state);
    EXPECT_EQ(stack(*state, 1), (std::vector<WindowID>{21, 22}));
    EXPECT_EQ(stack(*state, 2), (std::vector<WindowID>{23}));
    EXPECT_EQ(state->zoneOf.at(23), 2);
    for (const auto& [id, zone] : state->layout.zones)
        EXPECT_EQ(zone.frame.intersection(Rect{-1440, 200, 1280, 800}), zone.frame) << id;
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kSide), 0);
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kSide), kBuiltinSplit5050ID);
    EXPECT_EQ(storedSelection(kSide), kBuiltinSplit5050ID);

    // In step again: nothing more happens.
    capture.log().clear();
    app->ensureDisplayLayoutSynced(kSide);
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(LayoutSyncTest, aWorkbenchThatDisagreesWithTheSelectionReappliesTheLayout) {
    ASSERT_TRUE(app->ensureState(kMain));
    auto state = stateOf(*app, kMain);
    place(*state, 11, 2);
    app->setActiveTemplate(kMain, kBuiltinFullscreenID);

    app->ensureDisplayLayoutSynced(kMain);

    EXPECT_TRUE(logged("[app] Layout mismatch for DISPLAY-1. CurrentID: Optional(\"builtin.split-50-50\"), "
                       "Expected: builtin.fullscreen"));
    EXPECT_TRUE(
        logged("[app] ensureDisplayLayoutSynced: syncing display DISPLAY-1 to layout builtin.fullscreen"));
    auto fresh = stateOf(*app, kMain);
    EXPECT_NE(fresh, state);
    EXPECT_EQ(zoneIDs(*fresh), (std::vector<int>{1}));
    EXPECT_TRUE(fresh->zoneOf.empty());
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 1);
    EXPECT_EQ(storedSelection(kMain), kBuiltinFullscreenID);
}

TEST_F(LayoutSyncTest, aStateOnItsScreenIsJudgedByTheSelectionElseByItsZoneCount) {
    struct Row {
        const char* name;
        std::optional<std::string> selection;
        std::vector<int> zones;
        bool reapplied;
    };
    const std::vector<Row> rows = {
        {"selection agrees, zone count differs", std::string(kBuiltinSplit5050ID), {1, 2, 3}, false},
        {"no selection, zone count agrees", std::nullopt, {1, 2}, false},
        {"no selection, zone count differs", std::nullopt, {1, 2, 3}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        app->multiState->states.clear();
        app->mappingTransactions.displayEpochByUUID.clear();
        app->layoutSelection.lastByDisplay.clear();
        app->displayWorkbenches.workbenches[kMain] =
            DisplayWorkbench{kMain, kBuiltinSplit5050ID, std::nullopt};
        if (row.selection) app->layoutSelection.lastByDisplay[kMain] = *row.selection;
        auto state = installState(kMain, columns(kMain, Rect{0, 0, 1920, 1080}, row.zones));
        capture.log().clear();

        app->ensureDisplayLayoutSynced(kMain);

        EXPECT_EQ(stateOf(*app, kMain) != state, row.reapplied);
        EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), row.reapplied ? 1 : 0);
        EXPECT_EQ(
            logged("[app] Layout mismatch for DISPLAY-1. CurrentID: nil, Expected: builtin.split-50-50"),
            row.reapplied);
    }
}

TEST_F(LayoutSyncTest, aDisplayWithoutRecordsOnlyGetsAStateWhenItHasNone) {
    app->ensureDisplayLayoutSynced(kSide);
    ASSERT_TRUE(stateOf(*app, kSide));
    EXPECT_EQ(storedTemplate(kSide), kBuiltinSplit5050ID);

    auto state = installState(kMain, columns(kMain, Rect{5000, 5000, 100, 100}, {1, 2, 3}));
    capture.log().clear();
    app->ensureDisplayLayoutSynced(kMain);
    EXPECT_EQ(stateOf(*app, kMain), state);
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(LayoutSyncTest, anExpectedLayoutThatIsGoneFallsToTheWorkbenchTemplate) {
    auto state = installState(kMain, columns(kMain, Rect{5000, 5000, 100, 100}, {1}));
    app->layoutSelection.lastByDisplay[kMain] = "layout.gone";
    app->ensureDisplayLayoutSynced(kMain);
    EXPECT_TRUE(logged("[app] ensureDisplayLayoutSynced: syncing display DISPLAY-1 to layout layout.gone"));
    EXPECT_FALSE(logged("Applying template"));
    EXPECT_EQ(stateOf(*app, kMain), state);

    app->displayWorkbenches.workbenches[kMain] = DisplayWorkbench{kMain, "layout.gone", std::nullopt};
    app->ensureDisplayLayoutSynced(kMain);
    EXPECT_TRUE(logged("[app] Template layout.gone missing (reason=layout-sync-DISPLAY-1)"));
    EXPECT_EQ(stateOf(*app, kMain), state);
    EXPECT_EQ(zoneIDs(*state), (std::vector<int>{1}));
}

TEST_F(LayoutSyncTest, zoneOneDecidesWhetherFramesAreValid) {
    desktop->screens().setVisibleFrame(side, Rect{1920, 0, 1440, 875});
    struct Row {
        const char* name;
        const char* display;
        std::vector<int> ids;
        Rect area; // zone 1 (or the first zone) is its left half
        bool valid;
    };
    const std::vector<Row> rows = {
        {"zone 1 inside", kSide, {1, 2}, Rect{1920, 0, 1440, 875}, true},
        {"centre on the left and bottom edges", kSide, {1}, Rect{1420, -500, 1000, 1000}, true},
        {"centre on the top edge of the visible frame", kSide, {1}, Rect{2000, 775, 100, 200}, false},
        {"centre on the right edge", kSide, {1}, Rect{3310, 0, 100, 100}, false},
        {"no zone 1, others far away", kSide, {2, 3}, Rect{9000, 9000, 100, 100}, true},
        {"display not connected", "GONE", {1}, Rect{1920, 0, 1440, 875}, false},
    };
    for (const auto& row : rows) {
        capture.log().clear();
        WMState state(columns(row.display, row.area, row.ids));
        EXPECT_EQ(app->validateRegionFrames(row.display, state), row.valid) << row.name;
        const bool logsFailure = !row.valid && std::string(row.display) != "GONE";
        EXPECT_EQ(logged("validateRegionFrames failed"), logsFailure) << row.name;
    }
}

TEST_F(LayoutSyncTest, expectedZoneCountsComeFromTheLayoutOnTheDisplaysScreen) {
    ConfigZoneSet three;
    three.id = "layout.three";
    three.name = "Three";
    three.zones = std::vector<ConfigZone>{{1, "", Rect{0, 0, 0.3, 1}, std::nullopt},
                                          {2, "", Rect{0.3, 0, 0.3, 1}, std::nullopt},
                                          {3, "", Rect{0.6, 0, 0.4, 1}, std::nullopt}};
    app->regionSets = {three};
    EXPECT_EQ(app->expectedZoneCount("builtin.grid.2x2", kSide), 2);
    EXPECT_EQ(app->expectedZoneCount("layout.three", kSide), 3);
    EXPECT_EQ(app->expectedZoneCount("builtin.fullscreen", "GONE"), 1);
    EXPECT_EQ(app->expectedZoneCount("layout.gone", kSide), std::nullopt);
}

TEST_F(LayoutSyncTest, changingTheActiveDisplayCarriesTheLastUsedZone) {
    ASSERT_TRUE(app->setActiveDisplay(kMain, true));
    app->lastUsedRegion = 3;
    installState(kSide, columns(kSide, Rect{1920, 0, 1440, 900}, {5, 2}));

    ASSERT_TRUE(app->setActiveDisplay(kSide, true));
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kMain), 3);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kSide);
    EXPECT_EQ(app->lastUsedRegion, 2);
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kSide), 2);

    // The display that is already active stores nothing for itself first; the callbacks are renewed.
    app->lastUsedRegion = 7;
    app->controller->onWindowFocus = nullptr;
    ASSERT_TRUE(app->setActiveDisplay(kSide, false));
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kSide), 2);
    EXPECT_EQ(app->lastUsedRegion, 2);
    EXPECT_TRUE(app->controller->onWindowFocus);

    EXPECT_FALSE(app->setActiveDisplay(" \t", true));
    EXPECT_EQ(app->multiState->activeDisplayUUID, kSide);
    EXPECT_EQ(app->lastUsedRegion, 2);
}

TEST_F(LayoutSyncTest, reapplyingNeedsAWorkbenchOnTheActiveDisplay) {
    EXPECT_FALSE(app->reapplyActiveTemplate("display-change"));
    EXPECT_TRUE(logged("[app] No workbench for display DISPLAY-1 during display-change"));
    EXPECT_TRUE(app->multiState->states.empty());

    app->setActiveTemplate(kMain, kBuiltinSplit6040ID);
    EXPECT_TRUE(app->reapplyActiveTemplate("display-change"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kMain)), (std::vector<int>{1, 2}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 1);
}

} // namespace
