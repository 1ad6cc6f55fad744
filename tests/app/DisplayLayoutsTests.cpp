// Applying layouts to displays and keeping them in step on the simulated desktop: first states, fresh
// states and epochs, transient ids, missing layouts, scenes, the start-up restore, zones rebuilt in
// place, the active display and the last used zone.
#include "DisplayFixture.h"

#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutMemoryStore.h"
#include "platform/Format.h"
#include "scenes/model/WMScene.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace korvane;
using korvane::testing::DisplayTest;
using Ids = std::vector<int>;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";
constexpr const char* kThird = "DISPLAY-3";
const Rect kMainFrame{0, 0, 1920, 1080};
const Rect kSideFrame{1920, 0, 1440, 900};
const Rect kFarAway{5000, 5000, 100, 100};

// Side-by-side columns as a user layout stores explicit zones (fractions of the visible frame).
ConfigZoneSet columnsLayout(const std::string& id, int count) {
    ConfigZoneSet set;
    set.id = id;
    set.name = "Columns";
    set.zones.emplace();
    for (int i = 0; i < count; ++i)
        set.zones->push_back(ConfigZone{i + 1, "", Rect{double(i) / count, 0, 1.0 / count, 1}, std::nullopt});
    return set;
}

// Zones with the given ids side by side across `area`.
Layout columns(const std::string& uuid, const Rect& area, const Ids& ids) {
    Layout layout;
    layout.screenId = uuid;
    const double w = area.width() / static_cast<double>(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i)
        layout.zones[ids[i]] = Zone{ids[i], Rect{area.minX() + i * w, area.minY(), w, area.height()}, {}, 0};
    return layout;
}

class DisplayLayoutsTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, kMainFrame, Rect{0, 0, 1920, 1055});
        side = addDisplay(kSide, kSideFrame);
        displayLayouts->registerHotkeys = [this] { ++registrations; };
    }
    std::shared_ptr<WMState> installState(const std::string& uuid, const Rect& area, const Ids& ids) {
        return multiState->states[uuid] = std::make_shared<WMState>(columns(uuid, area, ids));
    }
    Ids zonesOf(const std::string& uuid) const {
        Ids ids;
        for (const auto& [id, zone] : stateOf(uuid)->layout.zones)
            ids.push_back(id);
        return ids;
    }
    std::int64_t epoch(const std::string& uuid) const { return mapping->currentEpoch(uuid); }
    void bench(const std::string& uuid, const std::string& id) {
        workbenches->workbenches[uuid] = DisplayWorkbench{uuid, id, std::nullopt};
    }
    int side = 0;
    int registrations = 0;
};

TEST_F(DisplayLayoutsTest, aFirstStateComesFromTheRecordsAndIsMadeOnceAndZoneCountsAreExpectedAlike) {
    EXPECT_FALSE(displayLayouts->ensureState(" \n"));
    // The selection names a user layout; white space around the UUID does not matter.
    addUserLayouts({columnsLayout("layout.three", 3)});
    selection->lastByDisplay[kSide] = "layout.three";
    ASSERT_TRUE(displayLayouts->ensureState(" DISPLAY-2\n"));
    auto sideState = stateOf(kSide);
    EXPECT_EQ(zonesOf(kSide), (Ids{1, 2, 3}));
    EXPECT_EQ(storedTemplate(kSide), "layout.three");
    EXPECT_EQ(epoch(kSide), 0); // a first state is no re-apply
    selection->lastByDisplay[kSide] = kBuiltinFullscreenID;
    EXPECT_TRUE(displayLayouts->ensureState(kSide));
    EXPECT_EQ(stateOf(kSide), sideState);

    // A display that is not connected is built on the main screen; an older built-in id is recorded as
    // the current one.
    bench("GONE", "builtin.grid.2x2");
    ASSERT_TRUE(displayLayouts->ensureState("GONE"));
    EXPECT_EQ(stateOf("GONE")->layout.screenId, "GONE");
    EXPECT_TRUE(zonesLieWithin(*stateOf("GONE"), Rect{0, 0, 1920, 1055}));
    EXPECT_EQ(storedTemplate("GONE"), kBuiltinSplit5050ID);
    EXPECT_EQ(storedSelection("GONE"), kBuiltinSplit5050ID);
    EXPECT_EQ(memory->memoryScopes().at("GONE").layoutID, kBuiltinSplit5050ID);

    // Expected zone counts come from the layout on the display's screen, else the main one.
    EXPECT_EQ(displayLayouts->expectedZoneCount("builtin.grid.2x2", kSide), 2);
    EXPECT_EQ(displayLayouts->expectedZoneCount("layout.three", kSide), 3);
    EXPECT_EQ(displayLayouts->expectedZoneCount("builtin.fullscreen", "GONE"), 1);
    EXPECT_EQ(displayLayouts->expectedZoneCount("layout.gone", kSide), std::nullopt);
}

