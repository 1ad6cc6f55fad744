// The restore heads-up display on Qt's offscreen platform over the simulated desktop: what a report says,
// where it shows and for how long, that a new report replaces the old, that it takes neither the focus nor
// a click; its pictures are left under build/screenshots.
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include "platform/sim/SimDesktop.h"
#include "scenes/SceneRestoreEngine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QWindow>

using namespace korvane;

namespace {

class SceneRestoreHUDTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .name = "Studio", .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .name = "Side", .uuid = "D2"});
    }
    void TearDown() override {
        hud.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The texts the report shows, top to bottom.
    std::vector<std::string> shownLines() {
        std::vector<std::string> out;
        if (!hud->window()) return out;
        for (QLabel* label : hud->window()->findChildren<QLabel*>())
            out.push_back(label->text().toStdString());
        return out;
    }
    // Every report window still on screen.
    static int visibleReports() {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == "Scene Restored") ++count;
        return count;
    }
    static void saveScreenshot(QWidget* widget, const std::string& name) {
        ASSERT_TRUE(QDir().mkpath(KORVANE_SCREENSHOT_DIR));
        const QString path = QString(KORVANE_SCREENSHOT_DIR) + "/" + QString::fromStdString(name);
        EXPECT_TRUE(widget->grab().save(path, "PNG")) << path.toStdString();
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<SceneRestoreHUDController> hud = std::make_shared<SceneRestoreHUDController>(*desktop);
    SceneRestoreResult restored{.sceneName = "Morning Desk",
                                .totalDisplays = 2,
                                .appliedDisplays = 1,
                                .unresolvedDisplays = {"D2"},
                                .placedWindows = 3,
                                .totalHints = 4,
                                .parkedWindows = 2};
};

} // namespace

TEST_F(SceneRestoreHUDTest, aReportSaysWhatWasRestoredAndGoesAfterOneAndAHalfSeconds) {
    hud->show(restored, std::nullopt);

    QWidget* window = hud->window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownLines(),
              (std::vector<std::string>{"Morning Desk", "Displays 1 of 2 · Windows 3 of 4 · 2 parked",
                                        "No layout for Side"}));
    // 320 x 80, centred on the main display.
    EXPECT_EQ(window->geometry(), QRect(560, 410, 320, 80));
    // Above everything, frameless, and out of the way of the focus and the pointer.
    const Qt::WindowFlags flags = window->windowFlags();
    for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                                Qt::WindowDoesNotAcceptFocus, Qt::WindowTransparentForInput})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_NE(QApplication::activeWindow(), window);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_EQ(window->windowHandle()->property("_q_xcb_wm_window_type").toInt(), 0x800);
    saveScreenshot(window, "scene-restore-hud.png");

    desktop->loop().advance(milliseconds(1499));
    EXPECT_EQ(visibleReports(), 1);
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(hud->window(), nullptr);
    EXPECT_EQ(visibleReports(), 0);
}

TEST_F(SceneRestoreHUDTest, aNewReportReplacesTheOneShowingOnTheScreenItNames) {
    hud->show(restored, std::nullopt);
    desktop->loop().advance(milliseconds(1000));
    const SceneRestoreResult second{.sceneName = "Evening", .totalDisplays = 2, .appliedDisplays = 2};
    hud->show(second, desktop->screens().display(2));

    EXPECT_EQ(visibleReports(), 1);
    EXPECT_EQ(shownLines(), (std::vector<std::string>{"Evening", "Displays 2 of 2 · Windows 0 of 0"}));
    // Centred on the side display, whose top edge lies 100 points below the main display's.
    EXPECT_EQ(hud->window()->geometry(), QRect(1920, 460, 320, 80));
    // The second report has its own 1.5 s.
    desktop->loop().advance(milliseconds(1000));
    EXPECT_EQ(visibleReports(), 1);
    desktop->loop().advance(milliseconds(500));
    EXPECT_EQ(visibleReports(), 0);
}

TEST_F(SceneRestoreHUDTest, aRestoreRefusedForLackOfPermissionSaysSo) {
    desktop->screens().setCompositing(true); // the panel's rounded corners show the desktop behind them
    hud->show(SceneRestoreResult{.sceneName = "Morning Desk", .failedCount = 1, .permissionDenied = true},
              std::nullopt);

    EXPECT_EQ(shownLines(), (std::vector<std::string>{"Morning Desk", "Accessibility permission required"}));
    saveScreenshot(hud->window(), "scene-restore-hud-denied.png");
}
