// The scene editor's overlay on Qt's offscreen platform over the simulated desktop: a panel per display
// over its visible frame, raised together, closed together once however often closing is asked for, the
// panel of a display that went closed alone; its picture is left under build/screenshots.
#include "ui/scene_editor/SceneEditorCanvasBridge.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorPanelPool.h"
#include "ui/scene_editor/SceneEditorViewModel.h"

#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>

#include <functional>
#include <set>
#include <utility>

using namespace korvane;

namespace {

class SceneEditorOverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900},
                                       .visibleFrame = Rect{0, 0, 1440, 875},
                                       .name = "Studio",
                                       .uuid = "D1"});
        side =
            desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .name = "Side", .uuid = "D2"});
        editor->viewModel = SceneEditorViewModel::make(*desktop, {});
        editor->onDidClose = [this] { ++closes; };
        for (const auto& screen : desktop->screens().screens())
            editor->addPanel(screen, screen.displayUUID, screen.localizedName);
    }
    void TearDown() override {
        editor.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static int visiblePanels() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == SceneEditorOverlayPanel::kTitle) ++count;
        return count;
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<SceneEditorOverlayController> editor =
        std::make_shared<SceneEditorOverlayController>(*desktop);
    int closes = 0;
    int side = 0;
};

} // namespace

TEST_F(SceneEditorOverlayTest, eachDisplayGetsAPanelOverItsVisibleFrameAboveEveryWindow) {
    ASSERT_EQ(editor->overlayPanels.size(), 2u);
    SceneEditorOverlayPanel* studio = editor->overlayPanels.at("D1");
    SceneEditorOverlayPanel* side = editor->overlayPanels.at("D2");
    EXPECT_EQ(studio->geometry(), QRect(0, 25, 1440, 875));
    EXPECT_EQ(side->geometry(), QRect(1440, 100, 1280, 800));
    EXPECT_EQ(side->rootView()->content().displayName, "Side");
    EXPECT_EQ(side->rootView()->content().canvasBridge, editor->canvasBridges.at("D2"));
    for (Qt::WindowType flag : {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint})
        EXPECT_TRUE(studio->windowFlags().testFlag(flag)) << flag;
    EXPECT_TRUE(editor->isAnyPanelVisible());

    korvane::testing::saveScreenshot(*side, "scene-editor-overlay-side.png");
}

TEST_F(SceneEditorOverlayTest, aPanelShowsTheDesktopsPictureOfItsScreenUnderBlackAtHalf) {
    desktop->screens().setPictureColour(0xFF2080C0);
    SceneEditorOverlayPanel panel(desktop->screens(), Rect{1440, 0, 1280, 800});
    ASSERT_EQ(panel.backdrop().size(), QSize(1280, 800));
    const QImage shown = panel.grab().toImage();
    // Each channel kept at 128/255, as black at alpha 127 leaves it; the corners lie outside the message.
    for (const QPoint& at : {QPoint(0, 0), QPoint(1279, 799)})
        EXPECT_EQ(shown.pixelColor(at), QColor(16, 64, 96)) << at.x() << "," << at.y();
    // A picture whose pixels do not come in fours is dimmed to its last one.
    SceneEditorOverlayPanel odd(desktop->screens(), Rect{1440, 0, 1279, 799});
    ASSERT_EQ(odd.backdrop().size(), QSize(1279, 799));
    EXPECT_EQ(odd.backdrop().pixelColor(1278, 798), QColor(16, 64, 96));
}

TEST_F(SceneEditorOverlayTest, doneClosesEveryPanelAndTellsTheOwnerOnce) {
    // What the canvas's Done calls; this model never loads, so no canvas shows.
    editor->overlayPanels.at("D2")->rootView()->content().onDone();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(editor->isAnyPanelVisible());
    EXPECT_EQ(visiblePanels(), 0);
    editor->requestClose();
    EXPECT_EQ(closes, 1);
}

