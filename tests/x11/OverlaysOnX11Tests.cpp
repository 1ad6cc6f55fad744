// Toasts and the zone highlight as a real X server and window manager see them, shown by a widget
// application on the test's own server: where they stand, that they are notifications kept above every
// window and on every desktop, that neither takes the focus nor a click, and that Korvane's own view of
// the windows leaves them out. Their pictures, as the server shows them, are left under build/screenshots.
#include "X11Fixture.h"

#include "core/AXUtil.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/WindowServer.h"
#include "tracking/WindowTracker.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/overlays/ZoneHighlightController.h"

#include <QApplication>
#include <QDir>

#include <algorithm>
#include <cstdint>
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

    platform::ScreenInfo primary() { return *desktop->screens().mainScreen(); }
    static bool has(const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    // Where Korvane's view of the windows would take an overlay in: its layer in the window server's list
    // (ordinary windows are on layer 0) and whether the tracker, watching every other application, manages
    // it.
    std::optional<std::int64_t> layerOf(xcb_window_t window) {
        if (auto list = desktop->windowServer().copyWindowInfo(platform::kOnScreenOnly, 0))
            for (const auto& entry : *list)
                if (windowinfo::windowNumber(entry) == window)
                    return windowinfo::integerValue(entry, platform::WindowKey::layer);
        return std::nullopt;
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

TEST_F(OverlaysOnX11Test, aToastIsAStickyNotificationAboveEveryWindowThatLeavesTheFocusAloneAndGoesOnTime) {
    const auto notes = xterm("Notes", "80x24+2000+200");
    ASSERT_TRUE(runUntil([&] { return session().activeWindow() == notes.window; }));
    const auto tracker = startTracker();

    auto toasts = std::make_shared<ToastHUDController>(*desktop);
    toasts->show("Window not in any zone", primary(), 2.0);
    std::optional<xcb_window_t> toast;
    ASSERT_TRUE(
        runUntil([&] { return (toast = session().viewableWindowTitled("Korvane Toast")).has_value(); }));

    // 40 high, centred on the primary monitor, its top 40 pixels below the monitor's top.
    const Rect frame = session().frameOf(*toast);
    EXPECT_EQ(frame.height(), 40) << platform::describe(frame);
    EXPECT_LE(std::abs(frame.midX() - kPrimaryRoot.midX()), 1) << platform::describe(frame);
    EXPECT_EQ(frame.minY(), kPrimaryRoot.minY() + 40) << platform::describe(frame);
    EXPECT_EQ(session().atomNames(*toast, "_NET_WM_WINDOW_TYPE").front(), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    const auto states = session().atomNames(*toast, "_NET_WM_STATE");
    // Above the others; on every desktop as this window manager records it, by the desktop number (it
    // keeps no sticky state of its own and drops the one asked for when it takes the window on).
    EXPECT_TRUE(has(session().atomNames(*toast, "_NET_WM_STATE"), "_NET_WM_STATE_ABOVE"));
    EXPECT_EQ(session().desktopOf(*toast), 0xFFFFFFFFu);
    EXPECT_EQ(session().activeWindow(), notes.window);
    EXPECT_NE(layerOf(*toast).value_or(0), 0) << "listed among the ordinary windows";
    runUntil([] { return false; }, milliseconds(300)); // time for the tracker to hear of a new window
    EXPECT_TRUE(manages(*tracker, notes.window));
    EXPECT_FALSE(manages(*tracker, *toast));
    EXPECT_TRUE(session().saveScreenshot(kPrimaryRoot, screenshot("toast-x11.png")));

    EXPECT_TRUE(runUntil([&] { return !session().viewableWindowTitled("Korvane Toast"); }, seconds(3)));
    EXPECT_EQ(session().activeWindow(), notes.window);
}

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
