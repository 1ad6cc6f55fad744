// Waking from sleep on the simulated desktop, in virtual time, through the application object wired as
// start-up wires it: the recovery's steps on their schedule, a second wake replacing the first, windows put
// back into their remembered zones with the claims written once, a window pushed since the memory was
// written keeping the zone it was pushed to, and nothing pruned while windows may still be hidden.
#include "shell/AppDelegate.h"

#include "app/DisplayLayouts.h"
#include "app/LayoutMemory.h"
#include "app/WakeRecovery.h"
#include "app/WindowMappingRebuild.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/HotkeyPushActions.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutMemoryStore.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"
#include "tracking/WindowTracker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace korvane;
using ::testing::UnorderedElementsAre;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDisplay = "DISPLAY-1";
constexpr const char* kLayoutID = "builtin.split-50-50";
const Rect kScreen{0, 0, 1920, 1080};

class SystemWakeTest : public korvane::testing::SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        desktop->screens().addDisplay({.frame = kScreen, .name = "Built-in", .uuid = kDisplay});
        app = AppDelegate::create(*desktop);
        // What start-up does before a wake can be handled: the display's zones, the tracker, the probes,
        // and the did-wake observer.
        Layout layout{kDisplay, {}, {}};
        layout.zones[1] = Zone{1, Rect{0, 0, 960, 1080}, {}, 0};
        layout.zones[2] = Zone{2, Rect{960, 0, 960, 1080}, {}, 0};
        state = std::make_shared<WMState>(layout);
        app->multiState()->states[kDisplay] = state;
        app->multiState()->activeDisplayUUID = kDisplay;
        app->layoutMemory().setMemoryScope(kDisplay, kLayoutID);
        app->startDisplayLayoutProbeSubscription();
        wakeObserver = desktop->notifications().addObserver(
            platform::kDidWake, platform::NotificationCenter::Delivery::mainQueue,
            [weak = std::weak_ptr<AppDelegate>(app)](const std::string&, const nlohmann::json&) {
                if (auto self = weak.lock()) self->handleSystemWake();
            });
    }
    sim::SimRunLoop& loop() { return desktop->loop(); }
    pid_t launch(const std::string& bundleID) { return desktop->workspace().launch({.bundleID = bundleID}); }
    WindowID open(pid_t pid, const Rect& frame, WindowID number) {
        return desktop->windows().open(pid, {.frame = frame, .number = number});
    }
    void startTracking() {
        app->tracker()->startObserving();
        loop().runUntilIdle();
        loop().advance(seconds(10)); // long after the launches and any change of the screens
    }
    // The wake as the system announces it; returns the instant it was handled.
    Nanos wake() {
        desktop->simulateWake();
        loop().runUntilIdle();
        return loop().now();
    }
    void advanceTo(Nanos at) { loop().advance(at - loop().now()); }
    std::vector<WindowID> stack(int zone) const { return state->layout.zones.at(zone).stack; }
    std::size_t logged(std::string_view line) { return capture.log().count(line); }
    std::string token() const { return app->wakeRecovery().wakeRecoveryToken().value_or("none"); }

    sim::ScopedLogCapture capture;
    std::shared_ptr<AppDelegate> app;
    std::shared_ptr<WMState> state;
    std::unique_ptr<platform::ObserverToken> wakeObserver;
};

} // namespace