TEST_F(SceneEditorOverlayTest, panelsHiddenByOtherMeansLeaveNoPanelVisible) {
    for (auto& [uuid, panel] : editor->overlayPanels)
        panel->hide();
    EXPECT_FALSE(editor->isAnyPanelVisible());
    editor->bringPanelsToFront();
    EXPECT_TRUE(editor->isAnyPanelVisible());
}

TEST_F(SceneEditorOverlayTest, aClosedEditorsPanelsServeTheNextOneOverTheDisplaysAsTheyAreThen) {
    auto pool = std::make_shared<SceneEditorPanelPool>(desktop->screens());
    const auto openEditor = [&] {
        auto opened = std::make_shared<SceneEditorOverlayController>(*desktop, nullptr, pool);
        opened->viewModel = SceneEditorViewModel::make(*desktop, {});
        // As the application opens it: every display's picture first, then the panels.
        opened->coverScreens(desktop->screens().screens());
        // Each shown over its display as soon as the pictures are taken, before it has the editor's views
        // (the fixture's own editor has two more).
        std::size_t shown = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (dynamic_cast<SceneEditorOverlayPanel*>(widget) && widget->isVisible()) ++shown;
        EXPECT_EQ(shown, editor->overlayPanels.size() + desktop->screens().screens().size());
        for (const auto& screen : desktop->screens().screens())
            opened->addPanel(screen, screen.displayUUID, screen.localizedName);
        return opened;
    };
    const auto panelsOf = [](const SceneEditorOverlayController& controller) {
        std::set<SceneEditorOverlayPanel*> panels;
        for (const auto& [uuid, panel] : controller.overlayPanels)
            panels.insert(panel);
        return panels;
    };
    desktop->screens().setPictureColour(0xFF2080C0);
    auto first = openEditor();
    const auto panels = panelsOf(*first);
    QPointer<SceneEditorOverlayRootView> firstRoot = first->overlayPanels.at("D2")->rootView();
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(pool->keptCount(), 2u);
    for (SceneEditorOverlayPanel* panel : panels)
        EXPECT_FALSE(panel->isVisible());
    ASSERT_FALSE(firstRoot.isNull()) << "the views wait with their panel";
    EXPECT_EQ(firstRoot->content().viewModel, nullptr) << "the closed editor's model goes with it";

    // Meanwhile the side display grew and the desktop shows something else.
    desktop->screens().setDisplayFrame(side, Rect{1440, 0, 1920, 1080});
    desktop->screens().setPictureColour(0xFF40A060);
    auto second = openEditor();
    EXPECT_EQ(panelsOf(*second), panels);
    EXPECT_EQ(pool->keptCount(), 0u);
    SceneEditorOverlayPanel* grown = second->overlayPanels.at("D2");
    EXPECT_TRUE(grown->isVisible());
    EXPECT_EQ(grown->geometry(), QRect(1440, -180, 1920, 1080));
    ASSERT_NE(grown->rootView(), nullptr);
    EXPECT_EQ(grown->rootView()->content().viewModel, second->viewModel);
    EXPECT_EQ(grown->rootView()->content().canvasBridge, second->canvasBridges.at("D2"));
    EXPECT_EQ(grown->grab().toImage().pixelColor(1919, 1079), QColor(32, 80, 48))
        << "today's picture, dimmed";
    second.reset();
    EXPECT_EQ(pool->keptCount(), 2u) << "an editor dropped while open hands its panels back";
}