TEST_F(DisplayLayoutsTest, aRecordNamingAMissingOrEmptyLayoutGetsFiftyFiftyAndKeepsTheRecord) {
    addUserLayouts({columnsLayout("layout.empty", 0)});
    bench(kMain, "layout.gone");
    selection->lastByDisplay[kMain] = "layout.gone";
    selection->lastByDisplay[kSide] = "layout.empty";
    const auto filesBefore = snapshot(home);

    ASSERT_TRUE(displayLayouts->ensureState(kMain));
    ASSERT_TRUE(displayLayouts->ensureState(kSide));

    EXPECT_EQ(zonesOf(kMain), (Ids{1, 2}));
    EXPECT_EQ(zonesOf(kSide), (Ids{1, 2}));
    EXPECT_EQ(snapshot(home), filesBefore);
    EXPECT_EQ(workbenches->workbenches.at(kMain).activeTemplateID, "layout.gone");
    EXPECT_EQ(selection->lastByDisplay.at(kSide), "layout.empty");
    EXPECT_TRUE(memory->memoryScopes().empty());
}

TEST_F(DisplayTest, withoutAnyScreenNoStateIsMadeAndNothingApplies) {
    EXPECT_FALSE(displayLayouts->ensureState(kMain));
    WMScene scene;
    scene.layoutRefsByDisplay[kMain] = kBuiltinFullscreenID;
    displayLayouts->applyLayoutsFromScene(scene);
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::nullopt, true);
    EXPECT_TRUE(multiState->states.empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(DisplayLayoutsTest, applyingEmptiesTheTargetsStacksAndRaisesOnlyItsEpoch) {
    auto mainState = installState(kMain, kMainFrame, {1});
    place(*mainState, 11, 1);
    place(*installState(kSide, kSideFrame, {1, 2}), 21, 2);
    displayLayouts->onWindowFocusSync(21);

    displayLayouts->applyRegionSet(builtinFullscreenLayout(), std::string(kSide), false);

    EXPECT_EQ(zonesOf(kSide), (Ids{1}));
    EXPECT_TRUE(stateOf(kSide)->wins.empty());
    EXPECT_EQ(epoch(kSide), 1);
    EXPECT_EQ(stateOf(kMain), mainState);
    EXPECT_EQ(epoch(kMain), 0);
    // A recorded last zone stays, even one the new layout lacks.
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().at(kSide), 2);
    EXPECT_EQ(storedTemplate(kSide), kBuiltinFullscreenID);
    EXPECT_EQ(storedSelection(kSide), kBuiltinFullscreenID);
    EXPECT_EQ(multiState->activeDisplayUUID, kMain); // resolved from the pointer, not switched
    EXPECT_EQ(activations, 0);
}

