// The permission window on Qt's offscreen platform over the simulated desktop: what each row shows, the
// window's controls, size, place and dragging, and what its buttons do; its pictures are left under
// build/screenshots.
#include "app/permission/PermissionWindowController.h"

#include "app/PermissionManager.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>

using namespace korvane;

namespace {

// A button's text as it is drawn: a lone '&' marks the shortcut letter and is not shown, "&&" shows one.
QString shownText(const QPushButton* button) {
    QString shown;
    const QString text = button->text();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

struct RowView {
    QString title;
    QString description;
    QString badge; // empty without one
    bool button = false;
};

class PermissionWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { desktop->accessibility().setProcessTrusted(false); }
    void TearDown() override {
        if (manager) manager->closePermissionWindow();
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A manager whose window is the real one, shown as the manager shows it.
    QWidget* showWindow() {
        manager = PermissionManager::create(*desktop);
        installPermissionWindow(*manager, *desktop, [this] { ++terminations; });
        manager->showPermissionWindow();
        desktop->loop().runUntilIdle();
        return shownWindow();
    }
    static QWidget* shownWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == PermissionWindowController::kTitle) return w;
        return nullptr;
    }
    static RowView rowOf(QWidget* window, const char* name) {
        auto* row = window->findChild<QWidget*>(name);
        if (!row) return {};
        const auto* badge = row->findChild<QLabel*>("badge");
        return {row->findChild<QLabel*>("title")->text(), row->findChild<QLabel*>("description")->text(),
                badge ? badge->text() : QString(), row->findChild<QPushButton*>("openSettings") != nullptr};
    }
    // Every text is shown whole: no label or button is narrower than its text needs, none leaves the
    // window.
    static void expectNothingClipped(QWidget* window) {
        for (QLabel* l : window->findChildren<QLabel*>()) {
            if (l->text().isEmpty()) continue;
            if (!l->wordWrap()) {
                EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
            } else {
                EXPECT_GE(l->height(), l->heightForWidth(l->width())) << l->text().toStdString();
            }
            EXPECT_TRUE(window->rect().contains(QRect(l->mapTo(window, QPoint(0, 0)), l->size())))
                << l->text().toStdString();
        }
        for (QPushButton* b : window->findChildren<QPushButton*>())
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
    static void saveScreenshot(QWidget* widget, const std::string& name) {
        ASSERT_TRUE(QDir().mkpath(KORVANE_SCREENSHOT_DIR));
        const QString path = QString(KORVANE_SCREENSHOT_DIR) + "/" + QString::fromStdString(name);
        EXPECT_TRUE(widget->grab().save(path, "PNG")) << path.toStdString();
    }
    static void send(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, target->mapFromGlobal(global), global, Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<PermissionManager> manager;
    int terminations = 0;
};

TEST_F(PermissionWindowTest, eachRowShowsTheGrantedBadgeOrTheSettingsButtonAsTheGrantsWereWhenBuilt) {
    struct Row {
        bool accessibility;
        bool screenRecording;
        const char* screenshot;
    };
    const Row rows[] = {
        {false, false, "permission-window-missing.png"},
        {false, true, "permission-window-one-granted.png"}, // as on an X11 desktop without window manager
        {true, false, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.accessibility) + std::to_string(row.screenRecording));
        desktop->accessibility().setProcessTrusted(row.accessibility);
        desktop->windowServer().setScreenCaptureGranted(row.screenRecording);
        QWidget* window = showWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->findChild<QLabel*>("header")->text(), "Access Required");
        const RowView accessibility = rowOf(window, "row.accessibility");
        const RowView screen = rowOf(window, "row.screenRecording");
        // X11's words: the grant is a running window manager, and screen recording none to give.
        EXPECT_EQ(accessibility.title, "Window Manager");
        EXPECT_EQ(
            accessibility.description,
            "Korvane moves windows and follows the focus through an EWMH window manager on this display.");
        EXPECT_EQ(screen.title, "Screen Recording");
        EXPECT_EQ(screen.description,
                  "Not needed on X11: every program on this display can read window titles.");
        EXPECT_EQ(accessibility.badge, row.accessibility ? "Running" : "");
        EXPECT_EQ(accessibility.button, !row.accessibility);
        EXPECT_EQ(screen.badge, row.screenRecording ? "Not Needed" : "");
        EXPECT_EQ(screen.button, !row.screenRecording);
        for (QPushButton* open : window->findChildren<QPushButton*>("openSettings"))
            EXPECT_EQ(shownText(open), "What to Do");
        EXPECT_EQ(shownText(window->findChild<QPushButton*>("checkAgain")), "Check Again");
        EXPECT_EQ(shownText(window->findChild<QPushButton*>("quitRelaunch")), "Quit & Relaunch");
        expectNothingClipped(window);
        if (row.screenshot) saveScreenshot(window, row.screenshot);

        // A grant seen later does not change the open window; the next one made shows it.
        desktop->accessibility().setProcessTrusted(!row.accessibility);
        manager->checkPermissions();
        EXPECT_EQ(rowOf(window, "row.accessibility").button, !row.accessibility);
        manager->closePermissionWindow();
        manager->showPermissionWindow();
        desktop->loop().runUntilIdle();
        EXPECT_EQ(rowOf(shownWindow(), "row.accessibility").button, row.accessibility);
        TearDown();
    }
}

