// Scenario tests of placing windows into zones: stacking, the frame check after the blocking wait, the
// late mapping of windows whose number appears after the move, the synchronous application activation
// and the swap push.
#include "core/ZoneOpsFixture.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

namespace korvane::testing {
namespace {

using platform::AXElement;

class PlacementTest : public ZoneOpsTest {
  protected:
    void push(std::uint32_t n, int zone, const std::string& tag, bool activate = false) {
        controller->moveWindow(element(n), n, editor, zone, kDisplayA, tag,
                               activate ? MoveActivation::activate : MoveActivation::leaveFocus);
    }
    // How many times the application was asked to resize the window: twice per frame set.
    std::size_t sizeWrites(std::uint32_t n) {
        std::size_t count = 0;
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == element(n) && call.kind == "set" && call.name == "AXSize") ++count;
        return count;
    }
};

TEST_F(PlacementTest, threeWindowsPushedIntoOneZoneStackInOrderAndTakeTheZoneFrame) {
    const auto a = openWindow(editor, Rect{900, 100, 300, 300});
    const auto b = openWindow(editor, Rect{800, 200, 400, 300});
    const auto c = openWindow(editor, Rect{700, 300, 500, 300});
    const Nanos start = loop().now();

    push(a, 1, "AutoPush rid=1");
    push(b, 1, "AutoPush rid=1");
    push(c, 1, "AutoPush rid=1");

    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{a, b, c}));
    EXPECT_EQ(stateA().zone(1)->active, 2);
    for (auto n : {a, b, c}) {
        EXPECT_EQ(desktop->windows().frame(n), (Rect{0, 0, 720, 900}));
        EXPECT_EQ(stateA().zoneOf.at(n), 1);
        EXPECT_EQ(loggedCount(
                      platform::format("AutoPush rid=1: moved wid=%u to frame=(0.0, 0.0, 720.0, 900.0)", n)),
                  1u);
    }
    EXPECT_EQ(moves, (std::vector<std::pair<WindowID, int>>{{a, 1}, {b, 1}, {c, 1}}));
    // Each move waited 50 ms on the calling thread before checking the frame.
    EXPECT_EQ(loop().now() - start, milliseconds(150));
    // The windows were mapped before the call returned: no reconcile is left to run.
    loop().advance(seconds(2));
    EXPECT_FALSE(logged("reconciled"));
    EXPECT_EQ(moves.size(), 3u);
}

TEST_F(PlacementTest, unknownDisplayOrZoneMovesNothing) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    controller->moveWindow(element(a), a, editor, 1, "NO-SUCH-DISPLAY", "T", MoveActivation::leaveFocus);
    controller->moveWindow(element(a), a, editor, 9, kDisplayA, "T", MoveActivation::leaveFocus);
    EXPECT_TRUE(logged("State not found for display NO-SUCH-DISPLAY"));
    EXPECT_TRUE(logged("Zone not found id=9 on display DISPLAY-A"));
    EXPECT_EQ(desktop->windows().frame(a), (Rect{100, 100, 300, 300}));
    EXPECT_TRUE(stateA().zoneOf.empty());
    EXPECT_TRUE(moves.empty());
}

// Bottom half of a top/bottom layout: the move keeps a window that refuses the height on the bottom
// edge, and the frame check sets the frame again only when a side is off by more than 2.0 points.
TEST_F(PlacementTest, frameIsSetAgainOnlyWhenOffByMoreThanTwoPoints) {
    stateA().layout.zones = {{1, Zone{1, Rect{0, 450, 1440, 450}, {}, 0}},
                             {2, Zone{2, Rect{0, 0, 1440, 450}, {}, 0}}};
    struct Row {
        double minHeight;
        std::size_t frameSets;
    } rows[] = {{451.5, 1}, {452.0, 1}, {452.5, 2}, {500.0, 2}};
    for (const auto& row : rows) {
        sim::SimWindowSpec traits;
        traits.minSize = Size{100, row.minHeight};
        const auto n = openWindow(editor, Rect{100, 500, 600, 600}, traits);
        desktop->accessibility().clearAXCallLog();
        push(n, 2, "AutoPush rid=2");
        EXPECT_EQ(sizeWrites(n), 2 * row.frameSets) << row.minHeight;
        // Corrected onto the bottom edge by the move itself, whatever its height.
        EXPECT_EQ(desktop->windows().frame(n), (Rect{0, 0, 1440, row.minHeight})) << row.minHeight;
        desktop->windows().close(n);
    }
    EXPECT_TRUE(logged("AX y corrected by -50.00 anchorBottom=true"));
}