// What the layout memory keeps of a display's zones under that layout is what they hold again whenever
// it is applied, from the windows that still lie in them: a window moved out by hand stays out, and
// another layout in between takes none of them.
TEST_F(DisplayLayoutsTest, aLayoutAppliedAgainTakesBackTheWindowsThatStillLieInItsZones) {
    const pid_t editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    const pid_t mail = desktop->workspace().launch({.bundleID = "com.example.mail", .name = "Mail"});
    // The halves of the main display's visible frame, 50:50's zones.
    const Rect left{0, 0, 960, 1055}, right{960, 0, 960, 1055};
    const WindowID notes = desktop->windows().open(editor, {.frame = left, .title = "Notes"});
    const WindowID draft = desktop->windows().open(editor, {.frame = right, .title = "Draft"});
    const WindowID inbox = desktop->windows().open(mail, {.frame = right, .title = "Inbox"});
    desktop->loop().runUntilIdle();
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::string(kMain), false);
    for (auto [wid, pid, zone] : {std::tuple{notes, editor, 1}, {draft, editor, 2}, {inbox, mail, 2}})
        stateOf(kMain)->attach(WinRef{wid, pid, desktop->windows().element(wid), zone, std::nullopt}, zone);
    desktop->windows().setFrame(inbox, Rect{100, 100, 400, 300});

    using Mapping = std::map<WindowID, int>;
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::string(kMain), false);
    EXPECT_EQ(stateOf(kMain)->zoneOf, (Mapping{{notes, 1}, {draft, 2}}));
    EXPECT_EQ(epoch(kMain), 2);

    displayLayouts->applyRegionSet(builtinFullscreenLayout(), std::string(kMain), false);
    EXPECT_EQ(stateOf(kMain)->zoneOf, Mapping{});
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::string(kMain), false);
    EXPECT_EQ(stateOf(kMain)->zoneOf, (Mapping{{notes, 1}, {draft, 2}}));
    EXPECT_EQ(stateOf(kMain)->zone(2)->stack, std::vector<WindowID>{draft});
}

// A display taking other zones (a layout applied after a replug, a scene restored) writes what its old
// zones held at once: a process killed afterwards keeps it for the next time that layout comes back.
TEST_F(DisplayLayoutsTest, aDisplayTakingOtherZonesWritesTheOldLayoutsWindowsToTheFileAtOnce) {
    const pid_t editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    const pid_t mail = desktop->workspace().launch({.bundleID = "com.example.mail", .name = "Mail"});
    const WindowID notes =
        desktop->windows().open(editor, {.frame = Rect{0, 0, 960, 1055}, .title = "Notes"});
    const WindowID inbox =
        desktop->windows().open(mail, {.frame = Rect{960, 0, 960, 1055}, .title = "Inbox"});
    desktop->loop().runUntilIdle();
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::string(kMain), false);
    for (auto [wid, pid, zone] : {std::tuple{notes, editor, 1}, {inbox, mail, 2}})
        stateOf(kMain)->attach(WinRef{wid, pid, desktop->windows().element(wid), zone, std::nullopt}, zone);
    const auto file = home / "layout-memory.json";
    ASSERT_FALSE(std::filesystem::exists(file));

    displayLayouts->applyRegionSet(builtinFullscreenLayout(), std::string(kMain), false);
    ASSERT_TRUE(std::filesystem::exists(file));
    const auto written = LayoutMemoryStore::fromJSON(nlohmann::json::parse(read(file)));
    EXPECT_EQ(written.regionToSlots(kMain, kBuiltinSplit5050ID),
              (RegionSlots{{1, {"com.example.editor"}}, {2, {"com.example.mail"}}}));
}

TEST_F(DisplayLayoutsTest, theActiveDisplayIsActivatedEvenWhenNotAskedTo) {
    desktop->screens().setMouseLocation({100, 100});
    displayLayouts->applyRegionSet(builtinSplit6040Layout(), std::nullopt, false);
    EXPECT_EQ(multiState->activeDisplayUUID, kMain);
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(registrations, 1);

    // Asked to activate a background display: it becomes the active one.
    displayLayouts->applyRegionSet(builtinSplit6040Layout(), std::string(kSide), true);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);
    EXPECT_EQ(activations, 2);
}