TEST_F(SystemWakeTest, aWakeRunsEveryStepOnItsScheduleUnderOneTokenAndPrunesNothing) {
    const pid_t editor = launch("com.example.editor");
    const WindowID shown = open(editor, Rect{100, 100, 600, 500}, 41);
    const WindowID hidden = open(editor, Rect{1100, 100, 600, 500}, 42);
    startTracking();
    for (auto [wid, zone] : {std::pair{shown, 1}, {hidden, 2}})
        state->attach(WinRef{wid, editor, {}, zone, std::nullopt}, zone);
    // The sleep hid one window for longer than any grace.
    desktop->windows().close(hidden);
    loop().advance(seconds(1));

    const Nanos wokeAt = wake();
    const std::string t = token();
    ASSERT_NE(t, "none");
    struct Step {
        double at; // seconds after the wake
        std::string line;
    };
    const Step steps[] = {
        {0.0, "[WakeRecovery] begin token=" + t +
                  " suppressRebuildPruneFor=1.80s suppressControllerPruneFor=8.00s"},
        {0.0, "[WakeRefresh] Complete, managed=1"},
        {0.0, "[SystemWake] WindowTracker refreshed, managed=1"},
        {0.0, "[WakeReplay] done reason=system-wake-0ms displays=1 total=1"},
        {0.0, "[RebuildMappings] reason=system-wake-0ms allowPrune=false tracked=2 pruned=0"},
        {0.15, "[RebuildMappings] reason=system-wake-150ms allowPrune=false tracked=2 pruned=0"},
        {0.25, "[WakeReplay] done reason=system-wake-250ms displays=1 total=1"},
        {0.45,
         "[RebuildMappings] reason=system-wake-450ms allowPrune=true effectiveAllowPrune=false tracked=2 "
         "pruned=0"},
        {0.5, "[SystemWake] Wake refresh scheduled in 500.0ms token=" + t},
        {0.75, "[DisplayChange] handle start reason=probe:system.wake:AppDelegate+Display.handleSystemWake"},
        {0.8, "[WakeReplay] done reason=system-wake-800ms displays=1 total=1"},
        {1.8, "[WakeRecovery] end token=" + t + " reason=timer"},
        {1.8, "[RebuildMappings] reason=system-wake-final:timer allowPrune=true tracked=2 pruned=0"},
    };
    EXPECT_TRUE(app->wakeRecovery().wakeRecoveryInProgress());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.line);
        const Nanos due = wokeAt + seconds(step.at);
        if (loop().now() < due) {
            advanceTo(due - 1);
            EXPECT_EQ(logged(step.line), 0u) << "early";
            advanceTo(due);
        }
        EXPECT_EQ(logged(step.line), 1u);
    }
    EXPECT_EQ(logged("[SystemWake] AX connection prewarmed"), 1u);
    EXPECT_EQ(logged("[SystemWake] _NET_CLIENT_LIST_STACKING prewarmed"), 1u);
    EXPECT_FALSE(app->wakeRecovery().wakeRecoveryInProgress());
    EXPECT_EQ(app->wakeRecovery().wakeRecoveryToken(), std::nullopt);

    // The hidden window kept its place through every pass; the shown one is still on top of its zone.
    EXPECT_EQ(stack(1), std::vector<WindowID>{shown});
    EXPECT_EQ(stack(2), std::vector<WindowID>{hidden});
    EXPECT_EQ(state->zoneOf.at(hidden), 2);
}

// However far apart two wakes are, the first one's steps stop at the second wake and only its end step
// still speaks, to say its token is no longer the recovery's; the second runs whole and ends the recovery.
TEST_F(SystemWakeTest, aSecondWakeReplacesTheFirstsTokenAndPendingStepsAndEndsTheRecoveryItself) {
    const pid_t editor = launch("com.example.editor");
    open(editor, Rect{100, 100, 600, 500}, 41);
    startTracking();
    struct Row {
        double apart;
        // How often each delay's replay and mapping pass run over both wakes.
        std::size_t replays0, passes150, replays250, passes450, replays800, probes;
    };
    const Row rows[] = {
        {1.0, 2, 2, 2, 2, 2, 2},
        {0.2, 2, 2, 1, 1, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.apart);
        capture.log().clear();
        const Nanos first = wake();
        const std::string firstToken = token();
        advanceTo(first + seconds(row.apart));
        const Nanos second = wake();
        const std::string secondToken = token();
        EXPECT_NE(secondToken, firstToken);

        advanceTo(first + seconds(1.8));
        if (row.apart < 1.8) {
            EXPECT_EQ(logged("[WakeRecovery] end skipped token mismatch reason=timer"), 1u);
            EXPECT_TRUE(app->wakeRecovery().wakeRecoveryInProgress()) << "the second recovery goes on";
            EXPECT_EQ(logged("system-wake-final:timer"), 0u);
        }
        advanceTo(second + seconds(1.8) - 1);
        EXPECT_TRUE(app->wakeRecovery().wakeRecoveryInProgress());
        advanceTo(second + seconds(1.8));
        EXPECT_FALSE(app->wakeRecovery().wakeRecoveryInProgress());
        loop().advance(seconds(5));

        EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-0ms"), row.replays0);
        EXPECT_EQ(logged("[RebuildMappings] reason=system-wake-150ms"), row.passes150);
        EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-250ms"), row.replays250);
        EXPECT_EQ(logged("[RebuildMappings] reason=system-wake-450ms"), row.passes450);
        EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-800ms"), row.replays800);
        EXPECT_EQ(logged("[SystemWake] Wake refresh scheduled in 500.0ms"), row.probes);
        EXPECT_EQ(logged("[WakeRecovery] end token=" + firstToken), 0u);
        EXPECT_EQ(logged("[WakeRecovery] end token=" + secondToken + " reason=timer"), 1u);
        EXPECT_EQ(logged("[RebuildMappings] reason=system-wake-final:timer"), 1u);
    }
}

