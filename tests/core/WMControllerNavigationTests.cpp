// Scenario tests of moving the focus between and within zones: focusing a zone, the adjacent zone,
// cycling a stack (with the windows it has to drop on the way) and the plain focus request.
#include "core/WMControllerFixture.h"
#include "core/WindowInfoFields.h"

#include <algorithm>
#include <set>

namespace korvane::testing {

using platform::AXElement;

class NavigationTest : public WMControllerTest {
  protected:
    void SetUp() override {
        WMControllerTest::SetUp();
        addState(kDisplayA, Rect{0, 0, 1440, 900}, 3);
        other = ws().launch({.bundleID = "com.example.other", .name = "Other", .activate = true});
        loop().runUntilIdle();
    }

    // Windows of the editor placed in zone 1 in the given order.
    Wids stackOfNew(int count) {
        Wids out;
        for (int i = 0; i < count; ++i) {
            out.push_back(openWindow(editor, Rect{100.0 + 100 * i, 100, 300, 300}));
            place(stateA(), out.back(), editor, 1);
        }
        return out;
    }

    // The zone's window that the screen shows in front.
    std::optional<WindowID> front() {
        const auto list = desktop->windowServer().copyWindowInfo(platform::kOnScreenOnly);
        for (const auto& entry : *list)
            if (auto n = windowinfo::windowNumber(entry); n && stateA().zoneOf.contains(*n)) return n;
        return std::nullopt;
    }