TEST_F(DisplayLayoutsTest, nothingChangesForADisconnectedTargetOrASetWithoutZones) {
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), std::string("GONE"), true);
    displayLayouts->applyRegionSet(columnsLayout("layout.blank", 0), std::string(kMain), true);
    EXPECT_TRUE(multiState->states.empty());
    EXPECT_TRUE(mapping->displayEpochByUUID.empty());
    EXPECT_TRUE(displayLayouts->lastUsedRegionByDisplay().empty());
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(DisplayLayoutsTest, transientLayoutsAreAppliedButNotRecordedUnlessAWorkbenchAsks) {
    addUserLayouts({columnsLayout("scene-restore-abc", 3)});
    displayLayouts->setActiveTemplate(kMain, kBuiltinDailyID);
    selection->lastByDisplay[kMain] = kBuiltinDailyID;

    displayLayouts->applyRegionSet(library->regionSets().front(), std::string(kMain), false);
    EXPECT_EQ(zonesOf(kMain), (Ids{1, 2, 3}));
    EXPECT_EQ(epoch(kMain), 1);
    EXPECT_EQ(workbenches->workbenches.at(kMain).activeTemplateID, kBuiltinDailyID);
    EXPECT_EQ(selection->lastByDisplay.at(kMain), kBuiltinDailyID);
    EXPECT_EQ(memory->memoryScopes().at(kMain).layoutID, kBuiltinDailyID);

    // Through a workbench the id reaches the selection, though still not the workbench.
    EXPECT_TRUE(displayLayouts->applyTemplate(DisplayWorkbench{kMain, "scene-restore-abc", {}}, "test"));
    EXPECT_EQ(storedSelection(kMain), "scene-restore-abc");
    EXPECT_EQ(storedTemplate(kMain), kBuiltinDailyID);
}

TEST_F(DisplayLayoutsTest, aSceneAppliesItsLayoutElseTheWorkbenchElseFiftyFifty) {
    EXPECT_FALSE(displayLayouts->applyTemplate(DisplayWorkbench{kSide, "layout.gone", {}}, "test"));
    EXPECT_TRUE(multiState->states.empty());
    EXPECT_TRUE(selection->lastByDisplay.empty());

    addDisplay(kThird, Rect{-1280, 0, 1280, 1024});
    addUserLayouts({columnsLayout("layout.three", 3)});
    bench(kMain, "layout.gone");
    bench(kSide, kBuiltinFullscreenID);
    WMScene scene;
    scene.layoutRefsByDisplay = {
        {kMain, "scene-apply-7"}, {kSide, "scene-apply-8"}, {kThird, " layout.three "}};
    displayLayouts->applyLayoutsFromScene(scene);

    EXPECT_EQ(zonesOf(kMain), (Ids{1, 2}));
    EXPECT_EQ(zonesOf(kSide), (Ids{1}));
    EXPECT_EQ(zonesOf(kThird), (Ids{1, 2, 3}));
    EXPECT_EQ(storedTemplate(kThird), "layout.three");
    for (const char* uuid : {kMain, kSide, kThird})
        EXPECT_EQ(epoch(uuid), 1) << uuid;
}

TEST_F(DisplayLayoutsTest, startUpRestoreAndReapplyingUseTheActiveDisplaysWorkbench) {
    desktop->screens().setMouseLocation({2000, 100});
    EXPECT_FALSE(displayLayouts->restoreLayoutsAtStartup());
    EXPECT_TRUE(multiState->states.empty());

    bench(kSide, kBuiltinFullscreenID);
    EXPECT_TRUE(displayLayouts->restoreLayoutsAtStartup());
    EXPECT_EQ(zonesOf(kSide), (Ids{1}));
    bench(kSide, "layout.gone");
    EXPECT_TRUE(displayLayouts->restoreLayoutsAtStartup());
    EXPECT_EQ(zonesOf(kSide), (Ids{1, 2}));
    EXPECT_EQ(epoch(kSide), 2);

    desktop->screens().setMouseLocation({100, 100});
    EXPECT_FALSE(displayLayouts->reapplyActiveTemplate("display-change"));
    displayLayouts->setActiveTemplate(kMain, kBuiltinSplit6040ID);
    EXPECT_TRUE(displayLayouts->reapplyActiveTemplate("display-change"));
    EXPECT_EQ(zonesOf(kMain), (Ids{1, 2}));
    EXPECT_EQ(epoch(kMain), 1);
}

