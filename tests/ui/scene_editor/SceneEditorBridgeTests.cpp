// The bridge between the overlay and a display's canvas, as the canvas takes its commands: each post seen,
// each command run once and only once its token is raised, and what the canvas reports back.
#include "ui/scene_editor/SceneEditorCanvasBridge.h"

#include "SceneEditorFixture.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class SceneEditorBridgeTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        auto inputs = canvasInputs(storeScene("Alpha", {{"D", "builtin.daily"}}), "D");
        inputs.onDone = [this] { ++doneCalls; };
        inputs.canvasBridge = bridge;
        canvas = showCanvas(inputs);
    }

    std::shared_ptr<SceneEditorCanvasBridge> bridge = std::make_shared<SceneEditorCanvasBridge>();
    std::shared_ptr<SceneGeometryCanvasModel> canvas;
    int doneCalls = 0;
};

TEST_F(SceneEditorBridgeTest, aCommandPostedTwiceBeforeTheCanvasReactsRaisesTheTokenByTwoAndRunsOnce) {
    using Command = SceneEditorCanvasBridge::Command;
    for (Command command : {Command::save, Command::done}) {
        const std::int64_t before = bridge->commandToken();
        std::vector<SceneEditorCanvasBridge::Property> told;
        auto token = bridge->subscribe([&](SceneEditorCanvasBridge::Property p) { told.push_back(p); });
        bridge->post(command);
        bridge->post(command);
        EXPECT_EQ(bridge->commandToken(), before + 2);
        EXPECT_EQ(bridge->pendingCommand(), command);
        // The second post finds the command already pending: only the token is told again.
        using P = SceneEditorCanvasBridge::Property;
        EXPECT_EQ(told, (std::vector<P>{P::pendingCommand, P::commandToken, P::commandToken}));

        loop.settle();
        EXPECT_EQ(bridge->pendingCommand(), std::nullopt);
    }
    EXPECT_EQ(doneCalls, 1);
}

TEST_F(SceneEditorBridgeTest, aCommandSetOnTheBridgeWaitsForItsToken) {
    // The token alone says a command was posted: one set without it waits, and the display keeps its
    // template meanwhile.
    using Command = SceneEditorCanvasBridge::Command;
    bridge->setPendingCommand(Command::customizeLayout);
    loop.settle();
    EXPECT_EQ(canvas->hintMessage(), std::nullopt);
    EXPECT_EQ(bridge->templateName(), "Daily");
    EXPECT_FALSE(bridge->hasUnsavedChanges());
    EXPECT_EQ(bridge->pendingCommand(), Command::customizeLayout);

    bridge->setCommandToken(bridge->commandToken() + 1);
    loop.settle();
    EXPECT_EQ(canvas->hintMessage(), "Template copied to editable geometry");
    EXPECT_EQ(bridge->templateName(), std::nullopt);
    EXPECT_TRUE(bridge->hasUnsavedChanges());
    EXPECT_EQ(bridge->pendingCommand(), std::nullopt);
}

TEST_F(SceneEditorBridgeTest, layoutCommandsActOnlyWhereTheDisplaysGeometryAllowsThem) {
    using Command = SceneEditorCanvasBridge::Command;
    EXPECT_EQ(bridge->templateName(), "Daily");
    EXPECT_TRUE(bridge->canChangeLayout());
    EXPECT_FALSE(bridge->canChooseLayout());

    bridge->post(Command::chooseLayout); // the display has a layout
    loop.settle();
    EXPECT_FALSE(canvas->showTemplatePicker());
    bridge->post(Command::changeLayout);
    loop.settle();
    EXPECT_TRUE(canvas->showTemplatePicker());
    EXPECT_EQ(canvas->templatePickMode(), SceneGeometryCanvasModel::TemplatePickMode::change);
    canvas->dismissTemplatePicker();

    bridge->post(Command::customizeLayout);
    loop.settle();
    EXPECT_EQ(canvas->hintMessage(), "Template copied to editable geometry");
    EXPECT_TRUE(bridge->hasUnsavedChanges());
    EXPECT_EQ(bridge->templateName(), std::nullopt);
    bridge->post(Command::changeLayout); // edited geometry is no template any more
    loop.settle();
    EXPECT_FALSE(canvas->showTemplatePicker());

    bridge->post(Command::reset);
    loop.settle();
    EXPECT_EQ(canvas->hintMessage(), "Reset");
    EXPECT_FALSE(bridge->hasUnsavedChanges());
    EXPECT_EQ(bridge->templateName(), "Daily");
}

} // namespace
