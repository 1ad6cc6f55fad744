// Toasts and the zone highlight on Qt's offscreen platform over the simulated desktop: where each shows,
// for how long in virtual time, what a second toast or a second show replaces, that neither takes the
// focus or the pointer; the pictures are left under build/screenshots, drawn over a plain desktop. And a
// hidden window letting go of its drawing buffer after its wait.
#include "ui/overlays/MemoryAtRest.h"
#include "ui/overlays/Overlay.h"
#include "ui/overlays/OverlayAnimation.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/overlays/ZoneHighlightController.h"
#include "ui/overlays/ZoneHighlightFillView.h"

#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "support/TextAsShown.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBackingStore>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <chrono>

using namespace korvane;

namespace {

class OverlayTest : public ::testing::Test {
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
        toasts.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    platform::ScreenInfo screen(int id) { return *desktop->screens().display(id); }
    void advance(int ms) { desktop->loop().advance(milliseconds(ms)); }
    static std::string textOf(QWidget* toast) {
        auto* label = toast ? toast->findChild<QLabel*>() : nullptr;
        return label ? label->text().toStdString() : "";
    }
    static int visibleWindowsTitled(const QString& title) {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == title) ++count;
        return count;
    }
    static void expectOverlayFlags(QWidget* window) {
        const Qt::WindowFlags flags = window->windowFlags();
        for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                                    Qt::WindowDoesNotAcceptFocus, Qt::WindowTransparentForInput})
            EXPECT_TRUE(flags.testFlag(flag)) << flag;
        EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_NE(QApplication::activeWindow(), window);
        ASSERT_NE(window->windowHandle(), nullptr);
        EXPECT_EQ(window->windowHandle()->property(kXcbWindowTypeProperty).toInt(), kXcbNotificationType);
    }
    // The main display as a user sees it: a plain desktop with the overlays drawn where they stand.
    static void saveDesktopPicture(const std::vector<QWidget*>& overlays, const std::string& name) {
        QImage picture(1440, 900, QImage::Format_ARGB32);
        picture.fill(QColor(92, 110, 128));
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 0, 1440, 25), QColor(236, 236, 236));    // the bar
        painter.fillRect(QRect(40, 100, 600, 400), QColor(250, 250, 250)); // a window of another application
        for (QWidget* overlay : overlays) {
            const QPixmap grabbed = overlay->grab();
            if (overlay->mask().isEmpty()) {
                painter.drawPixmap(overlay->geometry().topLeft(), grabbed);
            } else {
                painter.save();
                painter.setClipRegion(overlay->mask().translated(overlay->geometry().topLeft()));
                painter.drawPixmap(overlay->geometry().topLeft(), grabbed);
                painter.restore();
            }
        }
        painter.end();
        korvane::testing::saveScreenshot(picture, name);
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<ToastHUDController> toasts = std::make_shared<ToastHUDController>(*desktop);
};

TEST_F(OverlayTest, aToastStandsCentredNearTheTopOfItsDisplayForTheCallersDurationWithoutTakingTheFocus) {
    desktop->screens().setCompositing(true);
    toasts->show("Window not in any zone", screen(1), 0.9);

    QWidget* toast = toasts->window("D1");
    ASSERT_NE(toast, nullptr);
    EXPECT_TRUE(toast->isVisible());
    EXPECT_EQ(textOf(toast), "Window not in any zone");
    const int labelWidth = toast->findChild<QLabel*>()->width();
    // As wide as the text with 24 points on either side and 40 high; its top 40 points below the bar.
    EXPECT_EQ(toast->width(), labelWidth + 48);
    EXPECT_EQ(toast->height(), 40);
    EXPECT_EQ(toast->geometry().top(), 25 + 40);
    EXPECT_LE(std::abs(toast->geometry().center().x() * 2 + 1 - 1440), 1) << toast->geometry().x();
    expectOverlayFlags(toast);
    saveDesktopPicture({toast}, "toast.png");

    advance(899);
    EXPECT_EQ(toasts->window("D1"), toast);
    EXPECT_TRUE(toast->isVisible());
    advance(1);
    EXPECT_EQ(toasts->window("D1"), nullptr);
    EXPECT_EQ(visibleWindowsTitled("Korvane Toast"), 0);
}

TEST_F(OverlayTest, aSecondToastOnADisplayReplacesTheFirstAtOnceWhileOtherDisplaysKeepTheirOwn) {
    toasts->show("First", screen(1), 1.0);
    toasts->show("On the side", screen(2), 2.0);
    advance(500);
    toasts->show("Second", screen(1), 1.0);

    EXPECT_EQ(visibleWindowsTitled("Korvane Toast"), 2);
    EXPECT_EQ(textOf(toasts->window("D1")), "Second");
    EXPECT_EQ(textOf(toasts->window("D2")), "On the side");
    // The side display's toast: 40 below the top of a display whose top lies 100 points below the main's.
    EXPECT_EQ(toasts->window("D2")->geometry().top(), 100 + 40);
    EXPECT_LE(std::abs(toasts->window("D2")->geometry().center().x() * 2 + 1 - (2 * 1440 + 1280)), 1);

    // The first toast's timer went with it: at its time the second still stands.
    advance(500);
    EXPECT_EQ(textOf(toasts->window("D1")), "Second");
    advance(500);
    EXPECT_EQ(toasts->window("D1"), nullptr);
    EXPECT_EQ(textOf(toasts->window("D2")), "On the side");
    advance(1000);
    EXPECT_EQ(toasts->window("D2"), nullptr);
    EXPECT_EQ(visibleWindowsTitled("Korvane Toast"), 0);
}