TEST_F(DisplayLayoutsTest, aMovedDisplayHasItsZonesRebuiltInPlaceWithItsStacks) {
    ASSERT_TRUE(displayLayouts->ensureState(kSide));
    auto state = stateOf(kSide);
    place(*state, 21, 1);
    place(*state, 22, 1);
    place(*state, 23, 2);
    // Only the workbench names the layout; the rebuild records it as the selection too.
    selection->lastByDisplay.erase(kSide);
    const Rect moved{-1440, 200, 1280, 800};
    desktop->screens().setDisplayFrame(side, moved);

    displayLayouts->ensureDisplayLayoutSynced(kSide);
    EXPECT_EQ(stateOf(kSide), state);
    EXPECT_EQ(state->zone(1)->stack, (std::vector<WindowID>{21, 22}));
    EXPECT_EQ(state->zoneOf.at(23), 2);
    EXPECT_TRUE(zonesLieWithin(*state, moved));
    EXPECT_EQ(epoch(kSide), 0);
    EXPECT_EQ(storedSelection(kSide), kBuiltinSplit5050ID);

    capture.log().clear(); // in step again: nothing more happens
    displayLayouts->ensureDisplayLayoutSynced(kSide);
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(DisplayLayoutsTest, aStateOnItsScreenIsJudgedByItsRecordsElseByItsZoneCount) {
    struct Row {
        const char* bench;
        const char* selection; // nullptr: none
        Ids zones;
        bool reapplied;
    };
    const std::vector<Row> rows = {
        {kBuiltinFullscreenID, kBuiltinSplit5050ID, {1, 2}, true}, // the records disagree
        {kBuiltinSplit5050ID, kBuiltinSplit5050ID, {1, 2, 3}, false},
        {kBuiltinSplit5050ID, nullptr, {1, 2}, false},
        {kBuiltinSplit5050ID, nullptr, {1, 2, 3}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.bench << " " << (row.selection ? row.selection : "-"));
        mapping->displayEpochByUUID.clear();
        selection->lastByDisplay.clear();
        bench(kMain, row.bench);
        if (row.selection) selection->lastByDisplay[kMain] = row.selection;
        auto state = installState(kMain, kMainFrame, row.zones);
        place(*state, 11, 1);

        displayLayouts->ensureDisplayLayoutSynced(kMain);

        EXPECT_EQ(stateOf(kMain)->zoneOf.empty(), row.reapplied);
        EXPECT_EQ(epoch(kMain), row.reapplied ? 1 : 0);
        if (row.reapplied) {
            EXPECT_EQ(storedSelection(kMain), row.bench);
        }
    }
}

TEST_F(DisplayLayoutsTest, syncingWithoutRecordsOrWithAMissingLayoutKeepsAnyStateThere) {
    displayLayouts->ensureDisplayLayoutSynced(kSide); // no records, no state: a first state
    EXPECT_EQ(storedTemplate(kSide), kBuiltinSplit5050ID);

    auto state = installState(kMain, kFarAway, {1, 2, 3});
    displayLayouts->ensureDisplayLayoutSynced(kMain);
    selection->lastByDisplay[kMain] = "layout.gone";
    displayLayouts->ensureDisplayLayoutSynced(kMain);
    bench(kMain, "layout.gone"); // the workbench's template is tried, and is missing too
    displayLayouts->ensureDisplayLayoutSynced(kMain);
    EXPECT_EQ(stateOf(kMain), state);
    EXPECT_EQ(zonesOf(kMain), (Ids{1, 2, 3}));
}

TEST_F(DisplayLayoutsTest, zoneOneDecidesWhetherFramesAreValid) {
    desktop->screens().setVisibleFrame(side, Rect{1920, 0, 1440, 875});
    struct Row {
        const char* display;
        Ids ids;
        Rect area; // zone 1 (or the first zone) is its left half
        bool valid;
    };
    const std::vector<Row> rows = {
        {kSide, {1, 2}, Rect{1920, 0, 1440, 875}, true},
        {kSide, {1}, Rect{1420, -500, 1000, 1000}, true}, // centre on the left and bottom edges
        {kSide, {1}, Rect{2000, 775, 100, 200}, false},   // centre on the top edge of the visible frame
        {kSide, {1}, Rect{3310, 0, 100, 100}, false},     // centre on the right edge
        {kSide, {2, 3}, kFarAway, true},                  // no zone 1
        {"GONE", {1}, Rect{1920, 0, 1440, 875}, false},   // not connected
    };
    for (const auto& row : rows)
        EXPECT_EQ(displayLayouts->validateRegionFrames(row.display,
                                                       WMState(columns(row.display, row.area, row.ids))),
                  row.valid)
            << platform::describe(row.area);
}

TEST_F(DisplayLayoutsTest, changingTheActiveDisplayCarriesTheLastUsedZone) {
    ASSERT_TRUE(displayLayouts->setActiveDisplay(kMain, true));
    // The focus moves to zone 4 of another display; the side display has zones 5 and 3.
    place(*installState("OTHER", kSideFrame, {4}), 9, 4);
    displayLayouts->onWindowFocusSync(9);
    installState(kSide, kSideFrame, {5, 3});

    ASSERT_TRUE(displayLayouts->setActiveDisplay(kSide, true));
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().at(kMain), 4);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 3);

    // The display that is already active stores nothing for itself first; the callbacks are renewed.
    displayLayouts->onWindowFocusSync(9);
    ASSERT_TRUE(displayLayouts->setActiveDisplay(kSide, false));
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().at(kSide), 3);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 3);
    EXPECT_EQ(activations, 3);
    EXPECT_EQ(registrations, 2);
    EXPECT_FALSE(displayLayouts->setActiveDisplay(" \t", true));
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);
}

