// The control+option gestures' swallow rules on recorded event sequences, the state they leave, the
// right click's screen with a display above the primary, and the stored switch that turns them off.
#include "input/SDPController.h"

#include "input/MouseEventTap.h"
#include "platform/HotKeys.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;
using platform::MouseEvent;
using platform::MouseEventType;
using T = MouseEventType;

namespace {

constexpr std::uint64_t C = platform::kEventFlagControl;
constexpr std::uint64_t O = platform::kEventFlagOption;
constexpr std::uint64_t S = platform::kEventFlagShift;
constexpr std::uint64_t CO = C | O;

MouseEvent ev(MouseEventType type, std::uint64_t flags, Point at = {100, 100}, double scroll = 0) {
    return MouseEvent{type, at, flags, scroll};
}

struct Row {
    const char* name;
    std::vector<MouseEvent> sequence;
    std::vector<bool> swallowed;
    std::string endState;
};

} // namespace

TEST(SDPController, swallowsOnlyWhatTheGesturesOwnAndEndsInTheExpectedState) {
    const std::vector<Row> rows = {
        {"modifier changes pass and arm",
         {ev(T::flagsChanged, C), ev(T::flagsChanged, CO)},
         {false, false},
         "armed"},
        {"armed: a press on no window is swallowed, its release passes",
         {ev(T::flagsChanged, CO), ev(T::leftMouseDown, CO), ev(T::leftMouseUp, CO)},
         {false, true, false},
         "armed"},
        {"armed: right press swallowed, right release, moves, drags and other buttons pass",
         {ev(T::flagsChanged, CO), ev(T::rightMouseDown, CO), ev(T::rightMouseUp, CO), ev(T::mouseMoved, CO),
          ev(T::rightMouseDragged, CO), ev(T::otherMouseDown, CO), ev(T::leftMouseDragged, CO)},
         {false, true, false, false, false, false, false},
         "armed"},
        {"a scroll below the threshold is still swallowed while armed",
         {ev(T::flagsChanged, CO), ev(T::scrollWheel, CO, {100, 100}, 0.1),
          ev(T::scrollWheel, CO, {100, 100}, -0.05)},
         {false, true, true},
         "armed"},
        {"idle: every chord event passes",
         {ev(T::leftMouseDown, CO), ev(T::scrollWheel, CO, {100, 100}, 3), ev(T::rightMouseDown, CO)},
         {false, false, false},
         "idle"},
        {"only control held: a scroll passes and the armed gesture stays",
         {ev(T::flagsChanged, CO), ev(T::scrollWheel, C, {100, 100}, 2)},
         {false, false},
         "armed"},
        {"releasing a key returns to idle",
         {ev(T::flagsChanged, CO), ev(T::flagsChanged, O), ev(T::leftMouseDown, CO)},
         {false, false, false},
         "idle"},
        {"shift and command neither help nor hinder",
         {ev(T::flagsChanged, CO | S | platform::kEventFlagCommand), ev(T::rightMouseDown, CO | S)},
         {false, true},
         "armed"},
    };
    for (const auto& row : rows) {
        sim::ScopedSimDesktop desktop;
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1000, 800}, .uuid = "D1"});
        desktop->loop().runUntilIdle();
        SDPController sdp(*desktop, nullptr, nullptr);
        std::vector<bool> got;
        for (const auto& e : row.sequence)
            got.push_back(sdp.handle(e));
        EXPECT_EQ(got, row.swallowed) << row.name;
        EXPECT_EQ(describe(sdp.stateMachine().state()), row.endState) << row.name;
    }
}

TEST(SDPController, theFirstArmedPressWithoutAccessibilityShowsTheWarningOnceAndIsSwallowed) {
    sim::ScopedSimDesktop desktop;
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1000, 800}, .uuid = "D1"});
    desktop->accessibility().setProcessTrusted(false);
    desktop->loop().runUntilIdle();
    SDPController sdp(*desktop, nullptr, nullptr);
    std::vector<std::string> toasts;
    sdp.showToast = [&](const std::string& message, const std::string&, double) {
        toasts.push_back(message);
    };
    sdp.handle(ev(T::flagsChanged, CO));
    EXPECT_TRUE(sdp.handle(ev(T::leftMouseDown, CO)));
    EXPECT_TRUE(sdp.handle(ev(T::leftMouseDown, CO)));
    EXPECT_EQ(toasts, std::vector<std::string>{"Window dragging needs a running window manager"});
}

