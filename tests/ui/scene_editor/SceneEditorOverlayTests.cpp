// The scene editor's overlay on Qt's offscreen platform over the simulated desktop: a panel per display
// over its visible frame, raised together, closed together once however often closing is asked for; its
// picture is left under build/screenshots.
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorViewModel.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>

using namespace korvane;

namespace {

class SceneEditorOverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900},
                                       .visibleFrame = Rect{0, 0, 1440, 875},
                                       .name = "Studio",
                                       .uuid = "D1"});
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

    ASSERT_TRUE(QDir().mkpath(KORVANE_SCREENSHOT_DIR));
    const QString path = QString(KORVANE_SCREENSHOT_DIR) + "/scene-editor-overlay-side.png";
    EXPECT_TRUE(side->grab().save(path, "PNG")) << path.toStdString();
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
