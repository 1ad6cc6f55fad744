// The scene canvas in a window on Qt's offscreen platform: its header with the layout actions a display's
// source offers, the save bar, the empty state of a display without a layout, and a layout chosen in the
// template picker reaching the scene file.
#include "ui/scene_editor/SceneGeometryCanvasView.h"

#include "SceneEditorFixture.h"
#include "SceneEditorViewsSupport.h"
#include "ui/scene_editor/LayoutTemplatePickerSheet.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"

#include <QLabel>
#include <QPushButton>

using namespace korvane;
using korvane::testing::saveScreenshot;

namespace {

class SceneCanvasWindowModeTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        addDisplay("D", Rect{0, 0, 1440, 900});
        desktop->workspace().install({.bundleID = "org.example.mail", .name = "Mail"});
    }
    std::unique_ptr<SceneGeometryCanvasView> show(SceneGeometryCanvasModel::Inputs inputs) {
        inputs.overlayMode = false;
        inputs.onRestoreScene = [this](const WMScene&) { ++restores; };
        inputs.onSaveAsUserLayout = [this](const ConfigZoneSet& layout) -> std::optional<std::string> {
            return library->saveUserLayout(layout);
        };
        auto view = std::make_unique<SceneGeometryCanvasView>(
            platform, SceneGeometryCanvasModel::make(platform, std::move(inputs), cache));
        view->resize(760, 660);
        view->show();
        settle();
        return view;
    }
    int restores = 0;
};

TEST_F(SceneCanvasWindowModeTest, aTemplateDisplayOffersToCustomizeOrChangeAndThenNoLayoutButton) {
    auto view = show(canvasInputs(
        storeScene("Desk", {{"D", "builtin.daily"}}, {{"D", {{"org.example.mail", 4, std::nullopt}}}}), "D"));
    EXPECT_EQ(view->templateLabel()->text(), "Template: Daily");
    EXPECT_TRUE(view->customizeButton()->isVisible());
    EXPECT_TRUE(view->changeButton()->isVisible());
    EXPECT_FALSE(view->chooseButton()->isVisible());
    EXPECT_TRUE(view->applySceneButton()->isEnabled());
    EXPECT_FALSE(view->saveBar()->applyButton()->isEnabled());
    EXPECT_EQ(view->overlayBar(), nullptr);
    EXPECT_EQ(view->cells().size(), 4u);
    // In the proportions of the 1440 × 900 display.
    const QSize area = view->canvasArea()->size();
    EXPECT_NEAR(double(area.width()) / area.height(), 1.6, 0.01) << area.width() << "x" << area.height();
    saveScreenshot(*view, "scene-canvas-window-mode.png");

    view->customizeButton()->click();
    settle();
    EXPECT_FALSE(view->templateLabel()->isVisible());
    EXPECT_FALSE(view->customizeButton()->isVisible());
    EXPECT_FALSE(view->changeButton()->isVisible());
    EXPECT_FALSE(view->chooseButton()->isVisible());
    EXPECT_TRUE(view->saveBar()->applyButton()->isEnabled()) << "the copied template is unsaved geometry";

    view->saveBar()->applyButton()->click();
    settle();
    EXPECT_EQ(view->hintLabel()->text(), "Saved");
    const std::string ref = sceneFile(view->model().inputs().scene.id)["layoutRefsByDisplay"]["D"];
    EXPECT_EQ(ref.rfind("layout.", 0), 0u) << ref;
}

TEST_F(SceneCanvasWindowModeTest, beforeItHasASizeTheCanvasShowsNoZoneGeometry) {
    auto model = SceneGeometryCanvasModel::make(
        platform, canvasInputs(storeScene("Desk", {{"D", "builtin.daily"}}), "D"), cache);
    SceneGeometryCanvasView view(platform, model);
    view.refresh();
    EXPECT_TRUE(view.emptyState()->isVisibleTo(&view));
    EXPECT_TRUE(view.cells().empty());
    SceneCanvasEmptyStateView alone;
    alone.resize(360, 200);
    alone.setAutoFillBackground(true);
    QPalette palette = alone.palette();
    palette.setColor(QPalette::Window, QColor(30, 32, 38));
    alone.setPalette(palette);
    saveScreenshot(alone, "scene-canvas-empty-state.png");
}

TEST_F(SceneCanvasWindowModeTest, aDisplayWithoutALayoutChoosesOneInThePicker) {
    const std::string id = storeScene("Bare");
    auto view = show(canvasInputs(id, "D"));
    // One whole zone to start from; the layout is the display's to choose.
    EXPECT_FALSE(view->emptyState()->isVisible());
    EXPECT_EQ(view->cells().size(), 1u);
    EXPECT_TRUE(view->chooseButton()->isVisible());
    EXPECT_FALSE(view->customizeButton()->isVisible());
    EXPECT_FALSE(view->templateLabel()->isVisible());
    saveScreenshot(*view, "scene-canvas-window-no-layout.png");

    view->chooseButton()->click();
    settle();
    ASSERT_NE(view->templatePicker(), nullptr);
    EXPECT_EQ(view->templatePicker()->visibleRows(),
              (std::vector<std::string>{"Full", "60:40", "50:50", "Daily"}));
    ASSERT_TRUE(view->templatePicker()->chooseTemplate("builtin.split-60-40"));
    settle();
    EXPECT_FALSE(view->templatePicker() && view->templatePicker()->isVisible());
    EXPECT_FALSE(view->model().showTemplatePicker());
    EXPECT_EQ(sceneFile(id)["layoutRefsByDisplay"]["D"], "builtin.split-60-40");
    // The owner hands the scene as now stored back to the canvas, which draws the chosen layout.
    view->model().setScene(storedScene(id));
    settle();
    EXPECT_EQ(view->cells().size(), 2u);
    EXPECT_EQ(view->templateLabel()->text(), "Template: 60:40");

    // Cancelled, the picker leaves the display as it was.
    view->changeButton()->click();
    settle();
    ASSERT_TRUE(view->templatePicker() && view->templatePicker()->isVisible());
    view->templatePicker()->reject();
    settle();
    EXPECT_FALSE(view->model().showTemplatePicker());
    EXPECT_EQ(sceneFile(id)["layoutRefsByDisplay"]["D"], "builtin.split-60-40");
}

} // namespace