TEST_F(OverlayTest, aMessageWiderThanTheDisplayIsNeitherCutNorMovedOffCentre) {
    const std::string longMessage(400, 'W');
    toasts->show(longMessage, screen(1), 1.0);

    QWidget* toast = toasts->window("D1");
    ASSERT_NE(toast, nullptr);
    EXPECT_EQ(textOf(toast), longMessage);
    EXPECT_GT(toast->width(), 1440);
    EXPECT_EQ(toast->width(), toast->findChild<QLabel*>()->width() + 48);
    EXPECT_LE(std::abs(toast->geometry().center().x() * 2 + 1 - 1440), 1);
    // No compositing manager: the window is cut to the pill, its corners left to the desktop.
    EXPECT_FALSE(toast->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(toast->mask().contains(QPoint(toast->width() / 2, 20)));
}

// A scene's name of 200 characters: the pill stays on its display with the whole sentence, the name cut
// in its middle, its start and end kept. A name that fits is left whole.
TEST_F(OverlayTest, aToastNamingASceneCutsALongNameInItsMiddleToStayOnItsDisplay) {
    std::string name;
    for (int i = 0; i < 20; ++i)
        name += "Workspace" + std::to_string(i % 10);
    ASSERT_EQ(name.size(), 200u);
    const QRect display(0, 0, 1440, 900);
    for (const auto& [before, after] :
         std::vector<std::pair<std::string, std::string>>{{"Updated: ", " (2 displays)"}, {"Saved: ", ""}}) {
        SCOPED_TRACE(before);
        toasts->show(before, name, after, screen(1), 1.0);
        QWidget* toast = toasts->window("D1");
        ASSERT_NE(toast, nullptr);
        EXPECT_TRUE(display.contains(toast->geometry()))
            << toast->geometry().x() << " " << toast->geometry().width();
        auto* label = toast->findChild<QLabel*>();
        const std::string shown = korvane::testing::withoutIsolates(label->text());
        EXPECT_TRUE(shown.starts_with(before + "Workspace0Workspace1")) << shown;
        EXPECT_TRUE(shown.ends_with("Workspace8Workspace9" + after)) << shown;
        EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
        EXPECT_TRUE(korvane::testing::showsAllOf(*label)) << shown;
        EXPECT_TRUE(QRect(QPoint(), toast->size()).contains(label->geometry()));
        if (!after.empty()) saveDesktopPicture({toast}, "toast-updated-long-scene-name.png");
    }
    toasts->show("Updated: ", "Desk", " (2 displays)", screen(1), 1.0);
    EXPECT_EQ(textOf(toasts->window("D1")), "Updated: \u2068Desk\u2069 (2 displays)");
}

TEST_F(OverlayTest, theHighlightCoversTheZoneMovesAsOneWindowWithAFreshFillAndHidesWithoutBeingUnmade) {
    desktop->screens().setCompositing(true);
    ZoneHighlightController highlight(*desktop);
    highlight.hide(); // before any show: nothing to hide, nothing made
    EXPECT_EQ(highlight.window(), nullptr);

    // Zones are bottom-left: the left half of the visible frame below the bar.
    highlight.show(Rect{0, 0, 720, 875});
    QWidget* window = highlight.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(0, 25, 720, 875));
    expectOverlayFlags(window);
    auto* firstFill = window->findChild<ZoneHighlightFillView*>();
    ASSERT_NE(firstFill, nullptr);
    EXPECT_EQ(firstFill->cornerRadius, 12.0);
    EXPECT_EQ(firstFill->geometry(), QRect(0, 0, 720, 875));
    saveDesktopPicture({window}, "zone-highlight.png");

    // The upper right quarter.
    highlight.show(Rect{720, 437.5, 720, 437.5});
    EXPECT_EQ(highlight.window(), window);
    EXPECT_EQ(window->geometry(), QRect(720, 25, 720, 438));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto fills = window->findChildren<ZoneHighlightFillView*>();
    ASSERT_EQ(fills.size(), 1);
    EXPECT_EQ(fills.front()->geometry(), QRect(0, 0, 720, 438));

    highlight.hide();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(highlight.window(), window);
    highlight.show(Rect{1440, 0, 640, 800}); // the side display's left half
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(1440, 100, 640, 800));
}

