// What a display edited on the scene canvas and saved gets when the scene is restored on the simulated
// desktop: the applications in the zones the user put them in, and the proportions the canvas showed.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "app/DisplayFixture.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"
#include "scenes/SceneStore.h"
#include "ui/scene_editor/BundleInfoCache.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

constexpr const char* kEditor = "com.example.editor";

class SceneCanvasRestoreTest : public korvane::testing::DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay("D", {0, 0, 1000, 600});
        services = SceneRestoreServices::create(*desktop, {multiState, displayLayouts, library, mapping});
        store = std::make_shared<SceneStore>(*desktop, screens());
        engine = services->makeEngine(store, ax);
        WMScene scene;
        scene.id = "22222222-3333-4444-8555-666666666666";
        scene.name = "Work";
        store->save(scene, screens());
    }
    ScreenContext screens() { return ScreenContext::capture(desktop->screens()); }
    std::shared_ptr<SceneGeometryCanvasModel> canvas() {
        SceneGeometryCanvasModel::Inputs inputs;
        inputs.scene = store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value();
        inputs.displayUUID = "D";
        inputs.store = store;
        inputs.layoutTemplateResolver = library;
        inputs.onSaveAsUserLayout = [this](const ConfigZoneSet& set) -> std::optional<std::string> {
            return library->saveUserLayout(set);
        };
        inputs.overlayMode = true;
        auto model =
            SceneGeometryCanvasModel::make(*desktop, std::move(inputs), std::make_shared<BundleInfoCache>());
        model->appear();
        model->setCanvasSize(Size{1000, 600});
        desktop->loop().runUntilIdle();
        return model;
    }
    // Saves the canvas, opens the editor's window and restores the scene as stored.
    Rect restoredEditorFrame(SceneGeometryCanvasModel& model) {
        EXPECT_TRUE(model.saveChanges());
        const pid_t editor = desktop->workspace().launch({.bundleID = kEditor, .name = "Editor"});
        const WindowID window =
            desktop->windows().open(editor, {.frame = {100, 100, 300, 200}, .title = "Plan"});
        desktop->loop().runUntilIdle();
        engine->restore(store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value());
        desktop->loop().runUntilIdle();
        return desktop->windows().frame(window);
    }

    std::shared_ptr<SceneRestoreServices> services;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<SceneRestoreEngine> engine;
    const Rect canvasRect{0, 0, 1000, 600};
};

TEST_F(SceneCanvasRestoreTest, anApplicationPutTopRightAfterThreeSplitsIsRestoredTopRight) {
    auto model = canvas();
    model->handleKeyDown("v");
    model->handleZoneTap(1);
    model->handleKeyDown("h");
    model->handleZoneTap(2);
    model->handleKeyDown("h");
    model->handleZoneTap(1);
    model->addApp(kEditor, 2); // the canvas's top-right zone

    // Bottom-left coordinates: the right half's upper part.
    EXPECT_EQ(restoredEditorFrame(*model), Rect(500, 300, 500, 300));
}

TEST_F(SceneCanvasRestoreTest, aStackedSplitSavedAtThirtyPercentGivesTheDisplayAThirtyPercentTopZone) {
    auto model = canvas();
    model->handleMouseMove({500, 180}, canvasRect);
    model->handleKeyDown("h");
    EXPECT_DOUBLE_EQ(model->splitPreviewRatio(), 0.3);
    model->confirmSplit({500, 180}, canvasRect);
    model->addApp(kEditor, 1);

    EXPECT_EQ(restoredEditorFrame(*model), Rect(0, 420, 1000, 180));
}

} // namespace