TEST_F(SceneEditorOverlayTest,
       thePanelOfADisplayThatWentClosesWhileItsUnsavedEditsAreStillAskedAboutAndSaved) {
    std::vector<QWidget*> askedOver;
    auto asking = std::make_shared<SceneEditorOverlayController>(*desktop, [&](QWidget* over) {
        askedOver.push_back(over);
        return SceneEditorSaveAlertResponse::save;
    });
    asking->viewModel = SceneEditorViewModel::make(*desktop, {});
    asking->onDidClose = [this] { ++closes; };
    for (const auto& screen : desktop->screens().screens())
        asking->addPanel(screen, screen.displayUUID, screen.localizedName);
    QPointer<SceneEditorOverlayPanel> gone = asking->overlayPanels.at("D2");
    asking->canvasBridges.at("D2")->setHasUnsavedChanges(true);

    asking->closePanelsOfDisplaysGone({"D1"});
    EXPECT_FALSE(gone->isVisible());
    asking->bringPanelToFront("D2");
    EXPECT_FALSE(gone->isVisible()) << "nothing shows it again";
    SceneEditorOverlayPanel* stays = asking->overlayPanels.at("D1");
    EXPECT_TRUE(stays->isVisible());
    asking->requestClose();
    EXPECT_EQ(askedOver, std::vector<QWidget*>{stays});
    EXPECT_EQ(asking->canvasBridges.at("D2")->pendingCommand(), SceneEditorCanvasBridge::Command::save);

    // Saved, and with no display of its own left, the editor closes at once.
    asking->canvasBridges.at("D2")->setHasUnsavedChanges(false);
    asking->closePanelsOfDisplaysGone({"D3"});
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(stays->isVisible());
}

// Every panel gone with edits unsaved: the editor keeps them and asks, with no panel to stand over. A
// Cancel there, with nothing to go back to, asks again; so does a save that does not go through. An
// alert standing over a panel when the last panel goes is answered the same way.
TEST_F(SceneEditorOverlayTest, withEveryPanelGoneUnsavedEditsAreAskedAboutUntilSavedOrDiscarded) {
    std::vector<QWidget*> askedOver;
    std::vector<SceneEditorSaveAlertResponse> answers;
    std::function<void()> whileAsking;
    const auto open = [&] {
        auto opened = std::make_shared<SceneEditorOverlayController>(*desktop, [&](QWidget* over) {
            askedOver.push_back(over);
            if (auto during = std::exchange(whileAsking, nullptr)) during();
            const SceneEditorSaveAlertResponse answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        });
        opened->viewModel = SceneEditorViewModel::make(*desktop, {});
        opened->onDidClose = [this] { ++closes; };
        for (const auto& screen : desktop->screens().screens())
            opened->addPanel(screen, screen.displayUUID, screen.localizedName);
        return opened;
    };

    auto saving = open();
    auto d2 = saving->canvasBridges.at("D2");
    d2->setHasUnsavedChanges(true);
    answers = {SceneEditorSaveAlertResponse::cancel, SceneEditorSaveAlertResponse::save,
               SceneEditorSaveAlertResponse::save};
    saving->closePanelsOfDisplaysGone({"D3"});
    EXPECT_TRUE(askedOver.empty()) << "asked once the change of displays is handled";
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(saving->isAnyPanelVisible());
    desktop->loop().runUntilIdle();
    EXPECT_EQ(askedOver, (std::vector<QWidget*>{nullptr, nullptr}));
    EXPECT_EQ(d2->pendingCommand(), SceneEditorCanvasBridge::Command::save);
    EXPECT_EQ(saving->canvasBridges.at("D1")->commandToken(), 0);
    // The canvas does not save: after the last check the user is asked again, and saves.
    desktop->loop().advance(milliseconds(50) * SceneEditorOverlayController::kSaveWaitAttempts);
    EXPECT_EQ(askedOver.size(), 3u);
    EXPECT_EQ(closes, 0);
    d2->setHasUnsavedChanges(false);
    desktop->loop().advance(milliseconds(50));
    EXPECT_EQ(closes, 1);

    // "Done" asks over a panel; both panels go before the answer, a Cancel.
    askedOver.clear();
    auto discarding = open();
    discarding->canvasBridges.at("D1")->setHasUnsavedChanges(true);
    QWidget* front = discarding->overlayPanels.at("D1");
    whileAsking = [&] { discarding->closePanelsOfDisplaysGone({"D3"}); };
    answers = {SceneEditorSaveAlertResponse::cancel, SceneEditorSaveAlertResponse::discard};
    discarding->requestClose("D1");
    EXPECT_EQ(closes, 1);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(askedOver, (std::vector<QWidget*>{front, nullptr}));
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(discarding->canvasBridges.size(), 0u);
}
