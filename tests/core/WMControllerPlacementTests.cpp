// Scenario tests of placing windows into zones: stacking, the frame check after the wait, the late
// mapping of windows whose number appears after the move, the application activation, a move superseded
// by a later one, and the swap push.
#include "core/WMControllerFixture.h"

namespace korvane::testing {

using platform::AXElement;

class PlacementTest : public WMControllerTest {
  protected:
    // A move run to its end; `meanwhile`, when set, runs 10 ms into it, while it waits for the window to
    // settle.
    MoveOutcome push(std::uint32_t n, int zone, MoveActivation activation = MoveActivation::leaveFocus) {
        return ended(element(n), n, zone, "AutoPush", activation);
    }
    // A move of a window whose number the caller does not know.
    MoveOutcome pushNumberless(std::uint32_t n, int zone, const std::string& tag = "AutoPush") {
        return ended(element(n), std::nullopt, zone, tag, MoveActivation::leaveFocus);
    }
    MoveOutcome ended(const AXElement& window, std::optional<WindowID> wid, int zone, const std::string& tag,
                      MoveActivation activation) {
        std::optional<MoveOutcome> outcome;
        controller->moveWindow(window, wid, editor, zone, kDisplayA, tag, activation,
                               [&](MoveOutcome o) { outcome = o; });
        if (meanwhile) loop().postAfter(milliseconds(10), meanwhile);
        EXPECT_TRUE(loop().advanceUntil([&] { return outcome.has_value(); }, seconds(5)));
        return outcome.value_or(MoveOutcome::noZone);
    }
    std::function<void()> meanwhile;
    // An activation run to its end.
    void activate(const AXElement& window, const std::string& tag, bool allowAllWindows) {
        platform::spawn(loop(), WMController::activateApp(controller, window, tag, allowAllWindows));
        settle();
    }
    // How many times the application was asked to resize the window: twice per frame set.
    long sizeWrites(std::uint32_t n) { return std::ranges::count(windowCalls(element(n)), "set AXSize"); }
};

TEST_F(PlacementTest, windowsPushedIntoOneZoneStackInOrderAndAreMappedWhenTheMoveReturns) {
    const auto a = openWindow(editor, Rect{900, 100, 300, 300});
    const auto b = openWindow(editor, Rect{800, 200, 400, 300});
    const auto c = openWindow(editor, Rect{700, 300, 500, 300});
    const Nanos start = loop().now();
    for (auto n : {a, b, c})
        push(n, 1);

    EXPECT_EQ(stack(stateA(), 1), (Wids{a, b, c}));
    for (auto n : {a, b, c})
        EXPECT_EQ(windows().frame(n), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(stateA().wins.at(a).lastFrame, (Rect{900, 100, 300, 300})) << "the frame before the move";
    EXPECT_EQ(moves, (Moves{{a, 1}, {b, 1}, {c, 1}}));
    // Each move waited 50 ms before checking the frame.
    EXPECT_EQ(loop().now() - start, milliseconds(150));
    loop().advance(seconds(2));
    EXPECT_EQ(moves.size(), 3u) << "no reconcile was left to run";
    EXPECT_TRUE(ws().activateCalls().empty());
}

TEST_F(PlacementTest, unknownDisplayOrZoneMovesNothing) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    controller->moveWindow(element(a), a, editor, 1, "NO-SUCH-DISPLAY", "T", MoveActivation::activate);
    push(a, 9, MoveActivation::activate);
    EXPECT_EQ(windows().frame(a), (Rect{100, 100, 300, 300}));
    EXPECT_TRUE(stateA().zoneOf.empty());
    EXPECT_TRUE(moves.empty());
    EXPECT_TRUE(ws().activateCalls().empty());
}

// Bottom half of a top/bottom layout: the move keeps a window that refuses the height on the bottom
// edge, and the frame check sets the frame again only when a side is off by more than 2.0 points, or
// when the frame cannot be read back.
TEST_F(PlacementTest, frameIsSetAgainOnlyWhenOffByMoreThanTwoPointsOrUnreadable) {
    topBottomZones();
    // The least height the window takes, whether the application stops answering while the move waits,
    // how many times the frame is set.
    const std::tuple<double, bool, std::size_t> rows[] = {
        {451.5, false, 1}, {452.0, false, 1}, {452.5, false, 2}, {500.0, false, 2}, {0, true, 2}};
    for (const auto& [minHeight, unreadable, frameSets] : rows) {
        const auto n = openWindow(editor, Rect{100, 500, 600, 600}, {.minSize = Size{100, minHeight}});
        if (unreadable)
            meanwhile = [&] {
                desktop->accessibility().scriptAXFailure(n, "AXPosition",
                                                         {platform::AXError::cannotComplete});
            };
        desktop->accessibility().clearAXCallLog();
        push(n, 2);
        meanwhile = nullptr;
        EXPECT_EQ(sizeWrites(n), 2 * long(frameSets)) << minHeight;
        EXPECT_EQ(windows().frame(n), (Rect{0, 0, 1440, std::max(450.0, minHeight)})) << minHeight;
        windows().close(n);
    }
}

// A window that sizes itself in steps (a terminal's character cells: 1440 × 450 gives 1435 × 442) is in
// place at the frame it tells that the zone gives it: kept on the bottom in the lower zone, under its top
// in the upper one. It is set again only when moved away while the move waits, or when it cannot tell.
TEST_F(PlacementTest, frameAWindowTellsTheZoneGivesItIsInPlace) {
    topBottomZones();
    const Rect lower{0, 0, 1435, 442}, upper{0, 458, 1435, 442};
    // Zone, whether the window tells its size, whether the user moves it while the move waits, how many
    // times the frame is set.
    const std::tuple<int, bool, bool, long, Rect> rows[] = {{2, true, false, 1, lower},
                                                            {1, true, false, 1, upper},
                                                            {2, true, true, 2, lower},
                                                            {2, false, false, 2, lower}};
    for (const auto& [zone, tells, movedMeanwhile, frameSets, placed] : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "zone " << zone << " tells " << tells << " moved " << movedMeanwhile);
        const auto n = openWindow(editor, Rect{100, 500, 600, 300},
                                  {.sizeIncrement = Size{7, 13}, .tellsGrantedSize = tells});
        if (movedMeanwhile) meanwhile = [&] { windows().setFrame(n, Rect{40, 0, 1435, 442}); };
        desktop->accessibility().clearAXCallLog();
        push(n, zone);
        meanwhile = nullptr;
        EXPECT_EQ(sizeWrites(n), 2 * frameSets);
        EXPECT_EQ(windows().frame(n), placed);
        windows().close(n);
    }
}

