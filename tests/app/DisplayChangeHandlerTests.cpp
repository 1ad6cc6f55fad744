// Following display changes on the simulated desktop, in virtual time: probes debounced and held back
// while the screens settle, the window list is empty or a menu is open; forced probes; the pass with its
// epochs and rebuild; zones resynced by template or rebased, their windows placed again where the visible
// frame no longer holds them; stacks kept across a display's absence.
#include "DisplayFixture.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayObserver.h"
#include "app/WindowMappingRebuild.h"
#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace korvane;
using korvane::testing::DisplayTest;
using Stack = std::vector<WindowID>;

namespace {

constexpr const char* kMain = "9A1B2C3D-0000-4000-8000-000000000002";
constexpr const char* kSide = "37D8A1C2-0000-4000-8000-000000000001";
const Rect kMainFrame{0, 0, 1512, 982};
const Rect kMainVisible{0, 0, 1512, 949};
const Rect kSideFrame{1512, 0, 1920, 1080};

class DisplayChangeHandlerTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, kMainFrame, kMainVisible);
        side = addDisplay(kSide, kSideFrame, Rect{1512, 0, 1920, 1055});
        loop().runUntilIdle();
        observer->start();
        handler = DisplayChangeHandler::create(*desktop,
                                               {bus, observer, multiState, mapping, workbenches, selection,
                                                library, records, displayLayouts, rebuild, ax});
        handler->isMenuOpen = [this] { return menuOpen; };
        handler->forceCancelMenu = [this] { menuOpen = false; };
        handler->startDisplayLayoutProbeSubscription();
        editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        desktop->windows().open(editor, {.frame = Rect{100, 100, 400, 300}}); // the list is not empty
        loop().advance(seconds(10));                                          // the screens have long settled
    }
    sim::SimRunLoop& loop() { return desktop->loop(); }
    void probe(const std::string& source, DisplayLayoutProbeReason reason = DisplayLayoutProbeReason::manual,
               bool force = false) {
        bus->publish(DisplayLayoutProbeEvent{reason, source, force, std::nullopt});
    }
    void changeScreens() {
        desktop->screens().setVisibleFrame(side, Rect{1512, 0, 1920, 1055.0 - (++changes % 2)});
        loop().runUntilIdle();
    }
    std::size_t passes() { return capture.log().count("[DisplayChange] handle start"); }
    // No pass until just before `wait` from now, one exactly then.
    ::testing::AssertionResult onePassAfter(Nanos wait) {
        const auto before = passes();
        loop().advance(wait - 1);
        if (passes() != before) return ::testing::AssertionFailure() << "a pass ran early";
        loop().advance(1);
        if (passes() != before + 1) return ::testing::AssertionFailure() << "no pass on time";
        return ::testing::AssertionSuccess();
    }

    std::shared_ptr<DisplayLayoutEventBus> bus = DisplayLayoutEventBus::create(*desktop);
    std::shared_ptr<DisplayObserver> observer = std::make_shared<DisplayObserver>(*desktop);
    std::shared_ptr<WindowMappingRebuild> rebuild =
        std::make_shared<WindowMappingRebuild>(*desktop, multiState, memory);
    std::shared_ptr<DisplayChangeHandler> handler;
    int side = 0;
    int changes = 0;
    bool menuOpen = false;
    pid_t editor = 0;
};

TEST_F(DisplayChangeHandlerTest,
       aProbeAtAScreenChangeWaitsForTheScreensToSettleThenOnePassSyncsEveryDisplay) {
    changeScreens();
    probe("DisplayObserver.notification", DisplayLayoutProbeReason::topologyChanged);
    const std::string reason = "probe:topology.changed:DisplayObserver.notification";
    loop().advance(milliseconds(250));
    EXPECT_TRUE(logged("[DisplayChange] defer reason=" + reason + " unstableFor=0.25s wait=0.35s"));
    EXPECT_TRUE(onePassAfter(milliseconds(350))) << "0.25 + 0.35 s is the settle window, not a hair short";
    EXPECT_EQ(capture.log().count("[DisplayChange] defer"), 1u);

    EXPECT_TRUE(logged("[DisplayChange] topology changed reason=" + reason +
                       " screens=2 summary=37D8A1@(1512,0 1920x1054); 9A1B2C@(0,0 1512x949)"));
    EXPECT_EQ(mapping->currentEpoch(kMain), 1);
    EXPECT_EQ(mapping->currentEpoch(kSide), 1);
    EXPECT_TRUE(stateOf(kMain) && stateOf(kSide)) << "every display has its zones";
    EXPECT_TRUE(logged("Auto-apply on display change is disabled; state synced but layout migration skipped "
                       "for reason=" +
                       reason));
    EXPECT_TRUE(logged("[RebuildMappings] reason=display-change:" + reason + " allowPrune=true"));
    EXPECT_EQ(handler->availableDisplayUUIDs(), (std::vector<std::string>{kSide, kMain}));

    // The same arrangement again is no topology change.
    capture.log().clear();
    handler->handleDisplayChange("manual-check");
    EXPECT_FALSE(logged("topology changed"));
    EXPECT_FALSE(logged("[DisplayReconcile]"));
}

