// Scenario tests of moving the focus between and within zones: focusing a zone, the adjacent zone,
// cycling a stack (with the windows it has to drop on the way) and the plain focus request.
#include "core/ZoneOpsFixture.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

namespace korvane::testing {
namespace {

using platform::AXElement;

class NavigationTest : public ZoneOpsTest {
  protected:
    void SetUp() override {
        ZoneOpsTest::SetUp();
        multi->states[kDisplayA] = std::make_shared<WMState>(columns(kDisplayA, Rect{0, 0, 1440, 900}, 3));
        other =
            desktop->workspace().launch({.bundleID = "com.example.other", .name = "Other", .activate = true});
        loop().runUntilIdle();
    }

    std::optional<WindowID> focusedWindow() {
        auto window = controller->ax->focusedWindow();
        if (!window) return std::nullopt;
        return controller->ax->windowID(*window);
    }
    // Lets the activations that were started run to their end.
    void settle() { loop().advance(seconds(5)); }
    std::string cycleLine(int dir, std::optional<WindowID> oldTop, std::optional<WindowID> newTop) {
        return platform::format("Cycle region=1 dir=%d oldTop=%s newTop=%s", dir,
                                platform::describeOptional(oldTop), platform::describeOptional(newTop));
    }

    pid_t other = 0;
};

TEST_F(NavigationTest, focusZoneActivatesTheTopOfTheStack) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    openWindow(other, Rect{900, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, editor, 1);
    desktop->windows().focus(a);
    desktop->workspace().bringToFront(other);

    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: Attempting Z1 on DISPLAY-A (virtual mapping)"));
    EXPECT_TRUE(logged("FocusZone: Found top window %u in stack memory", b));
    settle();
    EXPECT_TRUE(logged("[AsyncActivation:FocusZone[Stack] Z1] Completed successfully"));
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, editor);
    EXPECT_EQ(focusedWindow(), b);
    EXPECT_EQ(focused, (std::vector<WindowID>{b}));
}

TEST_F(NavigationTest, focusZoneWithoutStateOrWindowReturnsFalse) {
    EXPECT_FALSE(controller->focusZone(1, "DISPLAY-X"));
    EXPECT_TRUE(logged("FocusZone: Missing state for DISPLAY-X"));
    EXPECT_FALSE(controller->focusZone(2, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: No window found in Z2 area on DISPLAY-A"));
    EXPECT_FALSE(controller->focusZone(7, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: No window found in Z7 area on DISPLAY-A"));
}

TEST_F(NavigationTest, focusZoneWhoseTopIsAnAuxiliaryWindowFindsNothing) {
    const auto doc = openWindow(editor, Rect{100, 100, 800, 600});
    const auto palette = openWindow(editor, Rect{950, 500, 200, 100},
                                    {.title = "", .subrole = std::nullopt, .focused = false, .main = false});
    desktop->windows().setTitle(palette, "");
    place(stateA(), doc, editor, 2);
    place(stateA(), palette, editor, 1);
    EXPECT_FALSE(controller->focusZone(1, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: No window found in Z1 area on DISPLAY-A"));
    EXPECT_FALSE(logged("Found top window"));
}

TEST_F(NavigationTest, focusedWindowOfTheZoneBecomesItsTopBeforeFocusing) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, editor, 1);
    desktop->windows().focus(a);
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{b, a}));
    EXPECT_TRUE(logged("FocusZone: Found top window %u in stack memory", a));
}

TEST_F(NavigationTest, adjacentFocusWrapsAtBothEnds) {
    const auto w1 = openWindow(editor, Rect{100, 100, 300, 300});
    const auto w3 = openWindow(editor, Rect{1000, 100, 300, 300});
    place(stateA(), w1, editor, 1);
    place(stateA(), w3, editor, 3);
    struct Row {
        std::optional<std::uint32_t> focus; // none: no application has a focused window
        int direction;
        const char* line;
    } rows[] = {
        {w3, +1, "FocusAdjacentZone: 3 -> 1 (dir=1)"},
        {w1, -1, "FocusAdjacentZone: 1 -> 3 (dir=-1)"},
        {w1, +1, "FocusAdjacentZone: 1 -> 2 (dir=1)"},
        {std::nullopt, +1, "FocusAdjacentZone: 1 -> 2 (dir=1)"},
        {w1, -7, "FocusAdjacentZone: 1 -> 3 (dir=-7)"},
        {w3, +4, "FocusAdjacentZone: 3 -> 1 (dir=4)"},
    };
    for (const auto& row : rows) {
        settle(); // the previous row's activation first, so that it cannot undo this row's focus
        if (row.focus)
            desktop->windows().focus(*row.focus);
        else
            desktop->workspace().bringToFront(other); // frontmost without any window
        logs.log().clear();
        controller->focusAdjacentZone(row.direction, kDisplayA);
        EXPECT_TRUE(logged(row.line)) << row.line;
        EXPECT_TRUE(logged("FocusZone: Attempting Z")) << row.line;
    }
}

TEST_F(NavigationTest, adjacentFocusDoesNothingForAStaleMappingOrAMissingState) {
    const auto w = openWindow(editor, Rect{100, 100, 300, 300});
    place(stateA(), w, editor, 1);
    stateA().zoneOf[w] = 9; // a zone the layout no longer has
    desktop->windows().focus(w);
    controller->focusAdjacentZone(1, kDisplayA);
    controller->focusAdjacentZone(1, "DISPLAY-X");
    EXPECT_FALSE(logged("FocusAdjacentZone"));
    EXPECT_FALSE(logged("FocusZone"));
}

TEST_F(NavigationTest, cyclingForwardAndBackwardGivesTheRotatedTops) {
    const auto a = openWindow(editor, Rect{900, 100, 300, 300});
    const auto b = openWindow(editor, Rect{800, 200, 300, 300});
    const auto c = openWindow(editor, Rect{700, 300, 300, 300});
    for (auto n : {a, b, c})
        controller->moveWindow(element(n), n, editor, 1, kDisplayA, "AutoPush rid=1",
                               MoveActivation::leaveFocus);
    ASSERT_EQ(stack(stateA(), 1), (std::vector<WindowID>{a, b, c}));

    struct Step {
        int direction;
        WindowID oldTop, newTop;
        std::vector<WindowID> stack;
    } steps[] = {
        {+1, c, a, {b, c, a}},
        {+1, a, b, {c, a, b}},
        {-1, b, a, {b, c, a}},
        {-1, a, c, {a, b, c}},
    };
    for (const auto& step : steps) {
        controller->cycle(1, kDisplayA, step.direction);
        EXPECT_TRUE(logged(cycleLine(step.direction, step.oldTop, step.newTop)))
            << cycleLine(step.direction, step.oldTop, step.newTop);
        EXPECT_EQ(stack(stateA(), 1), step.stack);
        settle();
        EXPECT_EQ(focusedWindow(), step.newTop);
    }
    EXPECT_EQ(loggedCount("[PointsOfInterest] begin CycleInZone"), 4u);
    EXPECT_EQ(loggedCount("[PointsOfInterest] end CycleInZone"), 4u);
    EXPECT_FALSE(logged("Cycle: unable to resolve"));
}

TEST_F(NavigationTest, cyclingASingleWindowBouncesAndAnEmptyStackOnlyLogs) {
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle region=1 dir=1 has empty stack"));
    EXPECT_TRUE(bounces.empty());

    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    place(stateA(), a, editor, 1);
    controller->cycle(1, kDisplayA, -1);
    EXPECT_TRUE(logged("Cycle region=1 dir=-1 has single window, nothing to cycle"));
    EXPECT_EQ(bounces, (std::vector<std::string>{kDisplayA}));

    controller->cycle(8, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle: Zone 8 not found!"));
    controller->cycle(1, "DISPLAY-X", 1);
    EXPECT_EQ(loggedCount("[PointsOfInterest] end CycleInZone"), 4u);
    EXPECT_FALSE(logged("[AsyncActivation"));
}

TEST_F(NavigationTest, cycleDetachesClosedWindowsOneRotationAtATimeAndActivatesTheSurvivor) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    const auto c = openWindow(editor, Rect{300, 100, 300, 300});
    for (auto n : {a, b, c})
        place(stateA(), n, editor, 1);
    desktop->windows().close(a);
    desktop->windows().close(b);
    // The application still runs, so pruning keeps windows whose frame it cannot read.
    controller->cycle(1, kDisplayA, 1);

    EXPECT_TRUE(
        logged(platform::format("Cycle: unable to resolve AX element for wid=%u; detaching from R1", a)));
    EXPECT_TRUE(
        logged(platform::format("Cycle: unable to resolve AX element for wid=%u; detaching from R1", b)));
    EXPECT_EQ(loggedCount("Cycle: Cached AX is invalid (pidResult=0, hasFrame=false), trying fresh lookup"),
              2u);
    EXPECT_TRUE(logged(cycleLine(1, c, c)));
    EXPECT_TRUE(
        logged(platform::format("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", a, b)));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_TRUE(stateA().wins.contains(a));
    EXPECT_TRUE(stateA().wins.contains(b));
    settle();
    EXPECT_EQ(focusedWindow(), c);
}

class CycleWithQuitApplicationTest : public NavigationTest {
  protected:
    void SetUp() override {
        NavigationTest::SetUp();
        viewer = desktop->workspace().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
        loop().runUntilIdle();
        a = openWindow(viewer, Rect{100, 100, 300, 300});
        b = openWindow(viewer, Rect{200, 100, 300, 300});
        c = openWindow(editor, Rect{300, 100, 300, 300});
        place(stateA(), a, viewer, 1);
        place(stateA(), b, viewer, 1);
        place(stateA(), c, editor, 1);
        desktop->workspace().quit(viewer);
        loop().runUntilIdle();
    }
    pid_t viewer = 0;
    WindowID a = 0, b = 0, c = 0;
};

TEST_F(CycleWithQuitApplicationTest, whilePruningIsSuppressedTheCycleDetachesTheGoneWindows) {
    controller->suppressPruneUntil = loop().wallClock() + seconds(8.0);
    controller->cycle(1, kDisplayA, 1);
    EXPECT_EQ(loggedCount("Prune: suppressed rid=1 until="), 1u);
    EXPECT_FALSE(logged("Prune: Removing"));
    EXPECT_TRUE(
        logged(platform::format("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", a, b)));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_TRUE(stateA().wins.contains(a));
    EXPECT_TRUE(stateA().wins.contains(b));
    EXPECT_TRUE(bounces.empty());
}

TEST_F(CycleWithQuitApplicationTest, withPruningActiveThePruneRemovesThemFirst) {
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Prune: Removing dead windows from region 1: [%u, %u]", a, b));
    EXPECT_FALSE(logged("Cycle: removed"));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_EQ(bounces, (std::vector<std::string>{kDisplayA}));
}

TEST_F(NavigationTest, cycleRecoversFromAStaleCachedElement) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, editor, 1);
    stateA().wins.at(a).ax = element(b); // the record holds another window's element
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(
        logged("Cycle: Cached AX - pidResult=0, cachedPid=%d, cachedWid=%u, cachedFrame=true", editor, b));
    EXPECT_TRUE(logged("Cycle: Cached AX points to wid=%u but expected %u", b, a));
    EXPECT_TRUE(logged(cycleLine(1, b, a)));
    settle();
    EXPECT_EQ(focusedWindow(), a);
}

TEST_F(NavigationTest, cycleLooksUpAWindowTheStateHasNoRecordFor) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto loose = openWindow(other, Rect{300, 300, 300, 300});
    place(stateA(), a, editor, 1);
    auto& zone = stateA().layout.zones.at(1);
    zone.stack.insert(zone.stack.begin(), loose);
    zone.active = 1;
    stateA().zoneOf[loose] = 1;

    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle: No cached ref for wid=%u, doing fresh lookup", loose));
    EXPECT_TRUE(logged(cycleLine(1, a, loose)));
    settle();
    EXPECT_EQ(focusedWindow(), loose);
}