// Where the window was put on its way into the lower zone, top-left coordinates: a window that tells the
// frame it will take goes straight onto the zone's bottom; one that cannot tell goes to the zone's top
// (450) and is brought down (458), and, still short of the zone when checked, set again the same way. One
// that fails to answer before the move is moved as one that cannot tell, and left once it answers; one
// that answers the move and is busy when checked is left where its answer put it.
TEST_F(PlacementTest, aWindowThatTellsItsSizeIsMovedOnceToWhereItEndsUp) {
    topBottomZones();
    enum class Busy { never, beforeTheMove, whenChecked };
    // Whether the window tells its size, when it cannot answer, where it was put.
    const std::tuple<bool, Busy, std::string> rows[] = {
        {true, Busy::never, "(0.0, 458.0)"},
        {false, Busy::never, "(0.0, 450.0) (0.0, 458.0) (0.0, 450.0) (0.0, 458.0)"},
        {true, Busy::beforeTheMove, "(0.0, 450.0) (0.0, 458.0)"},
        {true, Busy::whenChecked, "(0.0, 458.0)"}};
    for (const auto& [tells, busy, positions] : rows) {
        const auto n = openWindow(editor, Rect{100, 500, 600, 300},
                                  {.sizeIncrement = Size{7, 13}, .tellsGrantedSize = tells});
        const auto cannotAnswer = [&, n](int times) {
            desktop->accessibility().scriptAXFailure(
                n, platform::kGrantedSizeAttribute,
                std::vector<platform::AXError>(times, platform::AXError::cannotComplete));
        };
        if (busy == Busy::beforeTheMove) cannotAnswer(1);
        if (busy == Busy::whenChecked) meanwhile = [&] { cannotAnswer(2); };
        desktop->accessibility().clearAXCallLog();
        push(n, 2);
        meanwhile = nullptr;
        std::string written;
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == element(n) && call.kind == "set" && call.name == "AXPosition")
                written += (written.empty() ? "" : " ") + platform::describe(std::get<Point>(call.value));
        EXPECT_EQ(written, positions) << "tells " << tells << " busy " << int(busy);
        EXPECT_EQ(windows().frame(n), (Rect{0, 0, 1435, 442})) << tells;
        windows().close(n);
    }
}