TEST_F(PlacementTest, frameThatCannotBeReadAfterTheMoveIsSetAgain) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300});
    // The application stops answering while the move waits, so the frame check cannot read the frame.
    loop().onBlockingSleep = [&](Nanos, Nanos) {
        desktop->accessibility().scriptAXFailure(n, "AXPosition", {platform::AXError::cannotComplete});
    };
    desktop->accessibility().clearAXCallLog();
    push(n, 1, "AutoPush rid=1");
    loop().onBlockingSleep = nullptr;
    EXPECT_EQ(sizeWrites(n), 4u);
    EXPECT_EQ(desktop->windows().frame(n), (Rect{0, 0, 720, 900}));
}

TEST_F(PlacementTest, windowWhoseNumberAppearsLateIsMappedByTheReconcile) {
    const auto n =
        openWindow(editor, Rect{100, 100, 300, 300}, {.numberAppearsAt = loop().now() + milliseconds(300)});
    controller->moveWindow(element(n), std::nullopt, editor, 1, kDisplayA, "AutoPush rid=1",
                           MoveActivation::leaveFocus);

    EXPECT_TRUE(logged("AutoPush rid=1: moved window (no CGWindowID) frame=(0.0, 0.0, 720.0, 900.0)"));
    EXPECT_TRUE(logged("AutoPush rid=1: unable to attach after move (no CGWindowID)"));
    EXPECT_EQ(desktop->windows().frame(n), (Rect{0, 0, 720, 900}));
    EXPECT_TRUE(stateA().zoneOf.empty());
    EXPECT_TRUE(moves.empty());

    // Attempts run at 50 ms and every 0.12 s after: the fourth, at 410 ms, is the first to see the number.
    loop().advance(milliseconds(400 - 50 - 1));
    EXPECT_TRUE(stateA().zoneOf.empty());
    loop().advance(milliseconds(20));
    EXPECT_EQ(loggedCount("AutoPush rid=1: reconciled mapping wid=%u -> R1 attempt=4", n), 1u);
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{n}));
    EXPECT_EQ(moves, (std::vector<std::pair<WindowID, int>>{{n, 1}}));
    loop().advance(seconds(2));
    EXPECT_EQ(moves.size(), 1u);
    EXPECT_FALSE(logged("gave up"));
}

TEST_F(PlacementTest, reconcileGivesUpAfterEightAttempts) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300}, {.numberAppearsAt = seconds(3600)});
    controller->moveWindow(element(n), std::nullopt, editor, 1, kDisplayA, "AutoPush rid=1",
                           MoveActivation::leaveFocus);
    // The last attempt runs 7 x 0.12 s after the first.
    loop().advance(milliseconds(839));
    EXPECT_FALSE(logged("gave up"));
    loop().advance(milliseconds(2));
    EXPECT_EQ(loggedCount("AutoPush rid=1: reconcile mapping gave up after 8 attempts (no window id)"), 1u);
    loop().advance(seconds(5));
    EXPECT_EQ(loggedCount("gave up"), 1u);
    EXPECT_TRUE(stateA().zoneOf.empty());
    EXPECT_TRUE(moves.empty());
}

TEST_F(PlacementTest, numberReadableOnlyAfterTheMoveAttachesAtOnce) {
    const auto n =
        openWindow(editor, Rect{100, 100, 300, 300}, {.numberAppearsAt = loop().now() + milliseconds(20)});
    controller->moveWindow(element(n), std::nullopt, editor, 2, kDisplayA, "Drop",
                           MoveActivation::leaveFocus);
    EXPECT_EQ(loggedCount("Drop: attached after move wid=%u", n), 1u);
    EXPECT_EQ(stack(stateA(), 2), (std::vector<WindowID>{n}));
    EXPECT_EQ(moves, (std::vector<std::pair<WindowID, int>>{{n, 2}}));
    loop().advance(seconds(2));
    EXPECT_EQ(moves.size(), 1u);
}