TEST_F(NavigationTest, cycleSkipsAndDetachesAuxiliaryWindows) {
    const auto palette = openWindow(editor, Rect{950, 500, 200, 100},
                                    {.title = "", .subrole = std::nullopt, .focused = false, .main = false});
    desktop->windows().setTitle(palette, "");
    const auto doc = openWindow(editor, Rect{100, 100, 800, 600});
    place(stateA(), palette, editor, 1);
    place(stateA(), doc, editor, 1);

    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle: wid=%u classified as auxiliary; skip", palette));
    EXPECT_TRUE(logged(platform::format("Cycle: removed 1 invalid window(s) from R1. sample=[%u]", palette)));
    EXPECT_TRUE(logged(cycleLine(1, doc, doc)));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{doc}));
}

TEST_F(NavigationTest, cycleWithoutAnyResolvableWindowSaysSo) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, editor, 1);
    desktop->windows().close(a);
    desktop->windows().close(b);
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(
        logged(platform::format("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", a, b)));
    // The tops of the last rotation, which found b alone in the stack.
    EXPECT_TRUE(
        logged("Cycle region=1 dir=1 no resolvable window oldTop=Optional(%u) newTop=Optional(%u)", b, b));
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

TEST_F(NavigationTest, focusRequestActivatesTheGivenWindow) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    controller->focusFallback(element(a));
    settle();
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Completed successfully"));
    EXPECT_EQ(focusedWindow(), a);
}

} // namespace
} // namespace korvane::testing