// A window whose minimum size exceeds its zone stays wholly on the zone's display, told its size or
// not: on the zone's left edge where it fits there, else moved back onto the zone's right edge, the
// display's; taller than the display, its top on the display's top; wider, its left edge on the
// display's. It never reaches onto the display beside (B, 1280 × 800, right of A).
TEST_F(PlacementTest, aWindowLargerThanItsZoneIsKeptOnTheZonesDisplay) {
    desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .uuid = std::string(kDisplayB)});
    addState(kDisplayB, Rect{1440, 0, 1280, 800}, 2);
    // Display, zone, minimum size, frame it ends at.
    const std::tuple<const char*, int, Size, Rect> rows[] = {
        {kDisplayA, 1, Size{1000, 600}, Rect{0, 0, 1000, 900}},
        {kDisplayA, 2, Size{1000, 600}, Rect{440, 0, 1000, 900}},
        {kDisplayB, 1, Size{1000, 600}, Rect{1440, 0, 1000, 800}},
        {kDisplayB, 2, Size{1000, 600}, Rect{1720, 0, 1000, 800}},
        {kDisplayA, 2, Size{800, 1000}, Rect{640, -100, 800, 1000}},
        {kDisplayB, 2, Size{1300, 900}, Rect{1440, -100, 1300, 900}},
    };
    for (const bool tells : {true, false})
        for (const auto& [display, zone, minSize, placed] : rows) {
            SCOPED_TRACE(::testing::Message() << display << " zone " << zone << " "
                                              << platform::describe(minSize) << " tells " << tells);
            const auto n =
                openWindow(editor, Rect{100, 100, 300, 300}, {.minSize = minSize, .tellsGrantedSize = tells});
            std::optional<MoveOutcome> outcome;
            controller->moveWindow(element(n), n, editor, zone, display, "AutoPush",
                                   MoveActivation::leaveFocus, [&](MoveOutcome o) { outcome = o; });
            ASSERT_TRUE(loop().advanceUntil([&] { return outcome.has_value(); }, seconds(5)));
            EXPECT_EQ(outcome, MoveOutcome::placed);
            EXPECT_EQ(windows().frame(n), placed) << platform::describe(windows().frame(n));
            windows().close(n);
        }
}

// The number is read again after the move and then every 0.12 s, at most eight times in all.
TEST_F(PlacementTest, windowWithoutANumberIsMappedOnceTheNumberCanBeRead) {
    // When the number appears, when the window is mapped (none: never within the eight attempts).
    const std::pair<Nanos, std::optional<Nanos>> rows[] = {
        {milliseconds(20), milliseconds(50)},   // read once the move has waited
        {milliseconds(300), milliseconds(410)}, // the fourth attempt, 50 ms + 3 x 0.12 s
        {seconds(3600), std::nullopt},
    };
    for (const auto& [appearsAfter, mappedAt] : rows) {
        moves.clear();
        logs.log().clear();
        const Nanos start = loop().now();
        const auto n =
            openWindow(editor, Rect{100, 100, 300, 300}, {.numberAppearsAt = start + appearsAfter});
        pushNumberless(n, 1);
        EXPECT_EQ(windows().frame(n), (Rect{0, 0, 720, 900}));
        // Just before the attempt that maps the window, or the last one, nothing is mapped yet.
        const Nanos decisive = mappedAt.value_or(milliseconds(50 + 7 * 120));
        if (decisive > loop().now() - start) {
            loop().advance(start + decisive - milliseconds(1) - loop().now());
            EXPECT_FALSE(stateA().zoneOf.contains(n)) << appearsAfter;
            EXPECT_FALSE(logged("gave up"));
        }
        loop().advance(seconds(5));
        EXPECT_EQ(moves, (mappedAt ? Moves{{n, 1}} : Moves{})) << appearsAfter;
        EXPECT_EQ(stateA().zoneOf.contains(n), mappedAt.has_value()) << appearsAfter;
        EXPECT_EQ(loggedCount("AutoPush: reconcile mapping gave up after 8 attempts (no window id)"),
                  mappedAt ? 0u : 1u);
        windows().close(n);
    }
}

