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
    EXPECT_TRUE(
        logged("[app] ensureState: no regions for set=layout.empty display=DISPLAY-1; fallback split5050"));
    EXPECT_TRUE(logged("[app] ensureState: keeping persisted selection=layout.empty (fallback state only)"));
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kMain), "layout.empty");
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(ApplyLayoutsTest, ensureStateNeedsAUUIDLeavesAnExistingStateAloneAndFallsBackToTheMainScreen) {
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

    // A display that is not connected is built on the main screen.
    ASSERT_TRUE(app->ensureState("GONE"));
    EXPECT_EQ(stateOf(*app, "GONE")->layout.screenId, "GONE");
    EXPECT_TRUE(zonesLieWithin(*stateOf(*app, "GONE"), Rect{0, 0, 1920, 1055}));
    EXPECT_EQ(storedSelection("GONE"), kBuiltinSplit5050ID);
}

TEST_F(DisplayTest, withoutAnyScreenNoStateIsMadeAndNothingApplies) {
    auto app = makeLayoutApp();
    EXPECT_FALSE(app->ensureState(kMain));
    EXPECT_TRUE(logged("[app] ensureState: no screen for display DISPLAY-1"));
    WMScene scene;
    scene.layoutRefsByDisplay[kMain] = kBuiltinFullscreenID;
    app->applyLayoutsFromScene(scene);
    app->applyRegionSet(builtinSplit5050Layout(), std::nullopt, true);
    EXPECT_TRUE(app->multiState->states.empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(ApplyLayoutsTest, applyingEmptiesTheTargetsStacksAndRaisesOnlyItsEpoch) {
    auto app = makeLayoutApp();
    app->controller = std::make_shared<WMController>(app->multiState, app->ax);
    ASSERT_TRUE(app->ensureState(kMain));
    ASSERT_TRUE(app->ensureState(kSide));
    auto mainState = stateOf(*app, kMain);
    auto sideState = stateOf(*app, kSide);
    place(*mainState, 11, 1);
    place(*sideState, 21, 2);
    app->lastUsedRegionByDisplay[kSide] = 2;

    app->applyRegionSet(builtinFullscreenLayout(), std::string(kSide), false);

    auto applied = stateOf(*app, kSide);
    EXPECT_NE(applied, sideState);
    EXPECT_EQ(zoneIDs(*applied), (std::vector<int>{1}));
    EXPECT_TRUE(applied->wins.empty());
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kSide), 1);
    EXPECT_EQ(stateOf(*app, kMain), mainState);
    EXPECT_EQ(stack(*mainState, 1), (std::vector<WindowID>{11}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 0);
    // A recorded last zone stays, even one the new layout lacks.
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kSide), 2);
    EXPECT_TRUE(logged("[app] applyRegionSet: set=builtin.fullscreen target=DISPLAY-2 active=DISPLAY-1 "
                       "activate=false"));
    EXPECT_TRUE(logged("[app] Applied layout in background set id=builtin.fullscreen display=DISPLAY-2"));
    EXPECT_EQ(storedTemplate(kSide), kBuiltinFullscreenID);
    EXPECT_EQ(storedSelection(kSide), kBuiltinFullscreenID);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kMain); // resolved from the pointer, not switched
    EXPECT_FALSE(app->controller->onWindowFocus);
}

TEST_F(ApplyLayoutsTest, theActiveDisplayIsActivatedEvenWhenNotAskedTo) {
    auto app = makeLayoutApp();
    app->controller = std::make_shared<WMController>(app->multiState, app->ax);
    app->lastUsedRegionByDisplay[kMain] = 2;
    desktop->screens().setMouseLocation({100, 100});

    app->applyRegionSet(builtinSplit6040Layout(), std::nullopt, false);

    EXPECT_TRUE(logged("[app] applyRegionSet: set=builtin.split-60-40 target=DISPLAY-1 active=DISPLAY-1 "
                       "activate=true"));
    EXPECT_TRUE(logged("[app] Switched layout to set id=builtin.split-60-40 name=60:40 display=DISPLAY-1"));
    EXPECT_EQ(app->multiState->activeDisplayUUID, kMain);
    EXPECT_EQ(app->lastUsedRegion, 2);
    EXPECT_TRUE(app->controller->onWindowFocus); // the callbacks were installed again

    // Asked to activate a background display: it becomes the active one.
    app->applyRegionSet(builtinSplit6040Layout(), std::string(kSide), true);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kSide);
    EXPECT_EQ(app->lastUsedRegion, 1);
    EXPECT_TRUE(logged("[app] Switched layout to set id=builtin.split-60-40 name=60:40 display=DISPLAY-2"));
}

