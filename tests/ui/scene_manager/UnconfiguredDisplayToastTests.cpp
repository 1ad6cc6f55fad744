// The prompt offered on a newly connected display, on Qt's offscreen platform over the simulated desktop:
// what it says and offers, where it stands, its countdown with the pause while the pointer rests on it,
// its fades, and buttons that hide it before they act; its pictures are left under build/screenshots.
#include "ui/scene_manager/UnconfiguredDisplayToastController.h"
#include "ui/scene_manager/UnconfiguredDisplayToastPanel.h"
#include "ui/scene_manager/UnconfiguredDisplayToastView.h"

#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "support/TextAsShown.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>

using namespace korvane;

namespace {

class UnconfiguredDisplayToastTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The main display's visible frame ends 25 points below its top (a panel along the top edge).
        desktop->screens().addDisplay(
            {.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}, .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .uuid = "D2"});
    }
    void TearDown() override {
        prompt.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    platform::ScreenInfo screen(std::size_t index) { return desktop->screens().screens().at(index); }
    UnconfiguredDisplayToastView::Content content(bool withScene) {
        UnconfiguredDisplayToastView::Content c;
        if (withScene) {
            c.sceneName = "Morning Desk";
            c.onApply = [this] { actions.push_back("apply"); };
        }
        c.onSetup = [this] { actions.push_back("setup"); };
        c.onDismiss = [this] { actions.push_back("dismiss"); };
        return c;
    }
    // The prompt's buttons as a user clicks them: each hides the prompt first.
    UnconfiguredDisplayToastView::Content wrapped(bool withScene) {
        auto c = content(withScene);
        std::weak_ptr<UnconfiguredDisplayToastController> weak = prompt;
        auto wrap = [weak](std::function<void()> action) {
            return [weak, action] { UnconfiguredDisplayToastController::dismissThen(weak, action); };
        };
        if (c.onApply) c.onApply = wrap(c.onApply);
        c.onSetup = wrap(c.onSetup);
        c.onDismiss = wrap(c.onDismiss);
        return c;
    }
    bool showing() { return prompt->panel() && prompt->panel()->isVisible(); }
    static int visiblePrompts() {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == UnconfiguredDisplayToastPanel::kTitle) ++count;
        return count;
    }
    void hover(bool inside) {
        QWidget* view = prompt->panel()->contentView();
        if (inside) {
            QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
            QApplication::sendEvent(view, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(view, &leave);
        }
    }
    void advance(double s) { desktop->loop().advance(seconds(s)); }
    static void saveScreenshot(QWidget* widget, const std::string& name) {
        korvane::testing::saveScreenshot(*widget, name);
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<UnconfiguredDisplayToastController> prompt =
        std::make_shared<UnconfiguredDisplayToastController>(*desktop);
    std::vector<std::string> actions;
};

std::vector<std::string> buttonTitles(QWidget* panel) {
    std::vector<std::string> titles;
    for (auto* button : panel->findChildren<QPushButton*>())
        if (button->isVisible()) titles.push_back(button->text().toStdString());
    return titles;
}

} // namespace