TEST_F(PlacementTest, windowRenumberedDuringTheMoveIsMigratedInPlace) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    push(a, 1);
    const WindowID renumbered = 9001;
    // The application gives b's element a new number while the move waits for the window to settle.
    meanwhile = [&] { windows().renumber(b, renumbered); };
    push(b, 1);
    meanwhile = nullptr;

    EXPECT_EQ(stack(stateA(), 1), (Wids{a, renumbered}));
    EXPECT_FALSE(stateA().zoneOf.contains(b));
    EXPECT_FALSE(stateA().wins.contains(b));
    EXPECT_EQ(stateA().wins.at(renumbered).ax, element(renumbered));
    EXPECT_EQ(moves, (Moves{{a, 1}, {b, 1}, {renumbered, 1}}));
}

// --- Moves that wait for the window manager -------------------------------------------------------

// Its window manager takes 0.3 s to move the first window: the move returns at once with the window on
// top of the zone, a move of another window meanwhile ends first, and the slow one ends once its frame
// shows.
TEST_F(PlacementTest, aMoveWaitingOnASlowWindowManagerHoldsUpNoOtherMove) {
    const auto slow = openWindow(editor, Rect{900, 100, 300, 300}, {.movesAfter = milliseconds(300)});
    const auto quick = openWindow(editor, Rect{100, 100, 300, 300});
    std::vector<std::pair<WindowID, MoveOutcome>> ended;
    const auto record = [&](WindowID n) { return [&ended, n](MoveOutcome o) { ended.emplace_back(n, o); }; };
    const Nanos start = loop().now();
    controller->moveWindow(element(slow), slow, editor, 1, kDisplayA, "Slow", MoveActivation::leaveFocus,
                           record(slow));
    EXPECT_EQ(loop().now(), start);
    EXPECT_EQ(stack(stateA(), 1), (Wids{slow}));
    controller->moveWindow(element(quick), quick, editor, 2, kDisplayA, "Quick", MoveActivation::leaveFocus,
                           record(quick));

    loop().advance(milliseconds(60));
    EXPECT_EQ(ended, (std::vector<std::pair<WindowID, MoveOutcome>>{{quick, MoveOutcome::placed}}));
    EXPECT_EQ(windows().frame(quick), (Rect{720, 0, 720, 900}));
    EXPECT_EQ(windows().frame(slow), (Rect{900, 100, 300, 300}));
    loop().advance(seconds(1));
    EXPECT_EQ(ended, (std::vector<std::pair<WindowID, MoveOutcome>>{{quick, MoveOutcome::placed},
                                                                    {slow, MoveOutcome::placed}}));
    EXPECT_EQ(windows().frame(slow), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(moves, (Moves{{quick, 2}, {slow, 1}}));
}

// The window is moved again 0.1 s into a move that its window manager takes 0.2 s to carry out: the
// first move gives way, and only the second one is checked, reported and activated.
TEST_F(PlacementTest, aWindowMovedAgainWhileItsMoveWaitsEndsWhereTheLaterMoveTakesIt) {
    const auto n = openWindow(editor, Rect{900, 100, 300, 300}, {.movesAfter = milliseconds(200)});
    std::vector<MoveOutcome> ended;
    const auto record = [&](MoveOutcome o) { ended.push_back(o); };
    controller->moveWindow(element(n), n, editor, 1, kDisplayA, "First", MoveActivation::activate, record);
    loop().advance(milliseconds(100));
    controller->moveWindow(element(n), n, editor, 2, kDisplayA, "Second", MoveActivation::activate, record);
    settle();

    EXPECT_EQ(ended, (std::vector<MoveOutcome>{MoveOutcome::superseded, MoveOutcome::placed}));
    EXPECT_EQ(windows().frame(n), (Rect{720, 0, 720, 900}));
    EXPECT_TRUE(stack(stateA(), 1).empty());
    EXPECT_EQ(stack(stateA(), 2), (Wids{n}));
    EXPECT_EQ(moves, (Moves{{n, 2}}));
    EXPECT_EQ(ws().activateCalls().size(), 1u);
}

// A window that its application keeps where it is, reaching out of zone 1, is not placed there: it goes
// back to zone 2, where it was recorded, and a window placed in zone 1 while the check waited stays.
TEST_F(PlacementTest, aWindowLeftOutsideTheZoneGoesBackWhereItWasAndWindowsPlacedMeanwhileStay) {
    const auto stuck =
        openWindow(editor, Rect{600, 100, 800, 300}, {.ignoresResize = true, .ignoresMove = true});
    place(stateA(), stuck, editor, 2);
    const auto other = openWindow(editor, Rect{100, 100, 300, 300});
    std::optional<MoveOutcome> outcome;
    controller->moveWindow(element(stuck), stuck, editor, 1, kDisplayA, "Stuck", MoveActivation::activate,
                           [&](MoveOutcome o) { outcome = o; });
    EXPECT_EQ(push(other, 1), MoveOutcome::placed);
    EXPECT_EQ(stack(stateA(), 1), (Wids{stuck, other}));

    settle();
    EXPECT_EQ(outcome, MoveOutcome::outsideZone);
    EXPECT_EQ(stack(stateA(), 1), (Wids{other}));
    EXPECT_EQ(stack(stateA(), 2), (Wids{stuck}));
    EXPECT_EQ(stateA().zoneOf.at(stuck), 2);
    EXPECT_EQ(moves, (Moves{{other, 1}}));
    EXPECT_TRUE(ws().activateCalls().empty());
}

// The window manager carries the move out 1.5 s after it was asked, once the check has judged the window
// left outside: the window joins the zone it was pushed to as it lands there, leaving the zone it was in.
TEST_F(PlacementTest, aWindowTheWindowManagerMovesLateJoinsTheZoneItWasPushedTo) {
    const auto late = openWindow(editor, Rect{900, 100, 300, 300}, {.movesAfter = milliseconds(1500)});
    place(stateA(), late, editor, 2);
    EXPECT_EQ(push(late, 1), MoveOutcome::outsideZone);
    EXPECT_EQ(stack(stateA(), 2), (Wids{late}));
    settle();
    EXPECT_EQ(windows().frame(late), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(stack(stateA(), 1), (Wids{late}));
    EXPECT_TRUE(stack(stateA(), 2).empty());
    EXPECT_EQ(moves, (Moves{{late, 1}}));
}

// A window that moves itself back after it was placed leaves the zone it refused for the one it was in.
// One asked for another frame after the push by someone else (a restore) is left to that request, and one
// put somewhere else than back stays.
TEST_F(PlacementTest, aWindowThatMovesItselfBackAfterAPushLeavesTheZone) {
    const Rect home{900, 100, 300, 300};
    const auto back = openWindow(editor, home);
    place(stateA(), back, editor, 2);
    EXPECT_EQ(push(back, 1), MoveOutcome::placed);
    EXPECT_EQ(stack(stateA(), 1), (Wids{back}));
    loop().advance(milliseconds(300));
    windows().setFrame(back, home);
    settle();
    EXPECT_TRUE(stack(stateA(), 1).empty());
    EXPECT_EQ(stack(stateA(), 2), (Wids{back}));
    EXPECT_TRUE(logged("AutoPush: window moved itself out of R1"));

    const auto asked = openWindow(editor, home);
    EXPECT_EQ(push(asked, 1), MoveOutcome::placed);
    const auto request = controller->ax->requestMoveResize(element(asked), home);
    settle();
    EXPECT_EQ(windows().frame(asked), home);
    EXPECT_EQ(stack(stateA(), 1), (Wids{asked}));

    // Put elsewhere, as the window manager rearranges windows for a monitor that goes: not the window's
    // own refusal, which takes it back where it stood.
    const auto rearranged = openWindow(editor, home);
    EXPECT_EQ(push(rearranged, 1), MoveOutcome::placed);
    loop().advance(milliseconds(300));
    windows().setFrame(rearranged, Rect{1000, 600, 300, 300});
    settle();
    EXPECT_EQ(stack(stateA(), 1), (Wids{asked, rearranged}));
}

// --- Activation ----------------------------------------------------------------------------------

// Work that comes while the activation pauses between its steps (a key, a redraw) is served then, not
// once the activation has ended.
TEST_F(PlacementTest, activatingMoveUnhidesTheApplicationActivatesAllItsWindowsAndFocusesTheWindow) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300}, {.minimized = true});
    ws().setHidden(editor, true);
    const Nanos start = loop().now();
    std::optional<Nanos> served;
    std::size_t activatedBefore = 0;
    loop().postAfter(milliseconds(50 + 40), [&] {
        served = loop().now() - start;
        activatedBefore = ws().activateCalls().size();
    });
    push(n, 1, MoveActivation::activate);

    // The move's 50 ms, then un-minimising, raising and unhiding each pause 30 ms.
    EXPECT_EQ(loop().now() - start, milliseconds(50 + 90));
    EXPECT_EQ(served, milliseconds(50 + 40));
    EXPECT_EQ(activatedBefore, 0u);
    ASSERT_EQ(ws().activateCalls().size(), 1u);
    EXPECT_EQ(ws().activateCalls()[0].options, unsigned(platform::kActivateAllWindows));
    EXPECT_FALSE(ws().runningApplication(editor)->isHidden);
    EXPECT_EQ(focusedWindow(), n);
    EXPECT_EQ(focused, (Wids{n}));
}