TEST(SDPController, theRightClickTogglesTheSwitcherOnTheScreenUnderTheCursorEvenAboveThePrimary) {
    sim::ScopedSimDesktop desktop;
    // The primary below, a second display straight above it: top-left y of the upper one is negative.
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1000, 800}, .name = "Lower", .uuid = "LOW"});
    desktop->screens().addDisplay({.frame = Rect{0, 800, 1000, 600}, .name = "Upper", .uuid = "HIGH"});
    desktop->loop().runUntilIdle();
    SDPController sdp(*desktop, nullptr, nullptr);
    std::vector<std::string> toggled;
    sdp.configureGlobalSwitcher(nullptr,
                                [&](const platform::ScreenInfo& s) { toggled.push_back(s.displayUUID); });

    sdp.handle(ev(T::flagsChanged, CO));
    EXPECT_TRUE(sdp.handle(ev(T::rightMouseDown, CO, {500, -300})));
    EXPECT_TRUE(sdp.handle(ev(T::rightMouseDown, CO, {500, 100})));
    EXPECT_TRUE(sdp.handle(ev(T::rightMouseDown, CO, {5000, 5000}))); // on no screen: the main one
    EXPECT_EQ(toggled, (std::vector<std::string>{"HIGH", "LOW", "LOW"}));
    EXPECT_TRUE(sdp.stateMachine().isArmed());
}

TEST(SDPController, theStoredSwitchIsReadAtCreationSoGesturesStayOffAfterARestart) {
    sim::ScopedSimDesktop desktop;
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1000, 800}, .uuid = "D1"});
    desktop->loop().runUntilIdle();
    desktop->userDefaults().set("SDPEnabled", false);
    SDPController off(*desktop, nullptr, nullptr);
    EXPECT_FALSE(off.isEnabled);
    off.handle(ev(T::flagsChanged, CO));
    EXPECT_FALSE(off.handle(ev(T::rightMouseDown, CO)));
    EXPECT_TRUE(off.stateMachine().isIdle());

    desktop->userDefaults().set("SDPEnabled", "yes"); // not a flag: the default, on
    EXPECT_TRUE(SDPController(*desktop, nullptr, nullptr).isEnabled);
}

TEST(SDPStateMachine, armingDuringADragKeepsItAndOnlyAnArmedMachineStartsOne) {
    SDPStateMachine m;
    m.startPickAndDrop(DragContext{});
    EXPECT_TRUE(m.isIdle());
    m.arm({1, 2});
    m.startPickAndDrop(DragContext{});
    m.arm({3, 4});
    EXPECT_TRUE(m.isPickAndDrop());
    m.returnToIdle();
    EXPECT_TRUE(m.isIdle());
    EXPECT_NE(ZoneIdentifier({"A", 1}), ZoneIdentifier({"B", 1}));
}

TEST(MouseEventTap, handlersSeeEveryEventBeforeTheDelegateWhichAloneSwallows) {
    sim::ScopedSimDesktop desktop;
    auto tap = MouseEventTap::shared();
    std::vector<std::string> seen;
    struct Recorder final : MouseEventHandler {
        std::vector<std::string>* out;
        std::string name;
        void handle(const MouseEvent& e) override { out->push_back(name + std::to_string(int(e.type))); }
    };
    struct Swallower final : SDPInteractionDelegate {
        std::vector<std::string>* out;
        bool handle(const MouseEvent& e) override {
            out->push_back("d" + std::to_string(int(e.type)));
            return e.type == T::rightMouseDown;
        }
    };
    auto a = std::make_shared<Recorder>(), b = std::make_shared<Recorder>();
    a->out = b->out = &seen;
    a->name = "a";
    b->name = "b";
    auto d = std::make_shared<Swallower>();
    d->out = &seen;
    tap->addHandler(a);
    tap->addHandler(b);
    tap->delegate = d;
    // Without its raw events the tap does not run, and says so; the next start tries again.
    sim::ScopedLogCapture capture;
    desktop->hotKeys().refuseRunLoopSource = true;
    tap->start();
    EXPECT_FALSE(tap->isRunning());
    EXPECT_FALSE(desktop->hotKeys().anyMouseTapEnabled());
    EXPECT_EQ(capture.console().lines(),
              std::vector<std::string>{"[MouseEventTap] Failed to select XInput2 raw events"});
    desktop->hotKeys().refuseRunLoopSource = false;
    tap->start();
    tap->start(); // once
    ASSERT_TRUE(tap->isRunning());

    desktop->hotKeys().mouse(ev(T::rightMouseDown, CO));
    desktop->hotKeys().mouse(ev(T::flagsChanged, CO));
    desktop->loop().runUntilIdle();
    desktop->hotKeys().disableMouseTaps(T::tapDisabledByTimeout);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string>{"a3", "b3", "d3", "a12", "b12", "d12"}));
    EXPECT_EQ(tap->currentModifiers(), CO);
    EXPECT_TRUE(desktop->hotKeys().anyMouseTapEnabled()); // turned on again by the notice
    const auto passed = desktop->hotKeys().mousePassedOn();
    ASSERT_EQ(passed.size(), 1u);
    EXPECT_EQ(passed[0].type, T::flagsChanged);

    tap->stop();
    tap->stop();
    desktop->hotKeys().mouse(ev(T::leftMouseDown, 0));
    desktop->loop().runUntilIdle();
    EXPECT_EQ(seen.size(), 6u);
    MouseEventTap::setShared(nullptr);
}