TEST_F(UnconfiguredDisplayToastTest,
       aSceneWithALayoutForTheDisplayOffersItInA380By88PromptBelowTheVisibleTop) {
    prompt->show(screen(0), content(true));
    UnconfiguredDisplayToastPanel* panel = prompt->panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    // Centred; its top 20 points below the visible frame's top, which lies 25 below the screen's.
    EXPECT_EQ(panel->geometry(), QRect(530, 45, 380, 88));
    EXPECT_EQ(panel->findChild<QLabel*>()->text().toStdString(),
              "\"\u2068Morning Desk\u2069\" has a layout for this display.");
    EXPECT_EQ(buttonTitles(panel), (std::vector<std::string>{"Apply Layout", "Set Up Display", "Dismiss"}));

    // Above everything, frameless, never taking the keyboard, but answering the pointer.
    const Qt::WindowFlags flags = panel->windowFlags();
    for (Qt::WindowType flag :
         {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_FALSE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(QApplication::activeWindow() == panel);
    // No compositing manager on the simulated desktop: the panel is cut to its rounded card.
    EXPECT_FALSE(panel->mask().isEmpty());
    EXPECT_FALSE(panel->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(panel->mask().contains(QPoint(190, 44)));

    // Fades in over 0.3 s.
    EXPECT_DOUBLE_EQ(panel->windowOpacity(), 0.0);
    advance(0.15);
    EXPECT_GT(panel->windowOpacity(), 0.2);
    EXPECT_LT(panel->windowOpacity(), 0.8);
    advance(0.2);
    EXPECT_DOUBLE_EQ(panel->windowOpacity(), 1.0);
    saveScreenshot(panel, "unconfigured-display-prompt-apply.png");

    panel->contentView()->button("Apply Layout")->click();
    EXPECT_EQ(actions, (std::vector<std::string>{"apply"}));
}

// A scene's name of 200 characters with no space to wrap at: cut in its middle to a line of its own, so
// that the prompt keeps its size on the display and says its whole sentence, buttons below it.
TEST_F(UnconfiguredDisplayToastTest, aLongSceneNameIsCutInItsMiddleAndTheWholeSentenceShows) {
    auto c = content(true);
    std::string name;
    for (int i = 0; i < 20; ++i)
        name += "Workspace" + std::to_string(i % 10);
    c.sceneName = name;
    prompt->show(screen(0), c);
    advance(0.35);
    UnconfiguredDisplayToastPanel* panel = prompt->panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(530, 45, 380, 88));
    auto* message = panel->findChild<QLabel*>();
    const std::string shown = korvane::testing::withoutIsolates(message->text());
    EXPECT_TRUE(shown.starts_with("\"Workspace0Workspace1")) << shown;
    EXPECT_TRUE(shown.ends_with("Workspace8Workspace9\" has a layout for this display.")) << shown;
    EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
    EXPECT_TRUE(korvane::testing::showsAllOf(*message)) << shown;
    const QRect card(QPoint(), panel->size());
    EXPECT_TRUE(card.contains(QRect(message->mapTo(panel, QPoint()), message->size())));
    EXPECT_LE(message->mapTo(panel, QPoint(0, message->height())).y(),
              panel->contentView()->button("Apply Layout")->mapTo(panel, QPoint()).y());
    saveScreenshot(panel, "unconfigured-display-prompt-long-scene-name.png");
}

TEST_F(UnconfiguredDisplayToastTest, aDisplayTheSceneDoesNotConfigureGetsAnEightyPointPromptWithoutApply) {
    prompt->show(screen(1), content(false));
    UnconfiguredDisplayToastPanel* panel = prompt->panel();
    ASSERT_NE(panel, nullptr);
    // On the side display, whose top lies 100 points below the main display's.
    EXPECT_EQ(panel->geometry(), QRect(1890, 120, 380, 80));
    EXPECT_EQ(panel->findChild<QLabel*>()->text().toStdString(),
              "This display is not configured in the current Scene.");
    EXPECT_EQ(buttonTitles(panel), (std::vector<std::string>{"Set Up Display", "Dismiss"}));
    advance(0.5);
    saveScreenshot(panel, "unconfigured-display-prompt-setup.png");

    panel->contentView()->button("Set Up Display")->click();
    panel->contentView()->button("Dismiss")->click();
    EXPECT_EQ(actions, (std::vector<std::string>{"setup", "dismiss"}));
}

TEST_F(UnconfiguredDisplayToastTest, untouchedThePromptFadesOutAfterTenSecondsAndHides) {
    prompt->show(screen(0), content(true));
    advance(9.9);
    EXPECT_TRUE(showing());
    EXPECT_DOUBLE_EQ(prompt->panel()->windowOpacity(), 1.0);
    advance(0.2);
    ASSERT_TRUE(prompt->panel()) << "fading, not gone at once";
    EXPECT_LT(prompt->panel()->windowOpacity(), 1.0);
    advance(0.2);
    EXPECT_EQ(prompt->panel(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(visiblePrompts(), 0);
    EXPECT_TRUE(actions.empty()) << "a prompt that times out runs no action";
}

TEST_F(UnconfiguredDisplayToastTest,
       thePointerOnThePromptHoldsTheCountdownAndLeavingItRestartsWithAtLeastThreeSeconds) {
    struct Row {
        double hoverAt;
        double held;              // what is left while the pointer rests on it
        double expectedRemaining; // run again after it leaves
    };
    for (const Row& row : {Row{2.0, 8.0, 8.0}, Row{9.95, 0.1, 3.0}}) {
        SCOPED_TRACE(row.hoverAt);
        prompt = std::make_shared<UnconfiguredDisplayToastController>(*desktop);
        prompt->show(screen(0), content(true));
        advance(row.hoverAt);
        hover(true);
        EXPECT_FALSE(prompt->isCountingDown());
        EXPECT_FALSE(prompt->timerStartedAt().has_value());
        EXPECT_NEAR(prompt->remainingDuration, row.held, 1e-6);
        advance(30); // the pointer rests as long as it likes
        EXPECT_TRUE(showing());
        hover(false);
        EXPECT_NEAR(prompt->remainingDuration, row.expectedRemaining, 1e-6);
        advance(row.expectedRemaining - 0.1);
        EXPECT_TRUE(showing());
        advance(0.5);
        EXPECT_FALSE(showing());
    }
}

// A leave without an enter before it (the pointer was over the spot as the prompt appeared, or the
// enter was lost) finds the countdown running: it neither restarts nor lengthens it.
TEST_F(UnconfiguredDisplayToastTest, leavingWhileTheCountdownRunsChangesNothing) {
    prompt->show(screen(0), content(true));
    advance(6);
    const auto startedAt = prompt->timerStartedAt();
    hover(false);
    EXPECT_EQ(prompt->timerStartedAt(), startedAt);
    EXPECT_DOUBLE_EQ(prompt->remainingDuration, 10.0);
    advance(3.9);
    EXPECT_TRUE(showing());
    advance(0.5); // ten seconds and the fade after them
    EXPECT_FALSE(showing());
}

TEST_F(UnconfiguredDisplayToastTest, enteringAndLeavingAgainNeverAddsTimeBeyondWhatIsLeft) {
    prompt->show(screen(0), content(true));
    advance(4);
    for (int i = 0; i < 5; ++i) {
        hover(true);
        advance(1);
        hover(false);
        advance(0.5);
    }
    // Each pause kept what was left: 10 - 4, then 0.5 s less after each half second of running; the last
    // restart ran with 4 s, of which 3.5 s are left.
    EXPECT_NEAR(prompt->remainingDuration, 4.0, 1e-6);
    advance(3.3);
    EXPECT_TRUE(showing());
    advance(0.5);
    EXPECT_FALSE(showing());
}

TEST_F(UnconfiguredDisplayToastTest, aButtonDuringTheFadeOutHidesThePromptAtOnceAndActsOnce) {
    prompt->show(screen(0), wrapped(true));
    advance(10.05);
    ASSERT_TRUE(prompt->panel());
    prompt->panel()->contentView()->button("Set Up Display")->click();
    EXPECT_EQ(prompt->panel(), nullptr);
    advance(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(visiblePrompts(), 0);
    EXPECT_EQ(actions, (std::vector<std::string>{"setup"}));
}

TEST_F(UnconfiguredDisplayToastTest, anActionRunsEvenWhenItsPromptIsGone) {
    prompt->show(screen(0), wrapped(false));
    auto onDismiss = prompt->panel()->contentView()->content().onDismiss;
    prompt.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(visiblePrompts(), 0) << "a prompt goes with its controller";
    onDismiss();
    EXPECT_EQ(actions, (std::vector<std::string>{"dismiss"}));
}