TEST_F(SystemWakeTest, rememberedSlotsTakeTheirWindowsBackAndTheClaimsAreWrittenOnceForTheWholeRecovery) {
    RegionSlots remembered{{1, {"com.a", "com.a"}}, {2, {"com.b"}}};
    app->layoutMemory().layoutMemory().map[LayoutMemoryStore::keyString(kDisplay, kLayoutID)] =
        LayoutMemoryEntry{remembered};
    const pid_t a = launch("com.a");
    const pid_t b = launch("com.b");
    open(a, Rect{200, 300, 500, 400}, 11);  // in zone 1, near its centre
    open(a, Rect{1200, 300, 500, 400}, 12); // in zone 2, where com.a is not remembered
    open(a, Rect{20, 20, 300, 200}, 13);    // in zone 1, far from its centre
    open(b, Rect{100, 600, 500, 400}, 21);  // in zone 1, remembered for zone 2 only
    startTracking();
    const fs::path file = home / "layout-memory.json";
    ASSERT_FALSE(fs::exists(file));

    const Nanos wokeAt = wake();
    EXPECT_THAT(stack(1), UnorderedElementsAre(11u, 13u));
    EXPECT_TRUE(stack(2).empty());
    EXPECT_FALSE(state->zoneOf.contains(12));
    EXPECT_FALSE(state->zoneOf.contains(21));

    ASSERT_TRUE(fs::exists(file));
    const auto claims = LayoutMemoryStore::fromJSON(nlohmann::json::parse(read(file)))
                            .slotClaimSnapshots(kDisplay, kLayoutID);
    ASSERT_EQ(claims.size(), 2u);
    const std::string slots[] = {"DISPLAY-1:r1:s0:com.a", "DISPLAY-1:r1:s1:com.a"};
    for (std::size_t i = 0; i < claims.size(); ++i) {
        EXPECT_EQ(claims[i].slotID, slots[i]);
        EXPECT_EQ(claims[i].source, "wake.replay");
    }

    // The later replays make the same placements: they write nothing.
    fs::remove(file);
    advanceTo(wokeAt + seconds(0.25));
    EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-250ms displays=1 total=2"), 1u);
    advanceTo(wokeAt + seconds(2.0));
    EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-800ms displays=1 total=2"), 1u);
    EXPECT_FALSE(fs::exists(file));
}

// One terminal in zone 1 and three in zone 2, the first moved onto the other monitor during the sleep: it
// is not moved back and leaves zone 1, whose remembered slot takes none of the terminals lying in zone 2;
// each zone holds the windows lying in it.
TEST_F(SystemWakeTest, aRememberedSlotTakesOnlyAWindowLyingInItsZoneAndAWindowMovedAwayLeavesIt) {
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1920, 1080}, .name = "Side", .uuid = "DISPLAY-2"});
    app->layoutMemory().layoutMemory().map[LayoutMemoryStore::keyString(kDisplay, kLayoutID)] =
        LayoutMemoryEntry{RegionSlots{{1, {"com.term"}}, {2, {"com.term", "com.term", "com.term"}}}};
    const pid_t term = launch("com.term");
    const WindowID moved = open(term, Rect{200, 300, 500, 400}, 11);
    const std::vector<WindowID> right = {open(term, Rect{1000, 100, 500, 400}, 21),
                                         open(term, Rect{1100, 300, 500, 400}, 22),
                                         open(term, Rect{1200, 500, 500, 400}, 23)};
    startTracking();
    state->attach(WinRef{moved, term, {}, 1, std::nullopt}, 1);
    for (WindowID wid : right)
        state->attach(WinRef{wid, term, {}, 2, std::nullopt}, 2);

    desktop->windows().setFrame(moved, Rect{2200, 300, 500, 400});
    const Nanos wokeAt = wake();
    advanceTo(wokeAt + seconds(2));
    EXPECT_EQ(desktop->windows().frame(moved), Rect(2200, 300, 500, 400));
    EXPECT_TRUE(stack(1).empty());
    EXPECT_FALSE(state->zoneOf.contains(moved));
    EXPECT_THAT(stack(2), UnorderedElementsAre(21u, 22u, 23u));
}

