// Scenario tests of moving the focus between and within zones: focusing a zone, the adjacent zone,
// cycling a stack (with the windows it has to drop on the way) and the plain focus request.
#include "core/WMControllerFixture.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

namespace korvane::testing {
namespace {

using platform::AXElement;

class NavigationTest : public WMControllerTest {
  protected:
    void SetUp() override {
        WMControllerTest::SetUp();
        multi->states[kDisplayA] = std::make_shared<WMState>(columns(kDisplayA, Rect{0, 0, 1440, 900}, 3));
        other =
            desktop->workspace().launch({.bundleID = "com.example.other", .name = "Other", .activate = true});
        loop().runUntilIdle();
    }

    // Windows of the editor placed in zone 1 in the given order.
    std::vector<std::uint32_t> stackOfNew(int count) {
        std::vector<std::uint32_t> out;
        for (int i = 0; i < count; ++i) {
            out.push_back(openWindow(editor, Rect{100.0 + 100 * i, 100, 300, 300}));
            place(stateA(), out.back(), editor, 1);
        }
        return out;
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
    const auto ab = stackOfNew(2);
    openWindow(other, Rect{900, 100, 300, 300});
    desktop->windows().focus(ab[0]);
    desktop->workspace().bringToFront(other);

    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    settle();
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, editor);
    EXPECT_EQ(focusedWindow(), ab[1]);
    EXPECT_EQ(focused, (std::vector<WindowID>{ab[1]}));

    // A focused window of the zone becomes its top first.
    desktop->windows().focus(ab[0]);
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{ab[1], ab[0]}));
}

TEST_F(NavigationTest, focusZoneWithoutStateOrActivatableTopReturnsFalse) {
    EXPECT_FALSE(controller->focusZone(1, "DISPLAY-X"));
    EXPECT_FALSE(controller->focusZone(2, kDisplayA));
    EXPECT_FALSE(controller->focusZone(7, kDisplayA));
    // An auxiliary window on top is not activated.
    place(stateA(), openWindow(editor, Rect{100, 100, 800, 600}), editor, 2);
    place(stateA(), openPalette(editor), editor, 1);
    EXPECT_FALSE(controller->focusZone(1, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: No window found in Z1 area on DISPLAY-A"));
    settle();
    EXPECT_FALSE(logged("[AsyncActivation"));
}

TEST_F(NavigationTest, focusZoneLooksTheTopUpAfreshWhenItsElementReportsAnotherNumber) {
    const auto a = stackOfNew(1)[0];
    openWindow(editor, Rect{900, 100, 300, 300}); // takes the editor's focus
    desktop->windows().renumber(a, 4242);
    stateA().wins[4242] = WinRef{4242, editor, AXElement{AXElement::Kind::window, editor, 987654321}, {}, {}};
    stateA().layout.zones.at(1).stack = {4242};
    stateA().zoneOf[4242] = 1;
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    settle();
    EXPECT_EQ(focusedWindow(), 4242u);
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
    const auto w = stackOfNew(1)[0];
    stateA().zoneOf[w] = 9; // a zone the layout no longer has
    desktop->windows().focus(w);
    controller->focusAdjacentZone(1, kDisplayA);
    controller->focusAdjacentZone(1, "DISPLAY-X");
    EXPECT_FALSE(logged("FocusZone"));
}

TEST_F(NavigationTest, cyclingForwardAndBackwardGivesTheRotatedTops) {
    const auto abc = stackOfNew(3);
    const WindowID a = abc[0], b = abc[1], c = abc[2];
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
        EXPECT_TRUE(logged(cycleLine(step.direction, step.oldTop, step.newTop)));
        EXPECT_EQ(stack(stateA(), 1), step.stack);
        settle();
        EXPECT_EQ(focusedWindow(), step.newTop);
    }
}

TEST_F(NavigationTest, cyclingASingleWindowBouncesAndAnEmptyStackOrMissingZoneDoesNothing) {
    controller->cycle(1, kDisplayA, 1);
    controller->cycle(8, kDisplayA, 1);
    controller->cycle(1, "DISPLAY-X", 1);
    EXPECT_TRUE(bounces.empty());
    place(stateA(), openWindow(editor, Rect{100, 100, 300, 300}), editor, 1);
    controller->cycle(1, kDisplayA, -1);
    EXPECT_EQ(bounces, (std::vector<std::string>{kDisplayA}));
    settle();
    EXPECT_FALSE(logged("[AsyncActivation"));
}

TEST_F(NavigationTest, cycleDetachesClosedWindowsOneRotationAtATimeAndActivatesTheSurvivor) {
    const auto abc = stackOfNew(3);
    desktop->windows().close(abc[0]);
    desktop->windows().close(abc[1]);
    // The application still runs, so pruning keeps windows whose frame it cannot read.
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", abc[0], abc[1]));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{abc[2]}));
    EXPECT_TRUE(stateA().wins.contains(abc[0]));
    settle();
    EXPECT_EQ(focusedWindow(), abc[2]);

    // With none left, the last rotation's tops are reported.
    const auto d = stackOfNew(1)[0];
    desktop->windows().close(abc[2]);
    desktop->windows().close(d);
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle region=1 dir=1 no resolvable window"));
    EXPECT_TRUE(stack(stateA(), 1).empty());
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
    EXPECT_FALSE(logged("Prune: Removing"));
    EXPECT_TRUE(logged("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", a, b));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_TRUE(bounces.empty());
}

TEST_F(CycleWithQuitApplicationTest, withPruningActiveThePruneRemovesThemFirst) {
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Prune: Removing dead windows from region 1: [%u, %u]", a, b));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_EQ(bounces, (std::vector<std::string>{kDisplayA}));
}

TEST_F(NavigationTest, cycleResolvesTheNewTopStrictlyByItsNumber) {
    // The record holds another window's element.
    const auto ab = stackOfNew(2);
    stateA().wins.at(ab[0]).ax = element(ab[1]);
    controller->cycle(1, kDisplayA, 1);
    settle();
    EXPECT_EQ(focusedWindow(), ab[0]);

    // The state has no record at all for a window of another application in the stack.
    const auto loose = openWindow(other, Rect{300, 300, 300, 300});
    auto& zone = stateA().layout.zones.at(1);
    zone.stack.insert(zone.stack.begin(), loose);
    zone.active = 2;
    stateA().zoneOf[loose] = 1;
    controller->cycle(1, kDisplayA, 1);
    settle();
    EXPECT_EQ(focusedWindow(), loose);
}

TEST_F(NavigationTest, cycleSkipsAndDetachesAuxiliaryWindows) {
    const auto palette = openPalette(editor);
    const auto doc = openWindow(editor, Rect{100, 100, 800, 600});
    place(stateA(), palette, editor, 1);
    place(stateA(), doc, editor, 1);
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged(cycleLine(1, doc, doc)));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{doc}));
}

TEST_F(NavigationTest, anActivationStillRunningWhenTheControllerGoesReportsNoFocus) {
    stackOfNew(1);
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    loop().advance(milliseconds(10)); // the request is in its pause after the raise
    controller.reset();
    settle();
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, editor);
    EXPECT_TRUE(focused.empty());
}

TEST_F(NavigationTest, focusRequestActivatesTheGivenWindow) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    controller->focusFallback(element(a));
    settle();
    EXPECT_EQ(focusedWindow(), a);
}

} // namespace
} // namespace korvane::testing
