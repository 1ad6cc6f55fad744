// The zone highlight and the restore card as a real X server and window manager see them, shown by a
// widget application on the test's own server (the program shows the highlight once drag snapping and the
// gestures come; its toasts are shown by the program itself in PushKeysOnX11Tests): where each stands,
// that the windows under it show through and take the clicks made on it, that it leaves the keyboard
// where it was, and that Korvane's tracker leaves it out. Their pictures, as the server shows them, are
// left under build/screenshots. A window that holds the keyboard keeps the keys typed at it through the
// window manager taking it off screen and back: another desktop shown, a window manager replaced or ended
// and started again.
#include "X11Fixture.h"

#include "core/AXUtil.h"
#include "platform/Format.h"
#include "scenes/SceneRestoreEngine.h"
#include "tracking/WindowTracker.h"
#include "ui/overlays/KeyboardHold.h"
#include "ui/overlays/ZoneHighlightController.h"
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>

#include <algorithm>
#include <cstdlib>

#ifndef KORVANE_SCREENSHOT_DIR
#error "KORVANE_SCREENSHOT_DIR must name the folder of the pictures"
#endif

namespace korvane::x11::test {
namespace {

class OverlaysOnX11Test : public X11Test {
  protected:
    // The widget application talks to the session's server; the desktop made for each test takes it.
    static void SetUpTestSuite() {
        X11Test::SetUpTestSuite();
        session().useForWidgets();
        static int argc = 1;
        static char name[] = "korvane-overlay-tests";
        static char* argv[] = {name, nullptr};
        application = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete std::exchange(application, nullptr);
        X11Test::TearDownTestSuite();
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        X11Test::TearDown();
    }

    std::shared_ptr<WindowTracker> startTracker() {
        auto tracker = WindowTracker::create(*desktop, AXUtil::shared());
        tracker->startObserving();
        return tracker;
    }
    static bool manages(const WindowTracker& tracker, xcb_window_t window) {
        return tracker.managed().contains(static_cast<WindowID>(window));
    }
    static std::string screenshot(const std::string& name) {
        QDir().mkpath(KORVANE_SCREENSHOT_DIR);
        return std::string(KORVANE_SCREENSHOT_DIR) + "/" + name;
    }

