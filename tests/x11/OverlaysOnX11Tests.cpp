// The zone highlight as a real X server and window manager see it, shown by a widget application on the
// test's own server (the program shows it once drag snapping and the gestures come; its toasts are shown by
// the program itself in PushKeysOnX11Tests): where it stands, that the windows under it show through and
// take the clicks made on it, and that Korvane's tracker leaves it out. Its picture, as the server shows
// it, is left under build/screenshots.
#include "X11Fixture.h"

#include "core/AXUtil.h"
#include "platform/Format.h"
#include "tracking/WindowTracker.h"
#include "ui/overlays/ZoneHighlightController.h"

#include <QApplication>
#include <QDir>

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
        ::setenv("DISPLAY", session().display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
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

} // namespace
} // namespace korvane::x11::test
