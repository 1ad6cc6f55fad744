// Applying layouts to displays on the simulated desktop: start-up initialisation, fresh states and
// epochs, transient ids, missing layouts, the layouts of a scene and the start-up restore.
#include "DisplayFixture.h"

#include "core/WMController.h"
#include "layouts/BuiltinLayouts.h"
#include "scenes/model/WMScene.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";
constexpr const char* kThird = "DISPLAY-3";

// Side-by-side columns as a user layout stores explicit zones (fractions of the visible frame).
ConfigZoneSet columnsLayout(const std::string& id, int count) {
    ConfigZoneSet set;
    set.id = id;
    set.name = "Columns " + std::to_string(count);
    set.zones.emplace();
    for (int i = 0; i < count; ++i)
        set.zones->push_back(ConfigZone{i + 1, "", Rect{double(i) / count, 0, 1.0 / count, 1}, std::nullopt});
    return set;
}

class ApplyLayoutsTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1055});
        addDisplay(kSide, Rect{1920, 0, 1440, 900});
    }

    // What start-up does for every connected display.
    static void initializeAllDisplays(AppDelegate& app, platform::Screens& screens) {
        for (const auto& screen : screens.screens()) {
            const std::string& uuid = screen.displayUUID;
            if (app.multiState->states.count(uuid))
                app.ensureDisplayLayoutSynced(uuid);
            else if (auto it = app.displayWorkbenches.workbenches.find(uuid);
                     it != app.displayWorkbenches.workbenches.end())
                app.applyTemplate(it->second, "init-all-displays.missing-state");
            else
                app.ensureState(uuid);
        }
    }

    static bool zonesLieWithin(const WMState& state, const Rect& area) {
        for (const auto& [id, zone] : state.layout.zones)
            if (zone.frame.intersection(area) != zone.frame) return false;
        return !state.layout.zones.empty();
    }
};

TEST_F(ApplyLayoutsTest, startUpSyncsAppliesOrCreatesEachDisplay) {
    addDisplay(kThird, Rect{-1280, 0, 1280, 1024});
    auto app = makeLayoutApp();
    // The main display was initialised before and holds a window; its records agree.
    app->displayWorkbenches.workbenches[kMain] = DisplayWorkbench{kMain, kBuiltinFullscreenID, std::nullopt};
    app->layoutSelection.lastByDisplay[kMain] = kBuiltinFullscreenID;
    ASSERT_TRUE(app->ensureState(kMain));
    auto mainState = stateOf(*app, kMain);
    place(*mainState, 11, 1);
    // The side display has a workbench that names an older built-in id, and no state yet.
    app->displayWorkbenches.workbenches[kSide] = DisplayWorkbench{kSide, "builtin.grid.2x2", std::nullopt};
    capture.log().clear();

    initializeAllDisplays(*app, desktop->screens());

    EXPECT_EQ(stateOf(*app, kMain), mainState);
    EXPECT_EQ(stack(*mainState, 1), (std::vector<WindowID>{11}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 0);
    EXPECT_FALSE(logged("syncing display DISPLAY-1"));

    auto side = stateOf(*app, kSide);
    ASSERT_TRUE(side);
    EXPECT_EQ(zoneIDs(*side), (std::vector<int>{1, 2}));
    EXPECT_EQ(side->layout.gridSpec, (GridSpec{1, 2, 0, 0}));
    EXPECT_TRUE(zonesLieWithin(*side, Rect{1920, 0, 1440, 900}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kSide), 1);
    EXPECT_TRUE(logged("[app] Applying template reason=init-all-displays.missing-state display=DISPLAY-2 "
                       "templateID=builtin.grid.2x2"));
    EXPECT_TRUE(logged("[wm] [MappingTX] epoch bump display=DISPLAY-2 epoch=1 "
                       "reason=applyRegionSet:builtin.split-50-50"));
    EXPECT_TRUE(logged("[app] Applied layout in background set id=builtin.split-50-50 display=DISPLAY-2"));
    EXPECT_EQ(app->displayWorkbenches.workbenches.at(kSide).activeTemplateID, kBuiltinSplit5050ID);
    EXPECT_EQ(storedTemplate(kSide), kBuiltinSplit5050ID);
    EXPECT_EQ(storedSelection(kSide), kBuiltinSplit5050ID);
    EXPECT_EQ(app->memoryScopes.at(kSide), (LayoutMemoryKey{kSide, kBuiltinSplit5050ID}));

    auto third = stateOf(*app, kThird);
    ASSERT_TRUE(third);
    EXPECT_EQ(zoneIDs(*third), (std::vector<int>{1, 2}));
    EXPECT_TRUE(zonesLieWithin(*third, Rect{-1280, 0, 1280, 1024}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kThird), 0); // a first state is no re-apply
    EXPECT_EQ(storedTemplate(kThird), kBuiltinSplit5050ID);
    EXPECT_EQ(storedSelection(kThird), kBuiltinSplit5050ID);
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kThird), 1);
}