// The layout memory holds the window in zone 1 from the last time the layout was applied; pushed to
// zone 2 since, the window stays there through a wake, in the zone model as on screen.
TEST_F(SystemWakeTest, aWindowPushedToAnotherZoneSinceTheMemoryWasWrittenKeepsThatZoneThroughAWake) {
    const pid_t a = launch("com.a");
    const WindowID notes = open(a, Rect{200, 300, 500, 400}, 11);
    desktop->workspace().bringToFront(a);
    startTracking();
    auto applyLayout = [&] {
        app->displayLayouts().applyRegionSet(builtinSplit5050Layout(), std::string(kDisplay), true);
        state = app->multiState()->states.at(kDisplay);
    };
    applyLayout();
    app->pushActions().handlePushRegionHotkey(1);
    loop().advance(seconds(1));
    applyLayout(); // writes the window down in zone 1 and takes it back there
    ASSERT_EQ(stack(1), std::vector<WindowID>{notes});
    app->pushActions().handlePushRegionHotkey(2);
    loop().advance(seconds(1));
    ASSERT_EQ(stack(2), std::vector<WindowID>{notes});

    const Nanos wokeAt = wake();
    advanceTo(wokeAt + seconds(2));
    // The last replay has run and placed the window.
    EXPECT_EQ(logged("[WakeReplay] done reason=system-wake-800ms displays=1 total=1"), 1u);
    EXPECT_EQ(state->zoneOf.at(notes), 2);
    EXPECT_EQ(stack(2), std::vector<WindowID>{notes});
    EXPECT_TRUE(stack(1).empty());
}

// The controller leaves zone stacks alone until 8.0 s after the latest wake, although the recovery
// itself ends 1.8 s after it.
TEST_F(SystemWakeTest, theControllerPrunesNothingUntilEightSecondsAfterTheLatestWake) {
    const pid_t editor = launch("com.example.editor");
    const WindowID shown = open(editor, Rect{100, 100, 600, 500}, 41);
    startTracking();
    state->attach(WinRef{shown, editor, {}, 1, std::nullopt}, 1);
    for (auto [after, kept] : {std::pair{7.9, true}, {8.0, false}}) {
        SCOPED_TRACE(after);
        state->attach(WinRef{77, editor, {}, 1, std::nullopt}, 1); // no such window any more
        wake();
        loop().advance(seconds(3));
        const Nanos latest = wake();
        advanceTo(latest + seconds(after));
        app->controller()->prune(1, *state);
        const auto s = stack(1);
        EXPECT_EQ(std::find(s.begin(), s.end(), 77u) != s.end(), kept);
    }
}

// A wake forgets when each missing window was first missed: the grace of the window below starts over
// after the recovery, so it is kept at a moment it would otherwise have gone, and goes a grace later.
TEST_F(SystemWakeTest, aWakeStartsTheGraceOfEveryMissingWindowAfresh) {
    const pid_t editor = launch("com.example.editor");
    open(editor, Rect{100, 100, 600, 500}, 41);
    startTracking();
    state->attach(WinRef{77, editor, {}, 1, std::nullopt}, 1); // missing from now on
    const Nanos missedAt = loop().now();
    app->rebuildWindowRegionMappings(true, "display-change:test");
    ASSERT_EQ(app->windowMappingRebuild().missingWindowFirstSeenAt().size(), 1u);

    advanceTo(missedAt + seconds(5));
    wake();
    EXPECT_TRUE(app->windowMappingRebuild().missingWindowFirstSeenAt().empty());
    advanceTo(missedAt + seconds(8.5)); // the recovery has ended; the first rebuild since dates it anew
    app->rebuildWindowRegionMappings(true, "display-change:test");
    EXPECT_TRUE(state->zoneOf.contains(77));
    advanceTo(missedAt + seconds(16.5));
    app->rebuildWindowRegionMappings(true, "display-change:test");
    EXPECT_FALSE(state->zoneOf.contains(77));
}

TEST_F(SystemWakeTest, stepsStillPendingWhenTheApplicationHasGoneDoNothingButTheWarmUps) {
    const pid_t editor = launch("com.example.editor");
    open(editor, Rect{100, 100, 600, 500}, 41);
    startTracking();
    app->handleSystemWake();
    app.reset();
    loop().advance(seconds(3));
    EXPECT_EQ(logged("[SystemWake] AX connection prewarmed"), 1u);
    EXPECT_EQ(logged("[SystemWake] _NET_CLIENT_LIST_STACKING prewarmed"), 1u);
    for (const char* quiet :
         {"[WakeReplay]", "[RebuildMappings]", "[SystemWake] Wake refresh", "[WakeRecovery] end"})
        EXPECT_EQ(logged(quiet), 0u) << quiet;
}