TEST_F(ApplyLayoutsTest, nothingChangesForADisconnectedTargetOrASetWithoutZones) {
    auto app = makeLayoutApp();
    app->applyRegionSet(builtinSplit5050Layout(), std::string("GONE"), true);
    EXPECT_TRUE(logged("[app] applyRegionSet: invalid target display GONE"));
    app->applyRegionSet(columnsLayout("layout.blank", 0), std::string(kMain), true);
    EXPECT_TRUE(logged("[app] applyRegionSet: no regions in set layout.blank"));

    EXPECT_TRUE(app->multiState->states.empty());
    EXPECT_TRUE(app->mappingTransactions.displayEpochByUUID.empty());
    EXPECT_TRUE(app->lastUsedRegionByDisplay.empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(ApplyLayoutsTest, transientLayoutsAreAppliedButNotRecordedUnlessAWorkbenchAsks) {
    auto app = makeLayoutApp();
    app->regionSets = {columnsLayout("scene-restore-abc", 3)};
    app->setActiveTemplate(kMain, kBuiltinDailyID);
    app->layoutSelection.lastByDisplay[kMain] = kBuiltinDailyID;

    app->applyRegionSet(app->regionSets.front(), std::string(kMain), false);

    EXPECT_EQ(zoneIDs(*stateOf(*app, kMain)), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(logged(
        "[wm] [MappingTX] epoch bump display=DISPLAY-1 epoch=1 reason=applyRegionSet:scene-restore-abc"));
    EXPECT_TRUE(
        logged("[sceneManager] applyRegionSet: skip persisting transient layout id 'scene-restore-abc'"));
    EXPECT_EQ(app->displayWorkbenches.workbenches.at(kMain).activeTemplateID, kBuiltinDailyID);
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kMain), kBuiltinDailyID);
    EXPECT_EQ(app->memoryScopes.at(kMain).layoutID, kBuiltinDailyID);

    // Through a workbench the id reaches the selection, though still not the workbench.
    EXPECT_TRUE(app->applyTemplate(DisplayWorkbench{kMain, "scene-restore-abc", std::nullopt}, "test"));
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at(kMain), "scene-restore-abc");
    EXPECT_EQ(storedSelection(kMain), "scene-restore-abc");
    EXPECT_EQ(storedTemplate(kMain), kBuiltinDailyID);
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 2);
}

TEST_F(ApplyLayoutsTest, aMissingTemplateIsReportedAndChangesNothing) {
    auto app = makeLayoutApp();
    EXPECT_FALSE(app->applyTemplate(DisplayWorkbench{kSide, "layout.gone", std::nullopt}, "display-change"));
    EXPECT_TRUE(
        logged("[app] Applying template reason=display-change display=DISPLAY-2 templateID=layout.gone"));
    EXPECT_TRUE(logged("[app] Template layout.gone missing (reason=display-change)"));
    EXPECT_TRUE(app->multiState->states.empty());
    EXPECT_TRUE(app->layoutSelection.lastByDisplay.empty());

    // Restoring a scene falls back from the missing template to 50:50.
    app->displayWorkbenches.workbenches[kSide] = DisplayWorkbench{kSide, "layout.gone", std::nullopt};
    WMScene scene;
    scene.layoutRefsByDisplay = {{kSide, "layout.also-gone"}};
    app->applyLayoutsFromScene(scene);
    EXPECT_TRUE(logged("[app] Template layout.gone missing (reason=scene-restore-fallback)"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kSide)), (std::vector<int>{1, 2}));
}

TEST_F(ApplyLayoutsTest, aSceneAppliesItsLayoutElseTheWorkbenchElseFiftyFifty) {
    addDisplay(kThird, Rect{-1280, 0, 1280, 1024});
    auto app = makeLayoutApp();
    app->regionSets = {columnsLayout("layout.three", 3)};
    app->displayWorkbenches.workbenches[kSide] = DisplayWorkbench{kSide, kBuiltinFullscreenID, std::nullopt};
    WMScene scene;
    scene.layoutRefsByDisplay = {
        {kMain, "scene-apply-7"}, {kSide, "scene-apply-8"}, {kThird, " layout.three "}};

    app->applyLayoutsFromScene(scene);

    EXPECT_TRUE(logged("[sceneManager] applyLayoutsFromScene: display='DISPLAY-1' rawRef=scene-apply-7 "
                       "layoutID=nil foundSet=false"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kMain)), (std::vector<int>{1, 2}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kMain), 1);
    EXPECT_TRUE(logged("[wm] [MappingTX] epoch bump display=DISPLAY-1 epoch=1 "
                       "reason=applyRegionSet:builtin.split-50-50"));

    EXPECT_TRUE(logged("[app] Applying template reason=scene-restore-fallback display=DISPLAY-2 "
                       "templateID=builtin.fullscreen"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kSide)), (std::vector<int>{1}));

    EXPECT_TRUE(logged("[sceneManager] applyLayoutsFromScene: display='DISPLAY-3' rawRef= layout.three  "
                       "layoutID=layout.three foundSet=true"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kThird)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(storedTemplate(kThird), "layout.three");
    for (const char* uuid : {kMain, kSide, kThird})
        EXPECT_EQ(app->mappingTransactions.currentEpoch(uuid), 1) << uuid;
}

TEST_F(ApplyLayoutsTest, startUpRestoreReappliesTheActiveDisplaysWorkbench) {
    auto app = makeLayoutApp();
    desktop->screens().setMouseLocation({2000, 100});
    EXPECT_FALSE(app->restoreLayoutsAtStartup());
    EXPECT_TRUE(logged("[app] No workbench for display DISPLAY-2; skipping restore"));
    EXPECT_TRUE(app->multiState->states.empty());

    app->displayWorkbenches.workbenches[kSide] = DisplayWorkbench{kSide, kBuiltinFullscreenID, std::nullopt};
    EXPECT_TRUE(app->restoreLayoutsAtStartup());
    EXPECT_TRUE(logged("[app] Applying template reason=startup-restore display=DISPLAY-2"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kSide)), (std::vector<int>{1}));

    app->displayWorkbenches.workbenches[kSide].activeTemplateID = "layout.gone";
    EXPECT_TRUE(app->restoreLayoutsAtStartup());
    EXPECT_TRUE(logged("[app] Template layout.gone missing; falling back to 50:50"));
    EXPECT_EQ(zoneIDs(*stateOf(*app, kSide)), (std::vector<int>{1, 2}));
    EXPECT_EQ(app->mappingTransactions.currentEpoch(kSide), 2);
}

} // namespace