// The user gives another window the keyboard (a click) while the push waits for the window manager, or
// while its activation pauses: that window keeps the keyboard, and the window pushed is placed without
// being brought forward. Without such a click the window pushed gets the keyboard.
TEST_F(PlacementTest, anActivatingMoveLeavesTheKeyboardWithAWindowTheUserChoseMeanwhile) {
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    loop().runUntilIdle();
    // When after the key the other window is clicked (none: not at all), where the keyboard ends.
    const std::tuple<std::optional<Nanos>, bool> rows[] = {
        {std::nullopt, true}, {milliseconds(10), false}, {milliseconds(50 + 10), false}};
    for (const auto& [clickAt, pushedGetsIt] : rows) {
        SCOPED_TRACE(clickAt.value_or(-1));
        const auto pushed = openWindow(editor, Rect{100, 100, 300, 300});
        const auto other = openWindow(viewer, Rect{1000, 100, 300, 300});
        windows().focus(pushed);
        loop().runUntilIdle();
        const auto activations = ws().activateCalls().size();
        if (clickAt) loop().postAfter(*clickAt, [&, other = other] { windows().focus(other); });
        EXPECT_EQ(push(pushed, 2, MoveActivation::activate), MoveOutcome::placed);
        settle();
        EXPECT_EQ(focusedWindow(), pushedGetsIt ? pushed : other);
        EXPECT_EQ(ws().activateCalls().size(), activations + (pushedGetsIt ? 1 : 0));
        EXPECT_EQ(stack(stateA(), 2).back(), pushed);
        EXPECT_EQ(windows().frame(pushed), (Rect{720, 0, 720, 900}));
        windows().close(pushed);
        windows().close(other);
        loop().runUntilIdle();
    }
}