TEST_F(PlacementTest, windowRenumberedDuringTheMoveIsMigratedInPlace) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    push(a, 1, "AutoPush rid=1");
    const WindowID renumbered = 9001;
    // The application gives b's element a new number while the move waits for the window to settle.
    loop().onBlockingSleep = [&](Nanos, Nanos) { desktop->windows().renumber(b, renumbered); };
    push(b, 1, "AutoPush rid=1");
    loop().onBlockingSleep = nullptr;

    EXPECT_EQ(loggedCount(
                  platform::format("AutoPush rid=1: reconciled wid migration %u->%u for R1", b, renumbered)),
              1u);
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{a, renumbered}));
    EXPECT_FALSE(stateA().zoneOf.contains(b));
    EXPECT_FALSE(stateA().wins.contains(b));
    EXPECT_EQ(stateA().zoneOf.at(renumbered), 1);
    EXPECT_EQ(moves, (std::vector<std::pair<WindowID, int>>{{a, 1}, {b, 1}, {renumbered, 1}}));
}

class SyncActivationTest : public PlacementTest {
  protected:
    bool called(std::uint32_t n, const char* kind, const char* name) {
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == element(n) && call.kind == kind && call.name == name) return true;
        return false;
    }
};

TEST_F(SyncActivationTest, hiddenApplicationIsUnhiddenActivatedWithAllWindowsAndTheWindowFocused) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300}, {.minimized = true});
    desktop->workspace().setHidden(editor, true);
    const Nanos start = loop().now();
    controller->activateApp(element(n), "T", true);

    // Un-minimising, raising and unhiding each pause 30 ms on the calling thread.
    EXPECT_EQ(loop().now() - start, milliseconds(90));
    EXPECT_TRUE(logged("T: Activating app com.example.editor (pid="));
    EXPECT_TRUE(logged("T: App is hidden, unhiding"));
    EXPECT_TRUE(logged("T: NSRunningApplication.activate returned true"));
    EXPECT_TRUE(logged("T: Final activation result=true"));
    ASSERT_EQ(desktop->workspace().activateCalls().size(), 1u);
    EXPECT_EQ(desktop->workspace().activateCalls()[0].options, unsigned(platform::kActivateAllWindows));
    EXPECT_FALSE(desktop->workspace().runningApplication(editor)->isHidden);
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, editor);
    EXPECT_TRUE(called(n, "set", "AXFocused"));
    EXPECT_EQ(focused, (std::vector<WindowID>{n}));
}

TEST_F(SyncActivationTest, refusedActivationWalksTheFallbacks) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300});
    desktop->workspace().setActivateOutcome(editor, sim::ActivationOutcome::refused());

    // The frontmost attribute takes: no second activation, no launch.
    controller->activateApp(element(n), "A", false);
    EXPECT_TRUE(logged("A: NSRunningApplication.activate returned false"));
    EXPECT_TRUE(logged("A: AX frontmost succeeded"));
    EXPECT_EQ(desktop->workspace().activateCalls().size(), 1u);
    EXPECT_EQ(desktop->workspace().activateCalls()[0].options, 0u);
    EXPECT_TRUE(logged("A: Final activation result=true"));

    // Nothing takes: the application is opened by its bundle identifier.
    desktop->accessibility().setAXFrontmostOutcome(editor, sim::ActivationOutcome::refused());
    controller->activateApp(element(n), "B", false);
    EXPECT_TRUE(logged("B: AX frontmost failed"));
    EXPECT_EQ(desktop->workspace().activateCalls().size(), 3u);
    EXPECT_TRUE(logged("B: Trying NSWorkspace.openApplication"));
    ASSERT_EQ(desktop->workspace().openCalls().size(), 1u);
    EXPECT_EQ(desktop->workspace().openCalls()[0].bundleID, "com.example.editor");
    EXPECT_TRUE(desktop->workspace().openCalls()[0].activates);
    EXPECT_TRUE(logged("B: Final activation result=true"));
    EXPECT_EQ(focused, (std::vector<WindowID>{n, n}));
}

TEST_F(SyncActivationTest, problematicApplicationIsAlsoActivatedByScript) {
    const pid_t browser = desktop->workspace().launch({.bundleID = "com.google.Chrome", .name = "Chrome"});
    loop().runUntilIdle();
    const auto n = openWindow(browser, Rect{100, 100, 300, 300});
    controller->activateApp(element(n), "P", true);
    EXPECT_TRUE(logged("P: NSRunningApplication.activate returned true"));
    EXPECT_TRUE(logged("P: Trying AppleScript activation for problematic app"));
    EXPECT_TRUE(logged("P: AppleScript activation succeeded"));
    EXPECT_EQ(desktop->workspace().scriptsRun().size(), 1u);
}

