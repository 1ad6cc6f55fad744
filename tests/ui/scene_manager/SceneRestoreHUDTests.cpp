// The restore heads-up display on Qt's offscreen platform over the simulated desktop: what the card says
// for each kind of outcome, where it shows and for how long in virtual time, a window counted after the
// report, a card awaiting launches that goes all the same, that a new report replaces the old, that it
// takes neither the focus nor a click; pictures of its four states, of an application that could not be
// started and of windows whose zone is gone are left under build/screenshots.
#include "ui/scene_manager/SceneRestoreHUDController.h"
#include "ui/scene_manager/SceneRestoreHUDView.h"

#include "platform/sim/SimDesktop.h"
#include "scenes/SceneRestoreEngine.h"
#include "support/Screenshot.h"
#include "ui/overlays/Overlay.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWindow>

using namespace korvane;

namespace {

class SceneRestoreHUDTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The main display has a 25-point bar along its top; the side display stands to its right.
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900},
                                       .visibleFrame = Rect{0, 0, 1440, 875},
                                       .name = "Studio",
                                       .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .name = "Side", .uuid = "D2"});
    }
    void TearDown() override {
        hud.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void advance(int ms) { desktop->loop().advance(milliseconds(ms)); }
    SceneRestoreHUDView* card() const {
        return hud->window() ? hud->window()->findChild<SceneRestoreHUDView*>() : nullptr;
    }
    // Every card window still on screen.
    static int visibleCards() {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == "Scene Restored") ++count;
        return count;
    }
    // The card as drawn, its cut-away corners left transparent.
    static void saveScreenshot(QWidget* view, const std::string& name) {
        QImage picture(view->size(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        view->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        korvane::testing::saveScreenshot(picture, name);
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<SceneRestoreHUDController> hud = std::make_shared<SceneRestoreHUDController>(*desktop);
    SceneRestoreResult partial{.sceneName = "Morning Desk",
                               .totalDisplays = 2,
                               .appliedDisplays = 1,
                               .unresolvedDisplays = {"D2"},
                               .placedWindows = 3,
                               .totalHints = 4};
};

} // namespace

TEST_F(SceneRestoreHUDTest, theCardNamesTheStateAndTheDetailOfEachKindOfOutcome) {
    const QColor orange(255, 149, 0), green(52, 199, 89);
    struct Row {
        const char* what;
        SceneRestoreResult result;
        SceneRestoreHUDView::State state;
        const char* symbol;
        QColor color;
        const char* detail;
    };
    const Row rows[] = {
        {"one of two displays unresolved, 3 of 4 placed", partial, SceneRestoreHUDView::State::partial,
         "exclamationmark.circle.fill", orange, "1/2 displays · 3/4 placed"},
        {"every display, 2 of 2 placed, 1 parked",
         {.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .placedWindows = 2,
          .totalHints = 2,
          .parkedWindows = 1},
         SceneRestoreHUDView::State::success,
         "checkmark.circle.fill",
         green,
         "All displays restored · 2/2 placed · 1 parked"},
        {"permission denied, whatever the counts",
         {.sceneName = "Evening",
          .failedCount = 1,
          .totalDisplays = 2,
          .appliedDisplays = 0,
          .unresolvedDisplays = {"D1", "D2"},
          .permissionDenied = true,
          .placedWindows = 1,
          .totalHints = 4,
          .parkedWindows = 2},
         SceneRestoreHUDView::State::permission,
         "lock.circle.fill",
         orange,
         "No window manager running"},
        {"a scene without hints",
         {.sceneName = "Empty", .totalDisplays = 1, .appliedDisplays = 1},
         SceneRestoreHUDView::State::success,
         "checkmark.circle.fill",
         green,
         "All displays restored"},
        {"hints of which none placed, windows parked, nothing applied",
         {.sceneName = "Away",
          .totalDisplays = 1,
          .unresolvedDisplays = {"D1"},
          .totalHints = 3,
          .parkedWindows = 4},
         SceneRestoreHUDView::State::partial,
         "exclamationmark.circle.fill",
         orange,
         "0/1 displays · 0/3 placed · 4 parked"},
        {"every display, an application that could not be started",
         {.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .placedWindows = 1,
          .totalHints = 2,
          .unstartedApps = {"xcalc"}},
         SceneRestoreHUDView::State::partial,
         "exclamationmark.circle.fill",
         orange,
         "All displays restored · 1/2 placed · 1 app not started"},
        {"every display, windows whose zone the display's layout no longer has",
         {.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .placedWindows = 2,
          .totalHints = 4,
          .appsWithoutZone = 2},
         SceneRestoreHUDView::State::partial,
         "exclamationmark.circle.fill",
         orange,
         "All displays restored · 2/4 placed · 2 apps without their zones"},
        {"one window without its zone and one application not started",
         {.sceneName = "Evening",
          .totalDisplays = 1,
          .appliedDisplays = 1,
          .totalHints = 2,
          .unstartedApps = {"xcalc"},
          .appsWithoutZone = 1},
         SceneRestoreHUDView::State::partial,
         "exclamationmark.circle.fill",
         orange,
         "All displays restored · 0/2 placed · 1 app not started · 1 app without its zone"},
        {"the active scene's file unreadable at launch, whatever the counts",
         {.sceneName = "Desk", .failedCount = 1, .totalDisplays = 2, .sceneUnreadable = true},
         SceneRestoreHUDView::State::unreadable,
         "exclamationmark.circle.fill",
         orange,
         "Scene file cannot be read"},
    };
    for (const Row& row : rows) {
        hud->show(row.result, std::nullopt);
        ASSERT_NE(card(), nullptr) << row.what;
        EXPECT_EQ(card()->title(), row.result.sceneName) << row.what;
        EXPECT_EQ(card()->state(), row.state) << row.what;
        EXPECT_EQ(card()->symbolName(), row.symbol) << row.what;
        EXPECT_EQ(card()->stateColor(), row.color) << row.what;
        EXPECT_EQ(card()->detail(), row.detail) << row.what;
    }
    // An unreadable scene the manifest no longer names still gets a title.
    hud->show({.failedCount = 1, .sceneUnreadable = true}, std::nullopt);
    EXPECT_EQ(card()->title(), "Active Scene");
}

TEST_F(SceneRestoreHUDTest, theCardSlidesIntoPlaceBelowTheTopOfTheMainDisplayAndGoesAfterOneAndAHalfSeconds) {
    hud->show(partial, std::nullopt);

    QWidget* window = hud->window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    // Entering from transparent, 10 points above its place.
    EXPECT_EQ(window->geometry(), QRect(560, 55, 320, 80));
    EXPECT_EQ(window->windowOpacity(), 0.0);
    advance(100);
    EXPECT_GT(window->windowOpacity(), 0.5);
    advance(420);
    // Centred on the main display, its top 40 points below the bar.
    EXPECT_EQ(window->geometry(), QRect(560, 65, 320, 80));
    EXPECT_EQ(window->windowOpacity(), 1.0);

    // Above everything, frameless, and out of the way of the focus and the pointer.
    const Qt::WindowFlags flags = window->windowFlags();
    for (Qt::WindowType flag :
         {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus,
          Qt::WindowTransparentForInput, Qt::X11BypassWindowManagerHint})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_NE(QApplication::activeWindow(), window);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_EQ(window->windowHandle()->property(kXcbWindowTypeProperty).toInt(), kXcbNotificationType);

    advance(979); // 1499 ms after the show
    EXPECT_EQ(visibleCards(), 1);
    advance(1);
    EXPECT_EQ(hud->window(), nullptr);
    EXPECT_EQ(visibleCards(), 0);
    hud->dismiss(); // nothing left to hide
    EXPECT_EQ(visibleCards(), 0);
}

// A window a restore started lands after the report: the card counts it and stays 1.5 s from then.
TEST_F(SceneRestoreHUDTest, aWindowPlacedAfterTheReportIsCountedAndKeepsTheCardUpAnotherSecondAndAHalf) {
    hud->addPlacedWindow(); // no card: nothing to count
    hud->show(partial, std::nullopt);
    advance(1000);
    hud->addPlacedWindow();
    ASSERT_NE(card(), nullptr);
    EXPECT_EQ(card()->detail(), "1/2 displays · 4/4 placed");
    advance(1499);
    EXPECT_EQ(visibleCards(), 1);
    advance(1);
    EXPECT_EQ(visibleCards(), 0);
}

// A card that awaits the windows of started applications and is never told that they ended still goes,
// the wait's limit and 1.5 s after its last news. An application not started twice counts once.
TEST_F(SceneRestoreHUDTest, aCardAwaitingLaunchesThatNeverEndGoesAfterTheWaitsLimit) {
    hud->show(partial, std::nullopt, true);
    advance(3000);
    hud->addUnstartedApp("xterm");
    hud->addUnstartedApp("xterm");
    ASSERT_NE(card(), nullptr);
    EXPECT_EQ(card()->detail(), "1/2 displays · 3/4 placed · 1 app not started");
    const int limit = static_cast<int>((SceneRestoreHUDController::kLaunchWaitLimit + 1.5) * 1000);
    advance(limit - 1);
    EXPECT_EQ(visibleCards(), 1);
    advance(1);
    EXPECT_EQ(visibleCards(), 0);
}

TEST_F(SceneRestoreHUDTest, aNewReportReplacesTheOneShowingOnTheScreenItNames) {
    hud->show(partial, std::nullopt);
    advance(1000);
    const SceneRestoreResult second{.sceneName = "Evening", .totalDisplays = 2, .appliedDisplays = 2};
    hud->show(second, desktop->screens().display(2));

    EXPECT_EQ(visibleCards(), 1);
    ASSERT_NE(card(), nullptr);
    EXPECT_EQ(card()->title(), "Evening");
    advance(500);
    // Centred on the side display, whose top edge lies 100 points below the main display's.
    EXPECT_EQ(hud->window()->geometry(), QRect(1920, 140, 320, 80));
    // The second report has its own 1.5 s: past the first one's end it still shows.
    advance(999);
    EXPECT_EQ(visibleCards(), 1);
    advance(1);
    EXPECT_EQ(visibleCards(), 0);
}

TEST_F(SceneRestoreHUDTest, withoutAMainScreenTheCardShowsOnTheFirstAndWithoutAnyScreenNotAtAll) {
    desktop->screens().setNamesMainScreen(false);
    hud->show(partial, std::nullopt);
    advance(500);
    ASSERT_NE(hud->window(), nullptr);
    EXPECT_EQ(hud->window()->geometry(), QRect(560, 65, 320, 80));

    desktop->screens().removeDisplay(1);
    desktop->screens().removeDisplay(2);
    hud->show(partial, std::nullopt);
    EXPECT_EQ(hud->window(), nullptr);
    EXPECT_EQ(visibleCards(), 0);
}

TEST_F(SceneRestoreHUDTest, withoutACompositorTheCardIsCutToItsRoundedCorners) {
    hud->show(partial, std::nullopt);
    ASSERT_NE(hud->window(), nullptr);
    const QRegion mask = hud->window()->mask();
    EXPECT_FALSE(mask.contains(QPoint(1, 1)));
    EXPECT_FALSE(mask.contains(QPoint(318, 78)));
    EXPECT_TRUE(mask.contains(QPoint(16, 1)));
    EXPECT_TRUE(mask.contains(QPoint(160, 40)));
}

TEST_F(SceneRestoreHUDTest, aRestoreRefusedForLackOfPermissionSaysSo) {
    desktop->screens().setCompositing(true); // the card's rounded corners show the desktop behind them
    hud->show(SceneRestoreResult{.sceneName = "Morning Desk", .failedCount = 1, .permissionDenied = true},
              std::nullopt);

    ASSERT_NE(card(), nullptr);
    EXPECT_EQ(card()->title(), "Morning Desk");
    EXPECT_EQ(card()->detail(), "No window manager running");
    EXPECT_TRUE(hud->window()->mask().isEmpty());
    EXPECT_TRUE(hud->window()->testAttribute(Qt::WA_TranslucentBackground));
}

TEST_F(SceneRestoreHUDTest, picturesOfTheFourStatesAndAnApplicationNotStarted) {
    const std::pair<SceneRestoreResult, const char*> states[] = {
        {{.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .placedWindows = 2,
          .totalHints = 2,
          .parkedWindows = 1},
         "scene-restore-hud-success.png"},
        {partial, "scene-restore-hud-partial.png"},
        {{.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .totalHints = 1,
          .unstartedApps = {"xcalc"}},
         "scene-restore-hud-not-started.png"},
        {{.sceneName = "Evening",
          .totalDisplays = 2,
          .appliedDisplays = 2,
          .placedWindows = 2,
          .totalHints = 4,
          .appsWithoutZone = 2},
         "scene-restore-hud-without-zone.png"},
        {{.sceneName = "Morning Desk", .failedCount = 1, .permissionDenied = true},
         "scene-restore-hud-permission.png"},
        {{.sceneName = "Morning Desk", .failedCount = 1, .sceneUnreadable = true},
         "scene-restore-hud-unreadable.png"},
    };
    for (const auto& [result, name] : states) {
        hud->show(result, std::nullopt);
        ASSERT_NE(card(), nullptr);
        EXPECT_EQ(card()->size(), QSize(320, 80));
        saveScreenshot(card(), name);
    }
}