TEST_F(PermissionWindowTest, aTitledFloatingPanelWithoutControlsCentredOnceAndMovedByItsBackground) {
    // The main display, below a panel 25 high: larger than the toolkit's own screen here, which the
    // window is not placed by.
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}});
    QWidget* window = showWindow();
    ASSERT_NE(window, nullptr);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::FramelessWindowHint));
    // The content's size, and no other.
    EXPECT_EQ(window->size(), QSize(480, 500));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    // Centred on the main display's visible frame before the window manager framed it: off by no more
    // than a frame's edges.
    const QPoint offCentre = window->geometry().center() - QRect(0, 25, 1440, 875).center();
    EXPECT_LE(std::abs(offCentre.x()), 8);
    EXPECT_LE(std::abs(offCentre.y()), 16);
    // No compositor on this desktop: an opaque panel, not one that would show black behind it.
    EXPECT_FALSE(window->testAttribute(Qt::WA_TranslucentBackground));

    // Dragging the background, here beside the heading, moves the window by as much as the pointer.
    const QPoint start = window->pos();
    const QPoint grab = window->mapToGlobal(QPoint(20, 20));
    send(window, QEvent::MouseButtonPress, grab, Qt::LeftButton);
    send(window, QEvent::MouseMove, grab + QPoint(50, 30), Qt::LeftButton);
    send(window, QEvent::MouseButtonRelease, grab + QPoint(50, 30), Qt::NoButton);
    EXPECT_EQ(window->pos(), start + QPoint(50, 30));
    // Once let go, the pointer moves alone.
    send(window, QEvent::MouseMove, grab + QPoint(90, 90), Qt::NoButton);
    EXPECT_EQ(window->pos(), start + QPoint(50, 30));

    // Where a compositor blends windows the panel is see-through.
    TearDown();
    desktop->screens().setCompositing(true);
    window = showWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    saveScreenshot(window, "permission-window-translucent.png");
}

TEST_F(PermissionWindowTest, checkAgainWithAGrantMissingShowsTheSameWindowAndStartUpStillStartsOnce) {
    manager = PermissionManager::create(*desktop);
    installPermissionWindow(*manager, *desktop, [] {});
    int started = 0;
    manager->requestPermissions([&] { ++started; });
    desktop->loop().runUntilIdle();
    QWidget* window = shownWindow();
    ASSERT_NE(window, nullptr);

    desktop->loop().advance(milliseconds(600));
    window->findChild<QPushButton*>("checkAgain")->click();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(shownWindow(), window);
    EXPECT_EQ(desktop->loop().pendingCount(), 1u); // the poll, restarted

    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(started, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(shownWindow(), nullptr);
}

TEST_F(PermissionWindowTest, openSettingsOpensThePaneOrWhereThereIsNoneExplainsWhatGivesTheGrant) {
    QWidget* window = showWindow();
    ASSERT_NE(window, nullptr);
    auto* open = window->findChild<QWidget*>("row.accessibility")->findChild<QPushButton*>("openSettings");
    open->click();
    EXPECT_EQ(desktop->workspace().openedURLs(),
              std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"});
    EXPECT_EQ(window->findChild<QMessageBox*>("privacyHelp"), nullptr);
    // Nothing else follows: no check, the row as it was.
    EXPECT_TRUE(rowOf(window, "row.accessibility").button);

    desktop->workspace().setHasPrivacyPanes(false);
    open->click();
    EXPECT_EQ(desktop->workspace().openedURLs().size(), 1u);
    auto* help = window->findChild<QMessageBox*>("privacyHelp");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Window Manager");
    EXPECT_TRUE(help->text().contains("window manager that follows the EWMH conventions must be running"))
        << help->text().toStdString();
    saveScreenshot(help, "permission-accessibility-help.png");
    help->accept();
}

TEST_F(PermissionWindowTest, quitAndRelaunchAsksTheApplicationToTerminateOnceAndTheQuitTakesTheWindowAlong) {
    QWidget* window = showWindow();
    ASSERT_NE(window, nullptr);
    window->findChild<QPushButton*>("quitRelaunch")->click();
    EXPECT_EQ(terminations, 1);
    // The application's loop ends while the manager still holds the window: it goes with the loop, not
    // later with the manager, after the application object.
    QPointer<QWidget> held(window);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    // Should the window refuse the quit's close, the loop would run on; this ends it with a failure.
    QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(held.isNull());
}

} // namespace