// The application takes the activation but never comes forward by itself: the move has unhidden it
// first, so its window shows all the same.
TEST_F(PlacementTest, activatingMoveUnhidesAnApplicationThatTakesTheActivationWithoutComingForward) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300});
    ws().setHidden(editor, true);
    ws().setActivateOutcome(editor, sim::ActivationOutcome::ignored());
    push(n, 1, MoveActivation::activate);
    settle();
    EXPECT_FALSE(ws().runningApplication(editor)->isHidden);
    EXPECT_EQ(ws().activateCalls().size(), 1u);
}

TEST_F(PlacementTest, refusedActivationWalksTheFallbacks) {
    const auto n = openWindow(editor, Rect{100, 100, 300, 300});
    ws().setActivateOutcome(editor, sim::ActivationOutcome::refused());

    // The frontmost attribute takes: no second activation, no launch.
    activate(element(n), "A", false);
    EXPECT_EQ(ws().activateCalls().size(), 1u);
    EXPECT_EQ(ws().activateCalls()[0].options, 0u);
    EXPECT_EQ(frontPid(), editor);
    EXPECT_TRUE(ws().openCalls().empty());

    // Nothing takes: the application is opened by its bundle identifier.
    desktop->accessibility().setAXFrontmostOutcome(editor, sim::ActivationOutcome::refused());
    activate(element(n), "B", false);
    EXPECT_TRUE(logged("B: AX frontmost failed"));
    EXPECT_EQ(ws().activateCalls().size(), 3u);
    ASSERT_EQ(ws().openCalls().size(), 1u);
    EXPECT_EQ(ws().openCalls()[0].bundleID, "com.example.editor");
    EXPECT_TRUE(ws().openCalls()[0].activates);
    EXPECT_EQ(focused, (Wids{n, n}));

    // A problematic application is also activated by script.
    const pid_t browser = ws().launch({.bundleID = "com.google.Chrome", .name = "Chrome"});
    activate(element(openWindow(browser, Rect{100, 100, 300, 300})), "P", true);
    EXPECT_EQ(ws().scriptsRun().size(), 1u);
    EXPECT_TRUE(logged("P: Activation by app id succeeded"));
}