TEST_F(OverlayTest, withoutACompositingManagerOnlyTheHighlightsOutlineIsLeftOverTheZone) {
    ZoneHighlightController highlight(*desktop);
    highlight.show(Rect{0, 0, 720, 875});
    QWidget* window = highlight.window();
    ASSERT_NE(window, nullptr);

    const QRegion mask = window->mask();
    EXPECT_TRUE(mask.contains(QPoint(360, 1)));    // the top edge's line
    EXPECT_TRUE(mask.contains(QPoint(718, 400)));  // the right edge's line
    EXPECT_FALSE(mask.contains(QPoint(360, 400))); // the zone's windows show through
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));     // beyond the rounded corner
    toasts->show("Only one display", screen(1), 0.9);
    saveDesktopPicture({window, toasts->window("D1")}, "zone-highlight-and-toast-opaque.png");
}

TEST_F(OverlayTest, theHighlightFollowsACompositingManagerThatStartsOrStopsBetweenTwoDrags) {
    ZoneHighlightController highlight(*desktop);
    highlight.show(Rect{0, 0, 720, 875});
    ASSERT_NE(highlight.window(), nullptr);
    EXPECT_FALSE(highlight.window()->mask().isEmpty());

    // A compositor starting mid-drag changes nothing until the highlight next appears.
    desktop->screens().setCompositing(true);
    highlight.show(Rect{720, 0, 720, 875});
    EXPECT_FALSE(highlight.window()->mask().isEmpty());
    highlight.hide();
    highlight.show(Rect{0, 0, 720, 875});
    EXPECT_TRUE(highlight.window()->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(highlight.window()->mask().isEmpty()) << "washed, not cut to its outline";

    desktop->screens().setCompositing(false);
    highlight.hide();
    highlight.show(Rect{0, 0, 720, 875});
    EXPECT_FALSE(highlight.window()->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(highlight.window()->mask().contains(QPoint(360, 400)));
}

// Fades are run by the run loop's clock: they reach exactly their end value, finish once, and a fade
// called off (a prompt hidden by its button mid-fade) neither steps nor finishes afterwards.
TEST_F(OverlayTest, anAnimationEndsOnItsValueAndFinishesOnceUnlessCalledOff) {
    std::vector<double> steps;
    int finished = 0;
    auto fade = OverlayAnimation::start(
        desktop->loop(), milliseconds(200), AnimationCurve::easeInOut, [&](double v) { steps.push_back(v); },
        [&] { ++finished; });
    EXPECT_EQ(steps, std::vector<double>{0.0});
    advance(100);
    ASSERT_GT(steps.size(), 2u);
    EXPECT_GT(steps.back(), 0.2);
    EXPECT_LT(steps.back(), 0.8);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    advance(150);
    EXPECT_EQ(steps.back(), 1.0);
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(fade->isRunning());
    advance(500);
    EXPECT_EQ(finished, 1);

    steps.clear();
    auto stopped = OverlayAnimation::start(
        desktop->loop(), milliseconds(200), AnimationCurve::easeInOut, [&](double v) { steps.push_back(v); },
        [&] { ++finished; });
    advance(100);
    stopped->stop();
    const auto stepsWhenStopped = steps.size();
    advance(500);
    EXPECT_EQ(steps.size(), stepsWhenStopped);
    EXPECT_LT(steps.back(), 1.0);
    EXPECT_EQ(finished, 1);

    // Dropped half-way: nothing runs for it after.
    auto dropped = OverlayAnimation::start(desktop->loop(), milliseconds(300), AnimationCurve::criticalSpring,
                                           nullptr, [&] { ++finished; });
    advance(100);
    dropped.reset();
    advance(500);
    EXPECT_EQ(finished, 1);
}

// A window hidden for the time it keeps its buffer lets go of it, and its wait ends there: no timer is
// left behind to wake the resting program, as one per window ever hidden would. Real time: the wait runs
// on the toolkit's own timers.
TEST_F(OverlayTest, aHiddenWindowLetsGoOfItsBufferAfterItsWaitAndNothingIsLeftToWakeTheProgram) {
    releaseMemoryAtRest(*qApp);
    const auto armedTimers = [] {
        int armed = 0;
        for (QObject* child : qApp->children())
            armed += int(QAbstractEventDispatcher::instance()->registeredTimers(child).size());
        return armed;
    };
    QWidget window;
    window.resize(400, 300);
    window.show();
    // The toolkit's loop runs, asleep between events, until the buffer has that size.
    const auto bufferComesTo = [&](QSize size, std::chrono::milliseconds within) {
        const QDeadlineTimer deadline(within);
        QEventLoop waiting;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (window.backingStore()->size() == size || deadline.hasExpired()) waiting.quit();
        });
        look.start(50);
        waiting.exec();
        return window.backingStore()->size() == size;
    };
    ASSERT_TRUE(bufferComesTo(QSize(400, 300), std::chrono::seconds(5)));
    const int atRest = armedTimers();

    window.hide();
    EXPECT_EQ(armedTimers(), atRest + 1);
    EXPECT_TRUE(bufferComesTo(QSize(1, 1), std::chrono::milliseconds(kKeptWhileHidden) * 2));
    EXPECT_EQ(armedTimers(), atRest);
}

} // namespace
