// The application's hot keys on the simulated desktop: what start-up holds, how the zone-number keys
// follow the largest layout, the keys that move the focus between zones and cycle a zone's stack, a push
// key served at once while another push waits for a slow window manager, and a table stored from the
// settings taking effect at once.
#include "LaunchFixture.h"

#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/HotkeyConfig.h"

#include <gtest/gtest.h>

#include <set>

using namespace korvane;
using platform::kEventFlagControl;
using platform::kEventFlagOption;
using platform::kEventFlagShift;

namespace {

constexpr std::uint32_t kCtrlOpt = platform::kHotKeyControl | platform::kHotKeyOption;
constexpr std::uint64_t kFocusFlags = kEventFlagControl | kEventFlagOption | kEventFlagShift;
constexpr std::uint32_t kW = 13, kTab = 48;

class AppDelegateHotkeysTest : public korvane::testing::LaunchTest {
  protected:
    void SetUp() override {
        LaunchTest::SetUp();
        markScenesConverted();
        addScreen("D1", Rect{0, 0, 1920, 1080});
    }
    sim::SimHotKeys& keys() { return desktop->hotKeys(); }
    bool holds(std::uint32_t keyCode, std::uint32_t modifiers) {
        for (const auto& r : keys().registered())
            if (r.keyCode == keyCode && r.modifiers == modifiers) return true;
        return false;
    }
    WMState& d1() { return *app->multiState()->states.at("D1"); }
    // A window of the editor with its centre in the zone, recorded on top of the zone's stack.
    std::uint32_t windowIn(int zone) {
        const Rect frame = d1().layout.zones.at(zone).frame;
        const auto n = desktop->windows().open(
            editor, {.frame = Rect{frame.minX() + 40, frame.minY() + 40, 400, 300}, .title = "Document"});
        desktop->loop().runUntilIdle();
        d1().attach(
            WinRef{n, editor, desktop->windows().element(n), std::nullopt, desktop->windows().frame(n)},
            zone);
        return n;
    }
    std::optional<std::uint32_t> focused() {
        auto front = desktop->workspace().frontmostApplication();
        if (!front || front->pid != editor) return std::nullopt;
        for (auto n : desktop->windows().frontToBack())
            return n;
        return std::nullopt;
    }
    void press(std::uint32_t keyCode, std::uint64_t flags) {
        keys().press(keyCode, flags);
        desktop->loop().advance(seconds(3)); // the activation the key starts runs to its end
    }

    // Start-up and its first display pass, then the editor in front.
    void launchAndSettle() {
        LaunchTest::launchAndSettle(seconds(1));
        editor = desktop->workspace().launch(
            {.bundleID = "com.example.editor", .name = "Editor", .activate = true});
        desktop->loop().runUntilIdle();
    }

    // A window of another application with its centre in the zone, recorded at the bottom of the zone's
    // stack, that asks for the keyboard and never takes it: its application is never brought forward by
    // any means, as a client that leaves its focus to itself and never takes it is not.
    std::uint32_t neverFocusedIn(int zone) {
        if (!stubborn) {
            stubborn = desktop->workspace().launch({.bundleID = "com.example.stubborn", .name = "Stubborn"});
            desktop->workspace().setActivateOutcome(stubborn, sim::ActivationOutcome::ignored());
            desktop->accessibility().setAXFrontmostOutcome(stubborn, sim::ActivationOutcome::refused());
            desktop->workspace().setScriptOutcome("com.example.stubborn", {.activates = false});
            desktop->workspace().setOpenBehaviour("com.example.stubborn", {.activates = false});
        }
        const Rect frame = d1().layout.zones.at(zone).frame;
        const auto n =
            desktop->windows().open(stubborn, {.frame = Rect{frame.minX() + 80, frame.minY() + 80, 400, 300},
                                               .title = "Stubborn",
                                               .focused = false,
                                               .main = false,
                                               .ignoresFocus = true});
        desktop->loop().runUntilIdle();
        d1().attach(
            WinRef{n, stubborn, desktop->windows().element(n), std::nullopt, desktop->windows().frame(n)},
            zone);
        auto& stack = d1().layout.zones.at(zone).stack;
        std::rotate(stack.begin(), stack.end() - 1, stack.end());
        return n;
    }
    std::uint32_t inFront() { return desktop->windows().frontToBack().front(); }
    // Of the windows given, the one in front.
    std::uint32_t inFrontOf(const std::set<std::uint32_t>& windows) {
        for (auto n : desktop->windows().frontToBack())
            if (windows.contains(n)) return n;
        return 0;
    }
    // The window with the keyboard: the frontmost application's focused window.
    std::optional<WindowID> keyboard() {
        AXUtil ax(*desktop);
        const auto window = ax.focusedWindow();
        return window ? ax.windowID(*window) : std::nullopt;
    }