TEST_F(DisplayChangeHandlerTest, probesWithinTheDebounceRunOnePassWithTheLastReason) {
    probe("first");
    loop().advance(milliseconds(100));
    probe("second");
    loop().advance(milliseconds(100));
    probe("third");
    EXPECT_TRUE(onePassAfter(milliseconds(250)));
    EXPECT_TRUE(logged("[DisplayChange] handle start reason=probe:manual:third"));
    loop().advance(seconds(5));
    EXPECT_EQ(passes(), 1u);
}

TEST_F(DisplayChangeHandlerTest, aPassWaitsWhileTheScreensSettleTheWindowListIsEmptyOrAMenuIsOpen) {
    struct Row {
        const char* name;
        std::function<void()> before; // just before the probe
        std::function<void()> after;  // 0.8 s after the probe
        const char* line;
        Nanos passAt; // from the probe
    };
    const Row rows[] = {
        {"a change 0.45 s before the timer fires",
         [&] {
             changeScreens();
             loop().advance(milliseconds(200));
         },
         [] {}, "unstableFor=0.45s wait=0.15s", milliseconds(400)},
        {"a change 0.58 s before the timer fires",
         [&] {
             changeScreens();
             loop().advance(milliseconds(330));
         },
         [] {}, "unstableFor=0.58s wait=0.05s", milliseconds(300)},
        {"an open menu", [&] { menuOpen = true; }, [&] { menuOpen = false; },
         "menuOpen=1 mode=default wait=0.30s", milliseconds(850)},
        {"no window on screen",
         [&] {
             desktop->windowServer().setShowsSystemEntries(false);
             desktop->windows().setMinimized(desktop->windows().frontToBack().front(), true);
         },
         [&] { desktop->windows().setMinimized(desktop->windows().frontToBack().front(), false); },
         "windowListEmpty=1 wait=0.35s", milliseconds(950)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        loop().advance(seconds(10));
        capture.log().clear();
        row.before();
        probe("test");
        loop().postAfter(milliseconds(800), row.after);
        EXPECT_TRUE(onePassAfter(row.passAt));
        EXPECT_TRUE(logged(row.line));
        desktop->windowServer().setShowsSystemEntries(true);
    }
}

// A desktop that really shows no window still has its zones follow its screens: the empty list holds a
// pass back for three seconds, not for ever, and nothing keeps waking the program afterwards.
TEST_F(DisplayChangeHandlerTest, aDesktopWithoutWindowsHasItsPassAfterThreeSecondsAndThenRests) {
    desktop->windowServer().setShowsSystemEntries(false);
    desktop->windows().setMinimized(desktop->windows().frontToBack().front(), true);
    capture.log().clear();
    probe("empty");
    // The 0.25 s debounce, then eight deferrals of 0.35 s; the ninth finding runs the pass.
    EXPECT_TRUE(onePassAfter(milliseconds(250 + 9 * 350)));
    EXPECT_TRUE(logged("window list still empty after 3.15s; handling reason=probe:manual:empty"));
    loop().runUntilIdle();
    EXPECT_EQ(loop().pendingCount(), 0u);
    EXPECT_EQ(passes(), 1u);
}

TEST_F(DisplayChangeHandlerTest, theTimerWaitsWhileAMenuTracksAndAForcedProbeRunsAtOnceLeavingItArmed) {
    std::optional<platform::EventTrackingScope> tracking;
    tracking.emplace(loop());
    probe("armed");
    loop().advance(seconds(2));
    EXPECT_EQ(passes(), 0u);

    menuOpen = true;
    desktop->windowServer().setShowsSystemEntries(false);
    desktop->windows().setMinimized(desktop->windows().frontToBack().front(), true);
    probe("DragSnapController.onBeforeSnap", DisplayLayoutProbeReason::dragSnap, true);
    EXPECT_EQ(passes(), 1u);
    EXPECT_TRUE(logged("handle start reason=probe.immediate:drag-snap:DragSnapController.onBeforeSnap"));
    EXPECT_FALSE(menuOpen) << "the pass closes the menu";

    desktop->windowServer().setShowsSystemEntries(true);
    tracking.reset();
    loop().runUntilIdle();
    EXPECT_EQ(passes(), 2u);
    EXPECT_TRUE(logged("[DisplayChange] fired reason=probe:manual:armed mode=default"));
}

// Zone bounds within 6 points of the visible frame on every edge are in step with the screen; others are
// rebuilt from the display's template, else rebased onto the visible frame, keeping stacks either way.
TEST_F(DisplayChangeHandlerTest, driftedZonesAreResyncedByTemplateElseRebasedAndKeepTheirStacks) {
    auto zonesOver = [](const std::vector<Rect>& frames) {
        Layout layout{kMain, {}, GridSpec{1, static_cast<int>(frames.size()), 0, 0}};
        for (std::size_t i = 0; i < frames.size(); ++i)
            layout.zones[int(i) + 1] = Zone{int(i) + 1, frames[i], {}, 0};
        return std::make_shared<WMState>(layout);
    };
    const auto mainScreen = *desktop->screens().mainScreen();
    struct Row {
        Rect bounds;
        bool drifted;
    };
    for (const Row row : {Row{{0, 0, 1512, 942}, true}, Row{{5, 5, 1502, 939}, false},
                          Row{{0, 0, 1512, 956}, true}, Row{{6, 0, 1506, 949}, false}}) {
        EXPECT_EQ(handler->displayStateDrifted(*zonesOver({row.bounds}), mainScreen), row.drifted)
            << platform::describe(row.bounds);
    }
    EXPECT_TRUE(handler->displayStateDrifted(*zonesOver({}), mainScreen));

    // By template: the workbench's layout, written back to a selection that named another.
    workbenches->workbenches[kMain] = DisplayWorkbench{kMain, kBuiltinSplit5050ID, std::nullopt};
    selection->lastByDisplay[kMain] = "builtin.columns";
    auto state = multiState->states[kMain] = zonesOver({{0, 0, 756, 942}, {756, 0, 756, 942}});
    place(*state, 41, 2);
    handler->reconcileDisplayStates("manual-check", false);
    EXPECT_FALSE(handler->displayStateDrifted(*state, mainScreen));
    EXPECT_EQ(state->layout.zones.at(2).stack, Stack{41});
    EXPECT_EQ(storedSelection(kMain), kBuiltinSplit5050ID);
    EXPECT_TRUE(logged("[DisplayReconcile] resynced by template display=" + std::string(kMain)));
    // The side display had no state: it gets one, and is not counted as checked.
    EXPECT_TRUE(logged("[DisplayReconcile] checked=1 repaired=1 topologyChanged=false reason=manual-check"));

    // By rebase: no template to build from.
    workbenches->workbenches.erase(kMain);
    selection->lastByDisplay.erase(kMain);
    state = multiState->states[kMain] = zonesOver({{0, 0, 500, 500}, {500, 0, 500, 500}});
    place(*state, 42, 2);
    auto rebased = handler->rebasedLayout(*state, kMain, Rect{100, 0, 2000, 1000});
    ASSERT_TRUE(rebased);
    EXPECT_EQ(rebased->zones.at(2).frame, (Rect{1100, 0, 1000, 1000}));
    EXPECT_EQ(rebased->zones.at(2).stack, Stack{42});
    handler->reconcileDisplayStates("manual-check", false);
    EXPECT_EQ(state->layout.zones.at(2).frame, (Rect{756, 0, 756, 949}));
    EXPECT_TRUE(logged("[DisplayReconcile] resynced by rebase display=" + std::string(kMain)));

    // Nothing to build from and nothing to rebase: the zones stay, and the failure is told.
    multiState->states[kMain] = zonesOver({});
    handler->reconcileDisplayStates("manual-check", false);
    EXPECT_TRUE(
        logged("[DisplayReconcile] resync failed display=" + std::string(kMain) + " reason=manual-check"));
    EXPECT_FALSE(handler->rebasedLayout(*zonesOver({{0, 0, 1, 500}}), kMain, kMainVisible));
}

// A strip that comes along a screen's top (a panel's, the corner button's) over a zone's window sends the
// window back into its zone, below the strip; a pass while the screens stay leaves a window where it was put,
// and so does the change for a zone's window that the strip leaves alone.
TEST_F(DisplayChangeHandlerTest, aZoneWindowReachingPastTheNewVisibleFrameIsPlacedAgainInItsZone) {
    handler->handleDisplayChange("manual-check");
    auto state = stateOf(kSide);
    const Rect reachingTheTop{2600, 800, 400, 280};
    const auto window = desktop->windows().open(editor, {.frame = reachingTheTop});
    state->attach(WinRef{window, editor, desktop->windows().element(window), std::nullopt, std::nullopt}, 2);
    const Rect belowTheStrip{1600, 100, 400, 300}; // made smaller than its zone by the user
    const auto clear = desktop->windows().open(editor, {.frame = belowTheStrip});
    state->attach(WinRef{clear, editor, desktop->windows().element(clear), std::nullopt, std::nullopt}, 1);
    probe("manual-check");
    loop().advance(seconds(1));
    EXPECT_EQ(desktop->windows().frame(window), reachingTheTop);

    desktop->screens().setVisibleFrame(side, Rect{1512, 0, 1920, 1025});
    loop().runUntilIdle();
    probe("DisplayObserver.notification", DisplayLayoutProbeReason::topologyChanged);
    loop().advance(seconds(1));
    EXPECT_EQ(state->layout.zones.at(2).frame, (Rect{2472, 0, 960, 1025}));
    EXPECT_EQ(desktop->windows().frame(window), state->layout.zones.at(2).frame);
    EXPECT_EQ(desktop->windows().frame(clear), belowTheStrip);
}

// The window manager takes its time over each move: the pass asks for them and ends at once, the keys
// being served meanwhile, and the windows come into their zone once it has moved them, its top in front.
TEST_F(DisplayChangeHandlerTest, windowsPlacedAgainAreMovedWithoutHoldingThePassUpAndKeepTheirZonesTop) {
    handler->handleDisplayChange("manual-check");
    auto state = stateOf(kSide);
    std::vector<WindowID> stack;
    for (const Rect& frame : {Rect{2600, 800, 400, 280}, Rect{2700, 780, 400, 300}}) {
        stack.push_back(desktop->windows().open(
            editor, {.frame = frame, .front = false, .movesAfter = milliseconds(300)}));
        state->attach(WinRef{stack.back(), editor, desktop->windows().element(stack.back()), std::nullopt,
                             std::nullopt},
                      2);
    }
    desktop->screens().setVisibleFrame(side, Rect{1512, 0, 1920, 1025});
    loop().runUntilIdle();

    const Nanos asked = loop().now();
    probe("DisplayObserver.notification", DisplayLayoutProbeReason::topologyChanged, true);
    EXPECT_EQ(loop().now(), asked);
    EXPECT_EQ(capture.log().count("[DisplayReconcile] placed again wid="), 2u);
    const Rect zone = state->layout.zones.at(2).frame;
    EXPECT_NE(desktop->windows().frame(stack[0]), zone);

    loop().advance(seconds(1));
    EXPECT_EQ(desktop->windows().frame(stack[0]), zone);
    EXPECT_EQ(desktop->windows().frame(stack[1]), zone);
    const auto order = desktop->windows().frontToBack();
    EXPECT_EQ(std::vector<WindowID>(order.begin(), order.begin() + 2),
              (std::vector<WindowID>{stack[1], stack[0]}));
}

TEST_F(DisplayChangeHandlerTest, aDisplayRemovedAndAttachedAgainKeepsItsStacksWhereItsWindowsStillAre) {
    handler->handleDisplayChange("manual-check");
    auto sideState = stateOf(kSide);
    const Rect sideVisible{1512, 0, 1920, 1055};
    const auto left = desktop->windows().open(editor, {.frame = Rect{1600, 100, 400, 300}});
    const auto right = desktop->windows().open(editor, {.frame = Rect{2600, 100, 400, 300}});
    place(*sideState, left, 1);
    place(*sideState, right, 2);
    const auto stacks = sideState->layout.zones;

    for (bool attached : {false, true}) {
        SCOPED_TRACE(attached);
        if (attached)
            side = addDisplay(kSide, kSideFrame, sideVisible);
        else
            desktop->screens().removeDisplay(side);
        loop().runUntilIdle();
        probe("DisplayObserver.notification", DisplayLayoutProbeReason::topologyChanged);
        loop().advance(seconds(20)); // long past any grace
        EXPECT_EQ(stateOf(kSide), sideState);
        EXPECT_EQ(sideState->layout.zones.at(1).stack, Stack{left});
        EXPECT_EQ(sideState->layout.zones.at(2).stack, Stack{right});
        EXPECT_EQ(handler->availableDisplayUUIDs().size(), attached ? 2u : 1u);
    }
    EXPECT_EQ(passes(), 3u);
    EXPECT_EQ(sideState->layout.zones, stacks) << "the zones match the frame again, stacks and all";
}

} // namespace