TEST_F(PlacementTest, windowOfAnExitedProcessIsStillRaisedAndFocusedWithoutCallback) {
    const AXElement window =
        element(openWindow(editor, Rect{100, 100, 300, 300}, {.numberOutlivesWindow = false}));
    ws().quit(editor);
    loop().runUntilIdle();
    desktop->accessibility().clearAXCallLog();

    activate(window, "X", true);
    EXPECT_TRUE(logged("X: could not find running application for pid=%d", editor));
    EXPECT_EQ(windowCalls(window), (std::vector<std::string>{"action AXRaise", "set AXMain", "action AXRaise",
                                                             "set AXMain", "set AXFocused"}));
    EXPECT_TRUE(ws().activateCalls().empty());
    EXPECT_TRUE(focused.empty());
}

// --- Swap push -----------------------------------------------------------------------------------

TEST_F(PlacementTest, swapPushExchangesTheWindowsAndFocusesTheSourceZoneLaterOrElseIsAnActivatingPlainPush) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    push(a, 1);
    push(b, 2);
    windows().focus(a);
    controller->swapPush(element(a), 1, 2, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{b}));
    EXPECT_EQ(stack(stateA(), 2), (Wids{a}));
    EXPECT_EQ(windows().frame(b), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(windows().frame(a), (Rect{720, 0, 720, 900}));
    EXPECT_TRUE(ws().activateCalls().empty());
    // Both moves end after their 50 ms; the focus goes back 0.1 s after that.
    loop().advance(milliseconds(149));
    EXPECT_FALSE(logged("FocusZone"));
    loop().advance(milliseconds(2));
    EXPECT_TRUE(logged("SwapPush: Completed, focus returned to source zone 1"));
    settle();
    EXPECT_EQ(focusedWindow(), b);

    // Onto a top that is gone, then into the zone that it left empty.
    logs.log().clear();
    const auto activations = ws().activateCalls().size();
    windows().close(a);
    controller->swapPush(element(b), 1, 2, kDisplayA);
    EXPECT_TRUE(logged("SwapPush: Cannot resolve AX element for target top window %u", a));
    EXPECT_EQ(stack(stateA(), 2), (Wids{a, b}));
    settle();
    controller->swapPush(element(b), 2, 1, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{b}));
    settle();
    EXPECT_EQ(ws().activateCalls().size(), activations + 2);
    EXPECT_FALSE(logged("SwapPush: Completed"));
}