    pid_t editor = 0;
    pid_t stubborn = 0;
};

TEST_F(AppDelegateHotkeysTest,
       startUpWritesTheDefaultTableAndHoldsItsKeysWithTheZoneNumbersOfTheLargestLayout) {
    launch();
    EXPECT_TRUE(std::filesystem::exists(home / "hotkeys.json"));
    EXPECT_EQ(app->hotkeyConfig().bindings.size(), 13u);
    EXPECT_EQ(keys().registered().size(), 20u) << "digits 1-9 for a layout of two zones";
    EXPECT_TRUE(holds(kTab, platform::kHotKeyOption));
    EXPECT_TRUE(holds(kW, kCtrlOpt | platform::kHotKeyShift));
    EXPECT_FALSE(holds(11, kCtrlOpt)) << "B is zone 11";

    // A display with eleven zones brings the letters A and B; A was the global switcher's, and the zone
    // numbers, first in the table, take it.
    auto& zones = d1().layout.zones;
    for (int id = 3; id <= 11; ++id)
        zones[id] = Zone{id, Rect{0, 0, 10, 10}, {}, 0};
    app->registerHotkeys();
    EXPECT_TRUE(holds(11, kCtrlOpt));
    EXPECT_TRUE(holds(0, kCtrlOpt));
    EXPECT_EQ(keys().registered().size(), 21u);

    // No display state at all: the count is 1, and the digits stay.
    app->multiState()->states.clear();
    app->registerHotkeys();
    EXPECT_EQ(keys().registered().size(), 20u);
}

TEST_F(AppDelegateHotkeysTest, theFocusKeysMoveTheFocusToTheNeighbouringZoneOncePerPress) {
    launchAndSettle();
    const auto left = windowIn(1);
    const auto right = windowIn(2);
    desktop->windows().focus(left);
    desktop->loop().runUntilIdle();
    capture.log().clear();

    press(kW, kFocusFlags);
    EXPECT_EQ(focused(), right);
    EXPECT_EQ(count("[app] Focus adjacent region dir=1 on D1"), 1u);

    press(12, kFocusFlags); // Q: back to the left
    EXPECT_EQ(focused(), left);
    EXPECT_EQ(count("[app] Focus adjacent region dir=-1 on D1"), 1u);
}

TEST_F(AppDelegateHotkeysTest, optionTabCyclesTheFocusedWindowsZoneAdoptingItByWhereItStands) {
    launchAndSettle();
    const auto bottom = windowIn(2);
    const auto top = windowIn(2);
    desktop->windows().focus(top);
    desktop->loop().runUntilIdle();

    press(kTab, kEventFlagOption);
    EXPECT_EQ(d1().layout.zones.at(2).stack, (std::vector<WindowID>{top, bottom}));
    EXPECT_EQ(focused(), bottom);
    EXPECT_TRUE(logged("[app] Cycle region 2 direction=1 on D1 (focusedZone=Optional(2))"));

    // A window no zone knows, standing in zone 1, is adopted into it and its zone cycled.
    const auto stray = desktop->windows().open(editor, {.frame = Rect{100, 100, 300, 300}, .title = "Stray"});
    desktop->windows().focus(stray);
    desktop->loop().runUntilIdle();
    d1().zoneOf.erase(stray);
    capture.log().clear();
    press(kTab, kEventFlagOption | kEventFlagShift);
    EXPECT_TRUE(logged("[app] Geometric zone fallback: adopted window into zone 1"));
    EXPECT_EQ(d1().zoneOf.at(stray), 1);
    EXPECT_TRUE(logged("[app] Cycle region 1 direction=-1 on D1 (focusedZone=Optional(1))"));

    // One standing outside every zone cycles nothing.
    const auto outside =
        desktop->windows().open(editor, {.frame = Rect{5000, 100, 300, 300}, .title = "Far"});
    desktop->windows().focus(outside);
    desktop->loop().runUntilIdle();
    d1().zoneOf.erase(outside);
    capture.log().clear();
    press(kTab, kEventFlagOption);
    EXPECT_TRUE(logged("[app] Cycle: focused window not assigned to any zone; abort"));
    EXPECT_FALSE(logged("Cycle region"));
}

// Zone 1 holds the document with the keyboard and a window that asks for the keyboard and never takes it.
// Alt+Tab starts an activation of that window that waits in vain for its focus; Ctrl+Alt+2 pressed
// meanwhile moves the document, which kept the keyboard, into zone 2 at once.
TEST_F(AppDelegateHotkeysTest,
       aPushPressedWhileAnActivationWaitsForAWindowThatNeverTakesTheFocusMovesAtOnce) {
    launchAndSettle();
    const auto never = neverFocusedIn(1);
    const auto document = windowIn(1);
    desktop->windows().focus(document);
    desktop->loop().runUntilIdle();

    keys().press(kTab, kEventFlagOption);
    desktop->loop().advance(milliseconds(10));
    ASSERT_EQ(inFront(), never);
    ASSERT_TRUE(logged("[AsyncActivation:Cycle rid=1 dir=1] Starting strategy=default"));
    const Nanos pressed = desktop->loop().now();
    keys().press(19, kEventFlagControl | kEventFlagOption); // 2
    const Rect zone2 = d1().layout.zones.at(2).frame;
    ASSERT_TRUE(desktop->loop().advanceUntil([&] { return desktop->windows().frame(document) == zone2; },
                                             seconds(3)));
    // The push's own pauses, not the activation's second.
    EXPECT_LT(desktop->loop().now() - pressed, milliseconds(200));
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(keyboard(), document);
    EXPECT_EQ(d1().layout.zones.at(2).stack, std::vector<WindowID>{document});
}

// A zone of the document and a window that asks for the keyboard and never takes it: Alt+Tab brings them
// to the front in turn, each press going on from the window in front, and the document, whenever it is
// in front, has the keyboard.
TEST_F(AppDelegateHotkeysTest, altTabAlternatesBetweenADocumentAndAWindowThatNeverTakesTheFocus) {
    launchAndSettle();
    const auto never = neverFocusedIn(1);
    const auto document = windowIn(1);
    desktop->windows().focus(document);
    desktop->loop().runUntilIdle();

    std::vector<std::uint32_t> fronts;
    for (int press = 0; press < 4; ++press) {
        this->press(kTab, kEventFlagOption);
        fronts.push_back(inFront());
        EXPECT_EQ(keyboard(), document) << press;
    }
    EXPECT_EQ(fronts, (std::vector<std::uint32_t>{never, document, never, document}));
}

// Zone 1 holds the document with the keyboard and a clock, which takes no keyboard focus; zone 2 holds a
// window of another application. Alt+Tab brings the clock in front, and the window manager hands the
// keyboard on to the window of zone 2 as it does: it is given back to the document, the clock staying in
// front, and the next press goes on within zone 1, to the document.
TEST_F(AppDelegateHotkeysTest, theKeyboardAWindowManagerHandsOnAsAClockComesInFrontIsGivenBack) {
    launchAndSettle();
    const pid_t clocks = desktop->workspace().launch({.bundleID = "com.example.clock", .name = "Clock"});
    const Rect zone1 = d1().layout.zones.at(1).frame;
    const auto clock = desktop->windows().open(
        clocks, {.frame = Rect{zone1.minX() + 80, zone1.minY() + 80, 300, 300}, .takesFocus = false});
    desktop->loop().runUntilIdle();
    d1().attach(WinRef{clock, clocks, desktop->windows().element(clock), std::nullopt,
                       desktop->windows().frame(clock)},
                1);
    const auto document = windowIn(1);
    const pid_t others = desktop->workspace().launch({.bundleID = "com.example.other", .name = "Other"});
    const Rect zone2 = d1().layout.zones.at(2).frame;
    const auto elsewhere = desktop->windows().open(
        others, {.frame = Rect{zone2.minX() + 40, zone2.minY() + 40, 400, 300}, .title = "Elsewhere"});
    desktop->loop().runUntilIdle();
    d1().attach(WinRef{elsewhere, others, desktop->windows().element(elsewhere), std::nullopt,
                       desktop->windows().frame(elsewhere)},
                2);
    desktop->windows().focus(document);
    desktop->loop().runUntilIdle();

    keys().press(kTab, kEventFlagOption);
    ASSERT_TRUE(desktop->loop().advanceUntil([&] { return inFront() == clock; }, milliseconds(100)));
    desktop->windows().focus(elsewhere);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(keyboard(), document);
    EXPECT_EQ(inFrontOf({clock, document}), clock);

    press(kTab, kEventFlagOption);
    EXPECT_EQ(inFrontOf({clock, document}), document);
    EXPECT_EQ(keyboard(), document);
}

// The window manager takes 0.4 s to move the first window pushed. Meanwhile the second window gets the
// keyboard and its push key is pressed, and 20 ms later the keyboard goes to a third window: the second
// window is in zone 2 at once, the third stays where it was, the first lands in zone 1 once its window
// manager has moved it, and the keyboard stays with the third window, which the user chose last.
TEST_F(AppDelegateHotkeysTest, aPushKeyPressedWhileAnotherPushWaitsMovesTheWindowThatHadTheKeyboardAtOnce) {
    launchAndSettle();
    constexpr std::uint64_t kPushFlags = kEventFlagControl | kEventFlagOption;
    constexpr std::uint32_t kOne = 18, kTwo = 19;
    auto& loop = desktop->loop();
    const Rect third{1500, 700, 300, 200};
    const auto slow = desktop->windows().open(
        editor, {.frame = Rect{1200, 300, 400, 300}, .title = "Slow", .movesAfter = milliseconds(400)});
    const auto quick = desktop->windows().open(editor, {.frame = Rect{200, 500, 400, 300}, .title = "Quick"});
    const auto other = desktop->windows().open(editor, {.frame = third, .title = "Other"});
    desktop->windows().focus(slow);
    loop.runUntilIdle();

    keys().press(kOne, kPushFlags);
    loop.postAfter(milliseconds(100), [&] {
        desktop->windows().focus(quick);
        keys().press(kTwo, kPushFlags);
    });
    loop.postAfter(milliseconds(120), [&] { desktop->windows().focus(other); });
    loop.advance(milliseconds(200));
    EXPECT_EQ(desktop->windows().frame(quick), d1().layout.zones.at(2).frame);
    EXPECT_EQ(desktop->windows().frame(other), third);
    EXPECT_NE(desktop->windows().frame(slow), d1().layout.zones.at(1).frame) << "its window manager is slow";

    loop.advance(seconds(3));
    EXPECT_EQ(desktop->windows().frame(slow), d1().layout.zones.at(1).frame);
    EXPECT_EQ(d1().layout.zones.at(1).stack, (std::vector<WindowID>{slow}));
    EXPECT_EQ(d1().layout.zones.at(2).stack, (std::vector<WindowID>{quick}));
    EXPECT_EQ(desktop->windows().frame(other), third);
    EXPECT_EQ(focused(), other);
}

TEST_F(AppDelegateHotkeysTest, aTableStoredFromTheSettingsIsHeldAtOnce) {
    launch();
    HotkeyConfig edited = app->hotkeyConfig();
    for (auto& binding : edited.bindings)
        if (binding.action == "focus.right") binding.key = "J";
    app->saveHotkeyConfig(edited);
    EXPECT_FALSE(holds(kW, kCtrlOpt | platform::kHotKeyShift));
    EXPECT_TRUE(holds(38, kCtrlOpt | platform::kHotKeyShift));

    capture.log().clear();
    press(38, kFocusFlags);
    EXPECT_EQ(count("Focus adjacent region dir=1 on"), 1u);
    press(kW, kFocusFlags);
    EXPECT_EQ(count("Focus adjacent region dir=1 on"), 1u) << "W no longer does";
}

} // namespace