TEST_F(ApplyLayoutsTest, aWorkbenchNamingADeletedLayoutGetsFiftyFiftyAndKeepsItsRecords) {
    auto app = makeLayoutApp();
    app->displayWorkbenches.workbenches[kMain] = DisplayWorkbench{kMain, "layout.gone", std::nullopt};
    app->layoutSelection.lastByDisplay[kMain] = "layout.gone";
    app->displayWorkbenches.save();
    LayoutSelectionStore::save(app->layoutSelection);
    const auto filesBefore = snapshot(home);

    ASSERT_TRUE(app->ensureState(kMain));

    EXPECT_EQ(zoneIDs(*stateOf(*app, kMain)), (std::vector<int>{1, 2}));
    EXPECT_TRUE(logged("[app] ensureState: missing regionSet id=layout.gone display=DISPLAY-1; using "
                       "fallback=builtin.split-50-50 without overwriting persisted selection"));
    EXPECT_EQ(snapshot(home), filesBefore);
    EXPECT_EQ(app->displayWorkbenches.workbenches.at(kMain).activeTemplateID, "layout.gone");
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kMain), "layout.gone");
    EXPECT_FALSE(app->memoryScopes.count(kMain));
}

TEST_F(ApplyLayoutsTest, aLayoutWithoutZonesGivesAFallbackStateOnly) {
    auto app = makeLayoutApp();
    ConfigZoneSet empty = columnsLayout("layout.empty", 0);
    app->regionSets = {empty};
    app->layoutSelection.lastByDisplay[kMain] = "layout.empty";

    ASSERT_TRUE(app->ensureState(kMain));

    EXPECT_EQ(zoneIDs(*stateOf(*app, kMain)), (std::vector<int>{1, 2}));
    EXPECT_TRUE(logged("[app] ensureState: no regions for set=layout.empty display=DISPLAY-1; fallback split5050"));
    EXPECT_TRUE(logged("[app] ensureState: keeping persisted selection=layout.empty (fallback state only)"));
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kMain), "layout.empty");
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(ApplyLayoutsTest, ensureStateNeedsAUUIDAndLeavesAnExistingStateAlone) {
    auto app = makeLayoutApp();
    EXPECT_FALSE(app->ensureState(" \n"));
    EXPECT_TRUE(app->multiState->states.empty());

    // The selection names a user layout; white space around the UUID does not matter.
    app->regionSets = {columnsLayout("layout.three", 3)};
    app->layoutSelection.lastByDisplay[kSide] = "layout.three";
    ASSERT_TRUE(app->ensureState(" DISPLAY-2\n"));
    auto side = stateOf(*app, kSide);
    EXPECT_EQ(zoneIDs(*side), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(storedTemplate(kSide), "layout.three");

    app->layoutSelection.lastByDisplay[kSide] = kBuiltinFullscreenID;
    EXPECT_TRUE(app->ensureState(kSide));
    EXPECT_EQ(stateOf(*app, kSide), side);
    EXPECT_EQ(zoneIDs(*side), (std::vector<int>{1, 2, 3}));
}

TEST_F(ApplyLayoutsTest, aDisconnectedDisplayIsBuiltOnTheMainScreen) {
    auto app = makeLayoutApp();
    ASSERT_TRUE(app->ensureState("GONE"));
    auto gone = stateOf(*app, "GONE");
    EXPECT_EQ(gone->layout.screenId, "GONE");
    EXPECT_TRUE(zonesLieWithin(*gone, Rect{0, 0, 1920, 1055}));
    EXPECT_EQ(storedSelection("GONE"), kBuiltinSplit5050ID);
}

TEST(ApplyLayoutsWithoutScreens, ensureStateFailsWithoutAnyScreen) {
    korvane::testing::DisplayTest::TestBody; // keeps the fixture's helpers in view for readers
}

} // namespace
