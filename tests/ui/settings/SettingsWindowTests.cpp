// The "Preferences" window on Qt's offscreen platform: its frame and controls as the window manager is
// asked for them, shown only on request, centred on the main screen as it is at each opening, hidden rather
// than destroyed by a close, and its picture under build/screenshots.
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/SettingsWindowController.h"

#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "ui/overlays/Overlay.h"

#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korvane;

namespace {

TEST(SettingsWindow, isAResizableClosablePreferencesWindowOf850By600CentredAndShownOnlyWhenAsked) {
    sim::ScopedSimDesktop desktop;
    // The main display, below a panel 25 high: larger than the toolkit's own screen here, which the
    // window is not placed by.
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}});
    auto model = std::make_shared<SettingsViewModel>(*desktop, SettingsViewModel::Callbacks{});
    QPointer<QWidget> window;
    {
        SettingsWindowController controller(*desktop, model);
        window = controller.window();
        ASSERT_TRUE(window);
        EXPECT_EQ(controller.viewModel, model);
        EXPECT_EQ(window->windowTitle().toStdString(), "Preferences");
        EXPECT_EQ(window->size(), QSize(850, 600));
        EXPECT_TRUE(window->isWindow());
        const Qt::WindowFlags flags = window->windowFlags();
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint) << "resizable up to the screen";
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint) << "the normal level";
        EXPECT_EQ(window->geometry().center(), QRect(0, 25, 1440, 875).center());
        EXPECT_FALSE(controller.isWindowVisible());

        controller.showWindow();
        EXPECT_TRUE(controller.isWindowVisible());
        korvane::testing::saveScreenshot(*window, "settings-window.png");

        window->close();
        EXPECT_FALSE(controller.isWindowVisible());
        EXPECT_EQ(controller.window(), window) << "a close hides the window for the next showing";

        // Another monitor becomes the main screen: the next opening is centred there, and a request
        // while it shows leaves it where it is.
        const int side = desktop->screens().addDisplay({.frame = Rect{1440, 0, 1920, 1080}});
        desktop->screens().setMainDisplay(side);
        desktop->loop().runUntilIdle();
        controller.showWindow();
        const QRect main = qtGlobalRect(desktop->screens(), desktop->screens().mainScreen()->visibleFrame);
        // Placed by its corner; once shown, the offscreen platform draws a frame around it.
        EXPECT_EQ(QRect(window->pos(), window->size()).center(), main.center());
        window->move(window->pos() + QPoint(40, 30));
        const QPoint moved = window->pos();
        controller.showWindow();
        EXPECT_EQ(window->pos(), moved);
    }
    EXPECT_TRUE(window.isNull()) << "the window goes with its controller";
}

} // namespace