TEST_F(SyncActivationTest, windowOfAnExitedProcessIsStillRaisedAndFocusedWithoutCallback) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300});
    const AXElement window = element(n);
    desktop->workspace().quit(editor);
    loop().runUntilIdle();
    desktop->accessibility().clearAXCallLog();

    controller->activateApp(window, "X", true);
    EXPECT_TRUE(logged("X: could not find running application for pid=%d", editor));
    EXPECT_FALSE(logged("X: Final activation result"));
    std::vector<std::string> calls;
    for (const auto& call : desktop->accessibility().axCallLog())
        if (call.element == window) calls.push_back(call.kind + " " + call.name);
    EXPECT_EQ(calls, (std::vector<std::string>{"action AXRaise", "set AXMain", "action AXRaise", "set AXMain",
                                               "set AXFocused"}));
    EXPECT_TRUE(desktop->workspace().activateCalls().empty());
    EXPECT_TRUE(focused.empty());
}

TEST_F(PlacementTest, swapPushExchangesTheWindowsAndFocusesTheSourceZoneLater) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    push(a, 1, "AutoPush rid=1");
    push(b, 2, "AutoPush rid=2");
    desktop->windows().focus(a);

    controller->swapPush(element(a), 1, 2, kDisplayA);
    EXPECT_TRUE(logged(
        "SwapPush: Swapping window A (wid=Optional(%u), source=1) with window B (wid=%u, target=2)", a, b));
    EXPECT_TRUE(logged("SwapPush B->source: moved wid=%u", b));
    EXPECT_TRUE(logged("SwapPush A->target: moved wid=%u", a));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{b}));
    EXPECT_EQ(stack(stateA(), 2), (std::vector<WindowID>{a}));
    EXPECT_EQ(desktop->windows().frame(b), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(desktop->windows().frame(a), (Rect{720, 0, 720, 900}));
    EXPECT_TRUE(desktop->workspace().activateCalls().empty());

    loop().advance(milliseconds(99));
    EXPECT_FALSE(logged("FocusZone"));
    loop().advance(milliseconds(2));
    EXPECT_TRUE(logged("FocusZone: Attempting Z1 on DISPLAY-A (virtual mapping)"));
    EXPECT_TRUE(logged("SwapPush: Completed, focus returned to source zone 1"));
    loop().advance(seconds(5));
    auto window = controller->ax->focusedWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(controller->ax->windowID(*window), b);
}

TEST_F(PlacementTest, swapPushIntoAnEmptyZoneIsAnActivatingPlainPush) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    push(a, 1, "AutoPush rid=1");
    controller->swapPush(element(a), 1, 2, kDisplayA);
    EXPECT_TRUE(logged("SwapPush: Target zone 2 empty, using regular push"));
    EXPECT_TRUE(logged("AutoPush rid=2: moved wid=%u", a));
    EXPECT_TRUE(logged("AutoPush rid=2: NSRunningApplication.activate returned true"));
    EXPECT_EQ(stack(stateA(), 2), (std::vector<WindowID>{a}));
    loop().advance(seconds(1));
    EXPECT_FALSE(logged("SwapPush: Completed"));
}

TEST_F(PlacementTest, swapPushWithAGoneTargetTopFallsBackToAPlainPush) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    push(a, 1, "AutoPush rid=1");
    push(b, 2, "AutoPush rid=2");
    desktop->windows().close(b);
    controller->swapPush(element(a), 1, 2, kDisplayA);
    EXPECT_TRUE(logged(platform::format("SwapPush: Cannot resolve AX element for target top window %u", b)));
    EXPECT_EQ(stack(stateA(), 2), (std::vector<WindowID>{b, a}));
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

TEST_F(PlacementTest, deferredWorkDoesNothingOnceTheControllerIsGone) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    const auto late = openWindow(editor, Rect{500, 500, 100, 100}, {.numberAppearsAt = seconds(3600)});
    push(a, 1, "AutoPush rid=1");
    push(b, 2, "AutoPush rid=2");
    controller->swapPush(element(a), 1, 2, kDisplayA);
    controller->moveWindow(element(late), std::nullopt, editor, 1, kDisplayA, "Late",
                           MoveActivation::leaveFocus);
    controller.reset();
    loop().advance(seconds(2));
    EXPECT_FALSE(logged("FocusZone"));
    EXPECT_FALSE(logged("SwapPush: Completed"));
    EXPECT_FALSE(logged("Late: reconcile mapping gave up"));
    EXPECT_EQ(loop().pendingCount(), 0u);
}

} // namespace
} // namespace korvane::testing