TEST_F(DisplayLayoutsTest, focusSyncRecordsTheZoneOfTheFirstDisplayThatMapsTheWindow) {
    place(*installState(kMain, kMainFrame, {1, 2}), 30, 1);
    auto sideState = installState(kSide, kSideFrame, {1, 2});
    place(*sideState, 21, 2);
    place(*sideState, 30, 2);

    displayLayouts->onWindowFocusSync(21);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 2);
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay(), (std::map<std::string, int>{{kSide, 2}}));
    displayLayouts->onWindowFocusSync(30);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 1);
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().at(kMain), 1);
    displayLayouts->onWindowFocusSync(99);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 1);
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().size(), 2u);

    // Asked without a window, the focused window's zone becomes the last used one.
    displayLayouts->updateLastUsedRegionFromFocus(); // nothing focused
    place(*sideState, openFocusedWindow(Rect{2700, 100, 600, 400}), 1);
    displayLayouts->updateLastUsedRegionFromFocus();
    EXPECT_EQ(displayLayouts->lastUsedRegionByDisplay().at(kSide), 1);
    EXPECT_EQ(displayLayouts->lastUsedRegion(), 1);
}

} // namespace

TEST_F(DisplayLayoutsTest, initialisingGivesEveryScreenAZoneStateEvenWhenItsWorkbenchNamesAMissingLayout) {
    addDisplay(kThird, Rect{-1440, 0, 1440, 900});
    addDisplay("DISPLAY-4", Rect{0, 1080, 1920, 1080});
    addUserLayouts({columnsLayout("layout.three", 3)});
    // In step with its selection: the state stays, stacks and all.
    auto mainState = installState(kMain, Rect{0, 0, 1920, 1055}, Ids{1, 2});
    place(*mainState, 21, 2);
    selection->lastByDisplay[kMain] = kBuiltinSplit5050ID;
    bench(kSide, "layout.three");
    bench(kThird, "layout.gone");

    displayLayouts->initializeAllDisplays();

    EXPECT_TRUE(logged("[app] Initializing all displays (4 connected)"));
    EXPECT_EQ(stateOf(kMain), mainState);
    EXPECT_EQ(mainState->zoneOf.at(21), 2);
    EXPECT_TRUE(logged("[app] Initializing display DISPLAY-2 from workbench (missing state)"));
    EXPECT_EQ(zonesOf(kSide), (Ids{1, 2, 3}));
    // The workbench's layout is gone: the display still gets zones, and its record waits for the layout.
    ASSERT_TRUE(stateOf(kThird));
    EXPECT_EQ(zonesOf(kThird), (Ids{1, 2}));
    EXPECT_EQ(workbenches->workbenches.at(kThird).activeTemplateID, "layout.gone");
    EXPECT_TRUE(logged("[app] Initializing background state for display DISPLAY-4 (default)"));
    EXPECT_EQ(zonesOf("DISPLAY-4"), (Ids{1, 2}));
    EXPECT_EQ(storedTemplate("DISPLAY-4"), kBuiltinSplit5050ID);
}