    pid_t other = 0;
};

TEST_F(NavigationTest, focusZoneActivatesTheTopOfTheStack) {
    const auto ab = stackOfNew(2);
    openWindow(other, Rect{900, 100, 300, 300});
    windows().focus(ab[0]);
    ws().bringToFront(other);

    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    settle();
    EXPECT_EQ(focusedWindow(), ab[1]);
    EXPECT_EQ(focused, Wids{ab[1]});

    // A focused window of the zone becomes its top first.
    windows().focus(ab[0]);
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    EXPECT_EQ(stack(stateA(), 1), (Wids{ab[1], ab[0]}));
}

// The frontmost application does not tell its focused window; the system-wide focus does, and that
// window becomes its zone's top before the zone is focused.
TEST_F(NavigationTest, aWindowFocusedOnlyAsFarAsTheSystemKnowsStillBecomesItsZonesTop) {
    const auto ab = stackOfNew(2);
    windows().focus(ab[0]);
    auto& access = desktop->accessibility();
    access.scriptAXFailure(access.applicationElement(editor), "AXFocusedWindow",
                           {platform::AXError::attributeUnsupported});
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    EXPECT_EQ(stack(stateA(), 1), (Wids{ab[1], ab[0]}));
    settle();
    EXPECT_EQ(focusedWindow(), ab[0]);
}

TEST_F(NavigationTest, zonesWithoutAStateOrAnActivatableTopAreNeitherFocusedNorCycled) {
    EXPECT_FALSE(controller->focusZone(1, "DISPLAY-X"));
    EXPECT_FALSE(controller->focusZone(2, kDisplayA));
    EXPECT_FALSE(controller->focusZone(7, kDisplayA));
    for (auto [zone, uuid] : {std::pair{1, kDisplayA}, {8, kDisplayA}, {1, "DISPLAY-X"}})
        controller->cycle(zone, uuid, 1);
    EXPECT_TRUE(bounces.empty());
    // An auxiliary window on top is not activated; a zone's single window bounces the cycle.
    place(stateA(), openWindow(editor, Rect{100, 100, 800, 600}), editor, 2);
    place(stateA(), openPalette(editor), editor, 1);
    EXPECT_FALSE(controller->focusZone(1, kDisplayA));
    EXPECT_TRUE(logged("FocusZone: No window found in Z1 area on DISPLAY-A"));
    controller->cycle(2, kDisplayA, -1);
    EXPECT_EQ(bounces, (std::vector<std::string>{kDisplayA}));
    settle();
    EXPECT_FALSE(logged("[AsyncActivation"));
}

TEST_F(NavigationTest, focusZoneLooksTheTopUpAfreshWhenItsElementReportsAnotherNumber) {
    const auto a = stackOfNew(1)[0];
    openWindow(editor, Rect{900, 100, 300, 300}); // takes the editor's focus
    windows().renumber(a, 4242);
    stateA().wins[4242] = WinRef{4242, editor, AXElement{AXElement::Kind::window, editor, 987654321}, {}, {}};
    stateA().layout.zones.at(1).stack = {4242};
    stateA().zoneOf[4242] = 1;
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    settle();
    EXPECT_EQ(focusedWindow(), 4242u);
}

TEST_F(NavigationTest, adjacentFocusWrapsAtBothEndsAndNeedsAMappedWindowInAKnownState) {
    const auto w1 = openWindow(editor, Rect{100, 100, 300, 300});
    const auto w3 = openWindow(editor, Rect{1000, 100, 300, 300});
    place(stateA(), w1, editor, 1);
    place(stateA(), w3, editor, 3);
    // The focused window (none: no application has one), the direction, the line.
    const std::tuple<std::optional<std::uint32_t>, int, const char*> rows[] = {
        {w3, +1, "FocusAdjacentZone: 3 -> 1 (dir=1)"},
        {w1, -1, "FocusAdjacentZone: 1 -> 3 (dir=-1)"},
        {w1, +1, "FocusAdjacentZone: 1 -> 2 (dir=1)"},
        {std::nullopt, +1, "FocusAdjacentZone: 1 -> 2 (dir=1)"},
        {w1, -7, "FocusAdjacentZone: 1 -> 3 (dir=-7)"},
        {w3, +4, "FocusAdjacentZone: 3 -> 1 (dir=4)"},
    };
    for (const auto& [focus, direction, line] : rows) {
        settle(); // the previous row's activation first, so that it cannot undo this row's focus
        if (focus)
            windows().focus(*focus);
        else
            ws().bringToFront(other); // frontmost without any window
        logs.log().clear();
        controller->focusAdjacentZone(direction, kDisplayA);
        EXPECT_TRUE(logged(line)) << line;
        EXPECT_TRUE(logged("FocusZone: Attempting Z")) << line;
    }
    // A stale mapping or a missing state does nothing.
    settle();
    stateA().zoneOf[w1] = 9; // a zone the layout no longer has
    windows().focus(w1);
    logs.log().clear();
    controller->focusAdjacentZone(1, kDisplayA);
    controller->focusAdjacentZone(1, "DISPLAY-X");
    EXPECT_FALSE(logged("FocusZone"));
}

TEST_F(NavigationTest, cyclingForwardAndBackwardGivesTheRotatedTops) {
    const auto abc = stackOfNew(3);
    const WindowID a = abc[0], b = abc[1], c = abc[2];
    // direction, old top, new top, the stack after
    const std::tuple<int, WindowID, WindowID, Wids> steps[] = {
        {+1, c, a, {b, c, a}}, {+1, a, b, {c, a, b}}, {-1, b, a, {b, c, a}}, {-1, a, c, {a, b, c}}};
    for (const auto& [direction, oldTop, newTop, after] : steps) {
        controller->cycle(1, kDisplayA, direction);
        EXPECT_TRUE(logged("Cycle region=1 dir=%d oldTop=Optional(%u) newTop=Optional(%u)", direction, oldTop,
                           newTop));
        EXPECT_EQ(stack(stateA(), 1), after);
        settle();
        EXPECT_EQ(focusedWindow(), newTop);
    }
}

TEST_F(NavigationTest, cycleDetachesClosedWindowsOneRotationAtATimeAndActivatesTheSurvivor) {
    const auto abc = stackOfNew(3);
    windows().close(abc[0]);
    windows().close(abc[1]);
    // The application still runs, so pruning keeps windows whose frame it cannot read.
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", abc[0], abc[1]));
    EXPECT_EQ(stack(stateA(), 1), Wids{abc[2]});
    settle();
    EXPECT_EQ(focusedWindow(), abc[2]);

    // With none left, the last rotation's tops are reported.
    const auto d = stackOfNew(1)[0];
    windows().close(abc[2]);
    windows().close(d);
    controller->cycle(1, kDisplayA, 1);
    EXPECT_TRUE(logged("Cycle region=1 dir=1 no resolvable window"));
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

// Two windows of a viewer that quit, below one of the editor: pruning removes them unless it is
// suppressed, and then the cycle detaches them itself.
TEST_F(NavigationTest, windowsOfAQuitApplicationLeaveTheCycleWhetherOrNotPruningIsSuppressed) {
    for (bool suppressed : {true, false}) {
        const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
        loop().runUntilIdle();
        const auto a = openWindow(viewer, Rect{100, 100, 300, 300});
        const auto b = openWindow(viewer, Rect{200, 100, 300, 300});
        const auto c = openWindow(editor, Rect{300, 100, 300, 300});
        for (auto [n, pid] : {std::pair{a, viewer}, {b, viewer}, {c, editor}})
            place(stateA(), n, pid, 1);
        ws().quit(viewer);
        settle();
        logs.log().clear();
        bounces.clear();
        controller->suppressPruneUntil =
            suppressed ? loop().wallClock() + seconds(8.0) : WMController::kDistantPast;

        controller->cycle(1, kDisplayA, 1);
        EXPECT_EQ(logged("Prune: Removing dead windows from region 1: [%u, %u]", a, b), !suppressed);
        EXPECT_EQ(logged("Cycle: removed 2 invalid window(s) from R1. sample=[%u, %u]", a, b), suppressed);
        EXPECT_EQ(stack(stateA(), 1), Wids{c});
        EXPECT_TRUE(stateA().wins.contains(a) && stateA().wins.contains(b)) << "their records stay";
        // Pruned first, the single window left bounces.
        EXPECT_EQ(bounces.size(), suppressed ? 0u : 1u);
        stateA().detach(c, 1);
    }
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
    EXPECT_TRUE(logged("Cycle region=1 dir=1 oldTop=Optional(%u) newTop=Optional(%u)", doc, doc));
    EXPECT_EQ(stack(stateA(), 1), Wids{doc});
}

// Two clocks, which take no keyboard focus, between the editor's two documents and the other
// application's window that has the focus, as the cycle key takes them (the focused window adopted
// first): every step is over within half a second, a clock is raised and the next step goes on from it,
// so either direction gives every window that takes the focus within as many steps as the zone holds;
// a window clicked in front of a clock is where the next step starts. The clocks' application is not
// recorded as one needing the slow strategy.
TEST_F(NavigationTest, aCycleRaisesWindowsThatTakeNoFocusAndGoesOnFromThem) {
    const pid_t clock = ws().launch({.bundleID = "com.example.clock", .name = "Clock"});
    loop().runUntilIdle();
    const auto docs = stackOfNew(2);
    Wids clocks;
    for (double x : {400, 500}) {
        clocks.push_back(openWindow(clock, Rect{x, 100, 300, 300}, {.takesFocus = false}));
        place(stateA(), clocks.back(), clock, 1);
    }
    const auto mine = openWindow(other, Rect{600, 100, 300, 300});
    place(stateA(), mine, other, 1);
    const Wids order = stack(stateA(), 1);

    for (int direction : {+1, -1}) {
        stateA().layout.zones.at(1).stack = order;
        windows().focus(mine);
        std::set<WindowID> reached;
        for (std::size_t step = 0; step < order.size(); ++step) {
            const WindowID had = *focusedWindow();
            controller->adopt(element(had), had, kDisplayA);
            controller->cycle(1, kDisplayA, direction);
            const WindowID top = stack(stateA(), 1).back();
            loop().advance(milliseconds(500));
            const bool isClock = std::find(clocks.begin(), clocks.end(), top) != clocks.end();
            EXPECT_EQ(front(), top) << direction << " " << step;
            EXPECT_EQ(focusedWindow(), isClock ? had : top) << direction << " " << step;
            reached.insert(*focusedWindow());
        }
        EXPECT_EQ(reached, (std::set<WindowID>{docs[0], docs[1], mine})) << direction;
    }
    // A click on a document in front of the clock a step raised: the next step goes on from it.
    stateA().layout.zones.at(1).stack = order;
    controller->cycle(1, kDisplayA, -1);
    loop().advance(milliseconds(500));
    ASSERT_EQ(stack(stateA(), 1).back(), clocks[1]);
    windows().focus(docs[0]);
    controller->adopt(element(docs[0]), docs[0], kDisplayA);
    EXPECT_EQ(stack(stateA(), 1).back(), docs[0]);
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

TEST_F(NavigationTest, aFocusRequestActivatesTheWindowAndAnActivationOutlivingTheControllerReportsNoFocus) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    controller->focusFallback(element(a));
    settle();
    EXPECT_EQ(focusedWindow(), a);

    focused.clear();
    place(stateA(), a, editor, 1);
    ws().bringToFront(other);
    EXPECT_TRUE(controller->focusZone(1, kDisplayA));
    loop().advance(milliseconds(10)); // the request is in its pause after the raise
    controller.reset();
    settle();
    EXPECT_EQ(frontPid(), editor);
    EXPECT_TRUE(focused.empty());
}

// A window that asks for the keyboard and never takes it, between the editor's document and the other
// application's window, cycled with a press every 1.5 s: its attempts outlast that, its application being
// on the focus whitelist. Each press ends the attempts of the one before, so that 1.5 s after each
// press the window it went to is in front, with the keyboard unless it is the one that never takes it
// (which leaves the keyboard where it was); and the keyboard reaches both other windows.
TEST_F(NavigationTest, aPressEndsTheAttemptsOfThePressBeforeSoThatTheWindowInFrontHasTheKeyboard) {
    write(home / "focus-whitelist.json", R"({"bundleIds":["com.example.stubborn"]})");
    const pid_t stubborn = ws().launch({.bundleID = "com.example.stubborn", .name = "Stubborn"});
    loop().runUntilIdle();
    // Every way of bringing its application forward is ignored or refused.
    ws().setActivateOutcome(stubborn, sim::ActivationOutcome::ignored());
    desktop->accessibility().setAXFrontmostOutcome(stubborn, sim::ActivationOutcome::refused());
    ws().setScriptOutcome("com.example.stubborn", {.errorNumber = -1743, .message = "Not authorised"});
    ws().setOpenBehaviour("com.example.stubborn", {.activates = false});
    const auto doc = openWindow(editor, Rect{100, 100, 300, 300});
    place(stateA(), doc, editor, 1);
    const auto never = openWindow(stubborn, Rect{200, 100, 300, 300},
                                  {.focused = false, .main = false, .ignoresFocus = true});
    place(stateA(), never, stubborn, 1);
    const auto mine = openWindow(other, Rect{300, 100, 300, 300});
    place(stateA(), mine, other, 1);
    windows().focus(mine);
    loop().runUntilIdle();

    const auto raises = [&] { return std::ranges::count(windowCalls(element(never)), "action AXRaise"); };
    std::set<WindowID> reached;
    for (int press = 0; press < 8; ++press) {
        const auto frontBefore = front();
        const auto focusBefore = focusedWindow();
        if (focusBefore) controller->adopt(element(*focusBefore), *focusBefore, kDisplayA);
        const auto raisedBefore = raises();
        controller->cycle(1, kDisplayA, 1);
        loop().advance(milliseconds(1500));
        const auto now = front();
        EXPECT_NE(now, frontBefore) << press;
        if (now == never) {
            EXPECT_EQ(focusedWindow(), focusBefore) << press;
        } else {
            EXPECT_EQ(focusedWindow(), now) << press;
            EXPECT_EQ(raises(), raisedBefore) << press;
        }
        reached.insert(focusedWindow().value_or(0));
    }
    EXPECT_EQ(reached, (std::set<WindowID>{doc, mine}));
    EXPECT_TRUE(logged("Starting strategy=problematic"));
}

} // namespace korvane::testing