    static inline QApplication* application = nullptr;
};

TEST_F(OverlaysOnX11Test, theHighlightCoversTheZoneAndAClickOnItReachesTheWindowUnderneath) {
    const auto below = xterm("Below", "60x20+2000+200");
    const auto other = xterm("Other", "60x20+3000+600");
    ASSERT_TRUE(runUntil([&] { return session().activeWindow() == other.window; }));
    const auto tracker = startTracker();

    // The left half of the primary monitor, given bottom-left as zones are.
    ZoneHighlightController highlight(*desktop);
    const Rect zone{0, 0, 960, 1080};
    highlight.show(zone);
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(runUntil(
        [&] { return (window = session().viewableWindowTitled("Korvane Zone Highlight")).has_value(); }));
    EXPECT_EQ(session().frameOf(*window), (Rect{1920, 0, 960, 1080}));
    // The type the window manager reads first.
    EXPECT_EQ(session().atomNames(*window, "_NET_WM_WINDOW_TYPE").at(0), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    runUntil([] { return false; }, milliseconds(300)); // time for the tracker to hear of a new window
    EXPECT_TRUE(manages(*tracker, below.window));
    EXPECT_FALSE(manages(*tracker, *window));
    // Without a compositing manager only the outline is left of it: the xterm shows through, white.
    EXPECT_EQ(session().rootPixel(2100, 300), 0xFFFFFFu);
    EXPECT_NE(session().rootPixel(2400, 1), session().rootPixel(2400, 5)); // the outline along the top edge
    EXPECT_TRUE(session().saveScreenshot(kPrimaryRoot, screenshot("zone-highlight-x11.png")));

    session().click(2100, 300); // on the xterm, through the highlight
    EXPECT_TRUE(runUntil([&] { return session().activeWindow() == below.window; }));
    highlight.hide();
    EXPECT_TRUE(runUntil([&] { return !session().viewableWindowTitled("Korvane Zone Highlight"); }));
}

TEST_F(OverlaysOnX11Test,
       theRestoreCardStandsBelowTheMainMonitorsTopOnEveryDesktopAndAClickOnItReachesTheXterm) {
    const auto below = xterm("Below", "80x24+2600+10");
    const auto other = xterm("Other", "60x20+3000+600");
    ASSERT_TRUE(runUntil([&] { return session().activeWindow() == other.window; }));
    const auto tracker = startTracker();

    auto hud = std::make_shared<SceneRestoreHUDController>(*desktop);
    hud->show(SceneRestoreResult{.sceneName = "Terminals", .totalDisplays = 2, .appliedDisplays = 2},
              std::nullopt);
    std::optional<xcb_window_t> card;
    ASSERT_TRUE(
        runUntil([&] { return (card = session().viewableWindowTitled("Scene Restored")).has_value(); }));
    // Centred on the main monitor (root 1920, 0, 1920 x 1080), its top 40 pixels below the monitor's top
    // once it has slid into place.
    EXPECT_TRUE(
        runUntil([&] { return session().frameOf(*card) == Rect(2720, 40, 320, 80); }, milliseconds(800)))
        << platform::describe(session().frameOf(*card));
    EXPECT_EQ(session().atomNames(*card, "_NET_WM_WINDOW_TYPE").at(0), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    const auto states = session().atomNames(*card, "_NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"})
        EXPECT_NE(std::find(states.begin(), states.end(), state), states.end()) << state;
    EXPECT_EQ(session().desktopOf(*card), 0xFFFFFFFFu); // every desktop
    EXPECT_FALSE(manages(*tracker, *card));
    EXPECT_EQ(session().activeWindow(), other.window) << "showing the card takes no focus";
    // Without a compositing manager the corners are cut away: the xterm shows there, white, beside the
    // card's light grey.
    EXPECT_EQ(session().rootPixel(2721, 41), 0xFFFFFFu);
    EXPECT_EQ(session().rootPixel(3020, 50), 0xF7F7F7u);
    EXPECT_TRUE(session().saveScreenshot(Rect(2560, 0, 640, 200), screenshot("scene-restore-hud-x11.png")));

    session().click(2880, 80); // on the card, over the xterm
    EXPECT_TRUE(runUntil([&] { return session().activeWindow() == below.window; }));
    // Gone 1.5 s after it came.
    EXPECT_TRUE(runUntil([&] { return !session().viewableWindowTitled("Scene Restored"); }, seconds(3)));
    EXPECT_EQ(hud->window(), nullptr);
}

// A window holding the keyboard, each time a terminal has opened and taken the focus: the window manager
// shows another desktop and this one again, which unmaps the window and maps it again; it is replaced by
// another, and it ends and another starts, each of which takes the window out of one frame and into
// another. The letters typed each time go to the window, none to the terminal.
TEST_F(OverlaysOnX11Test, aWindowHoldingTheKeyboardKeepsItThroughADesktopSwitchAndAWindowManagerChange) {
    QLineEdit field;
    field.setWindowTitle("Korvane Holds");
    field.setGeometry(2100, 100, 300, 40);
    field.show();
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(
        runUntil([&] { return (window = session().viewableWindowTitled("Korvane Holds")).has_value(); }));
    KeyboardHold hold(*desktop, AXUtil::shared());
    hold.begin();
    hold.hold(&field);
    // A terminal that opens beneath the window takes the focus; the letter typed then goes to the window.
    int terminals = 0;
    const auto typedAfterATerminalOpens = [&](char letter) {
        const auto beneath = xterm("Beneath " + std::to_string(++terminals), "60x20+2000+60");
        EXPECT_TRUE(runUntil([&] { return session().activeWindow() == beneath.window; }));
        const QString before = field.text();
        session().pressKeys({session().keycodeOf(static_cast<std::uint32_t>(letter))});
        runUntil([&] { return field.text() != before; }, seconds(3));
        return field.text().toStdString();
    };
    const auto shownAgain = [&] {
        return runUntil([&] { return session().viewableWindowTitled("Korvane Holds") == window; });
    };
    EXPECT_EQ(typedAfterATerminalOpens('a'), "a");

    session().setDesktopCount(2);
    session().showDesktop(1);
    EXPECT_TRUE(runUntil([&] { return !session().viewableWindowTitled("Korvane Holds"); }));
    session().showDesktop(0);
    ASSERT_TRUE(shownAgain());
    EXPECT_EQ(typedAfterATerminalOpens('b'), "ab");

    session().replaceWindowManager();
    ASSERT_TRUE(shownAgain());
    EXPECT_EQ(typedAfterATerminalOpens('c'), "abc");

    session().killWindowManager();
    session().startWindowManager();
    ASSERT_TRUE(shownAgain());
    EXPECT_EQ(typedAfterATerminalOpens('d'), "abcd");

    hold.end(false);
    session().setDesktopCount(1);
}

} // namespace
} // namespace korvane::x11::test
