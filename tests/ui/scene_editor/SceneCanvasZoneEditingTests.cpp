// Splitting and merging zones on the canvas of one display: the keys, the split line placed where the
// pointer is, the refusals a user reads in the hint line, and a template copied before it is edited.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "SceneEditorFixture.h"
#include "layouts/LayoutTreeEditorModel.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class SceneCanvasZoneEditingTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        addDisplay("D");
    }
    const Rect canvasRect{0, 0, 1000, 600};
};

TEST_F(SceneCanvasZoneEditingTest, vSplitsWhereThePointerIsAndDeleteMergesBack) {
    auto canvas = showCanvas(canvasInputs(storeScene("Work"), "D"));
    canvas->handleMouseMove({340, 200}, canvasRect);

    EXPECT_TRUE(canvas->handleKeyDown("V"));
    ASSERT_EQ(canvas->splitPreviewMode(), SplitAxis::horizontal);
    EXPECT_DOUBLE_EQ(canvas->splitPreviewRatio(), 0.333);

    canvas->confirmSplit({340, 200}, canvasRect);
    EXPECT_EQ(canvas->treeEditor()->root().regionIDs(), (std::vector<std::int64_t>{1, 2}));
    ASSERT_EQ(canvas->zoneFrames().size(), 2u);
    EXPECT_NEAR(canvas->zoneFrames()[0].frame.width(), 333, 0.5);
    EXPECT_TRUE(canvas->isGeometryDirty());
    EXPECT_FALSE(canvas->splitPreviewMode());
    loop.settle();

    // Off the canvas no zone is under the pointer; a path naming a split, or nothing, names no zone.
    canvas->handleMouseMove({1200, 200}, canvasRect);
    EXPECT_EQ(canvas->hoveredZoneID(), std::nullopt);
    EXPECT_EQ(canvas->zoneID({}), std::nullopt);
    EXPECT_EQ(canvas->zoneID({1, 0}), std::nullopt);
    canvas->handleMouseMove({700, 200}, canvasRect);
    EXPECT_EQ(canvas->hoveredZoneID(), 2);
    EXPECT_TRUE(canvas->handleKeyDown("\x7f"));
    EXPECT_EQ(canvas->treeEditor()->root().regionIDs(), (std::vector<std::int64_t>{1}));
    EXPECT_EQ(canvas->zoneFrames().size(), 1u);
}

TEST_F(SceneCanvasZoneEditingTest, refusalsLeaveTheTreeAndSayWhy) {
    struct Case {
        const char* what;
        std::function<void(SceneGeometryCanvasModel&)> act;
        std::vector<std::int64_t> regions;
        std::optional<std::string> hint;
    };
    const std::vector<Case> cases{
        {"backspace over the only zone",
         [this](SceneGeometryCanvasModel& c) {
             c.handleMouseMove({500, 300}, canvasRect);
             c.handleKeyDown("\x08");
         },
         {1},
         "Cannot delete root zone"},
        {"delete with nothing hovered or selected",
         [](SceneGeometryCanvasModel& c) { c.handleKeyDown("\x7f"); },
         {1},
         "Hover or select a zone to merge"},
        {"delete after the pointer left",
         [this](SceneGeometryCanvasModel& c) {
             c.handleMouseMove({500, 300}, canvasRect);
             c.clearHover();
             c.handleKeyDown("\x7f");
         },
         {1},
         "Hover or select a zone to merge"},
        {"a click with no split previewed",
         [this](SceneGeometryCanvasModel& c) {
             c.confirmSplit({500, 300}, canvasRect);
         },
         {1},
         std::nullopt},
        {"escape drops the preview before a click",
         [this](SceneGeometryCanvasModel& c) {
             c.handleKeyDown("h");
             c.handleKeyDown("\x1b");
             c.confirmSplit({500, 300}, canvasRect);
         },
         {1},
         std::nullopt},
        {"a tap on a zone while a stacked split is previewed",
         [](SceneGeometryCanvasModel& c) {
             c.handleKeyDown("h");
             c.handleZoneTap(1);
         },
         {1, 2},
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto canvas = showCanvas(canvasInputs(storeScene("Work"), "D"));
        c.act(*canvas);
        EXPECT_EQ(canvas->treeEditor()->root().regionIDs(), c.regions);
        EXPECT_EQ(canvas->hintMessage(), c.hint);
    }
}

TEST_F(SceneCanvasZoneEditingTest, keysOtherThanTheEditingOnesAreLeftToOthers) {
    struct Case {
        const char* what;
        bool overlay;
        std::string key;
        bool handled;
        int done;
    };
    const std::vector<Case> cases{
        {"escape on the overlay closes it", true, "\x1b", true, 1},
        {"escape in a window", false, "\x1b", false, 0},
        {"another letter", true, "x", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int done = 0;
        auto inputs = canvasInputs(storeScene("Work"), "D");
        inputs.overlayMode = c.overlay;
        inputs.onDone = [&done] { ++done; };
        auto canvas = showCanvas(std::move(inputs));
        EXPECT_EQ(canvas->handleKeyDown(c.key), c.handled);
        EXPECT_EQ(done, c.done);
    }
}

TEST_F(SceneCanvasZoneEditingTest, aTemplateIsCopiedBeforeItIsSplit) {
    auto canvas = showCanvas(canvasInputs(storeScene("Work", {{"D", "builtin.daily"}}), "D"));
    ASSERT_TRUE(canvas->currentGeometrySource().isTemplate());

    EXPECT_TRUE(canvas->handleKeyDown("h"));
    EXPECT_TRUE(canvas->currentGeometrySource().isInline());
    EXPECT_EQ(canvas->hintMessage(), "Template copied to editable geometry");
    EXPECT_EQ(canvas->splitPreviewMode(), SplitAxis::vertical);
    canvas->handleZoneTap(1);
    EXPECT_EQ(canvas->treeEditor()->root().regionIDs().size(), 5u);
    EXPECT_TRUE(canvas->isGeometryDirty());
}

} // namespace