// Zone 2 holds a window of the desktop shown below one that lies on another of the window manager's
// desktops. A swap from zone 1 exchanges its window with the one in view; the window out of view stays
// where it is, and the user stays on the desktop shown. Zone 1, holding then only a window sent to the
// other desktop, looks empty: a swap into it is a plain push, which moves nothing out of it.
TEST_F(PlacementTest, aSwapCountsOnlyTheWindowsOfTheDesktopShown) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    const auto hidden = openWindow(editor, Rect{950, 150, 300, 300});
    for (const auto& [n, zone] : {std::pair{a, 1}, {b, 2}, {hidden, 2}})
        push(n, zone);
    windows().sendToDesktop(hidden, 1);
    const Rect hiddenFrame = windows().frame(hidden);
    windows().focus(a);

    controller->swapPush(element(a), 1, 2, kDisplayA);
    settle();
    EXPECT_EQ(stack(stateA(), 1), (Wids{b}));
    EXPECT_EQ(stack(stateA(), 2), (Wids{hidden, a}));
    EXPECT_EQ(windows().frame(b), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(windows().frame(hidden), hiddenFrame);
    EXPECT_EQ(windows().shownDesktop(), 0);
    EXPECT_EQ(focusedWindow(), b);

    windows().sendToDesktop(b, 1);
    windows().focus(a);
    const std::size_t bCalls = windowCalls(element(b)).size();
    controller->swapPush(element(a), 2, 1, kDisplayA);
    settle();
    EXPECT_TRUE(logged("SwapPush: Target zone 1 shows no window on the desktop shown, using regular push"));
    EXPECT_EQ(stack(stateA(), 1), (Wids{b, a}));
    EXPECT_EQ(windows().frame(a), (Rect{0, 0, 720, 900}));
    EXPECT_EQ(windowCalls(element(b)).size(), bCalls) << "neither moved nor raised";
    EXPECT_EQ(windows().shownDesktop(), 0);
    EXPECT_EQ(focusedWindow(), a);
}

// The top's element fails to tell its process during the swap: the window keeps the process it was
// recorded with, so that when its application re-creates it, the new window takes the zone over.
TEST_F(PlacementTest, swapPushKeepsTheRecordedProcessOfATopWhoseProcessCannotBeRead) {
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    loop().runUntilIdle();
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(viewer, Rect{900, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, viewer, 2);
    desktop->accessibility().scriptAXFailure(b, sim::kPidOfCall, {platform::AXError::cannotComplete});
    controller->swapPush(element(a), 1, 2, kDisplayA);
    settle();
    ASSERT_EQ(stack(stateA(), 1), (Wids{b}));

    const auto renewed = windows().recreate(b);
    controller->adopt(element(renewed), renewed, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{renewed}));
}

TEST_F(PlacementTest, deferredWorkDoesNothingOnceTheControllerIsGone) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{900, 100, 300, 300});
    const auto late = openWindow(editor, Rect{500, 500, 100, 100}, {.numberAppearsAt = seconds(3600)});
    push(a, 1);
    push(b, 2);
    controller->swapPush(element(a), 1, 2, kDisplayA);
    pushNumberless(late, 1, "Late");
    controller.reset();
    loop().advance(seconds(2));
    EXPECT_FALSE(logged("FocusZone"));
    EXPECT_FALSE(logged("Late: reconcile mapping gave up"));
    EXPECT_EQ(loop().pendingCount(), 0u);
}

} // namespace korvane::testing
