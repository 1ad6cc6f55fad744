// The canvas of one display on the simulated desktop: where its geometry comes from and what it offers the
// overlay, the hint line in virtual time, a template chosen and written to the scene file, the zones and
// dividers it derives from a layout with a divider dragged, and the proportions it shows of a stored tree.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "SceneEditorFixture.h"
#include "core/ISODate.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/LayoutPreviewRegions.h"
#include "layouts/LayoutTreeEditorModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvane;
using nlohmann::json;

namespace {

class SceneCanvasTest : public korvane::testing::SceneEditorTest {
  protected:
    static std::string kind(const CanvasGeometrySource& source) {
        if (source.isNone()) return "none";
        if (const auto* t = std::get_if<CanvasGeometrySource::Template>(&source.value))
            return "template " + t->name;
        return "inline";
    }
    ConfigZoneSet layout(const std::string& id) { return library->regionSet(id).value(); }
};

TEST_F(SceneCanvasTest, theDisplaysGeometryComesFromItsReferenceAndIsOfferedToTheOverlayAccordingly) {
    struct Case {
        const char* what;
        WMScene::LayoutRefMap refs;
        bool customize;
        std::string source;
        std::vector<std::int64_t> regions;
        std::optional<std::string> templateName;
        bool canCustomize, canChange, canChoose, unsaved;
    };
    const std::vector<Case> cases{
        {"no reference", {}, false, "none", {1}, std::nullopt, false, false, true, false},
        {"a reference nobody knows",
         {{"D", "layout.gone"}},
         false,
         "none",
         {1},
         std::nullopt,
         false,
         false,
         true,
         false},
        {"another display's reference",
         {{"E", "builtin.daily"}, {"F", "builtin.fullscreen"}},
         false,
         "none",
         {1},
         std::nullopt,
         false,
         false,
         true,
         false},
        {"a template",
         {{"D", "builtin.daily"}},
         false,
         "template Daily",
         {1, 2, 3, 4},
         "Daily",
         true,
         true,
         false,
         false},
        {"the template customised",
         {{"D", "builtin.daily"}},
         true,
         "inline",
         {1, 2, 3, 4},
         std::nullopt,
         false,
         false,
         false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bridge = std::make_shared<SceneEditorCanvasBridge>();
        auto inputs = canvasInputs(storeScene("Work", c.refs), "D");
        inputs.canvasBridge = bridge;
        auto canvas = showCanvas(inputs);
        if (c.customize) canvas->customizeLayout();
        loop.settle();
        EXPECT_EQ(kind(canvas->currentGeometrySource()), c.source);
        EXPECT_EQ(canvas->treeEditor()->root().regionIDs(), c.regions);
        EXPECT_EQ(bridge->templateName(), c.templateName);
        EXPECT_EQ(bridge->canCustomizeLayout(), c.canCustomize);
        EXPECT_EQ(bridge->canChangeLayout(), c.canChange);
        EXPECT_EQ(bridge->canChooseLayout(), c.canChoose);
        EXPECT_EQ(bridge->hasUnsavedChanges(), c.unsaved);
    }
}

TEST_F(SceneCanvasTest, aLayoutCanBeChosenOnlyWithAResolver) {
    for (bool withResolver : {true, false}) {
        SCOPED_TRACE(withResolver ? "with a resolver" : "without one");
        auto bridge = std::make_shared<SceneEditorCanvasBridge>();
        auto inputs = canvasInputs(storeScene("Work", {{"D", "builtin.daily"}}), "D");
        if (!withResolver) inputs.layoutTemplateResolver = nullptr;
        inputs.canvasBridge = bridge;
        auto canvas = showCanvas(inputs);
        // Without a resolver even a known reference gives no geometry.
        EXPECT_EQ(kind(canvas->currentGeometrySource()), withResolver ? "template Daily" : "none");
        EXPECT_EQ(bridge->canChooseLayout(), false);

        auto bareBridge = std::make_shared<SceneEditorCanvasBridge>();
        auto bare = canvasInputs(storeScene("Bare"), "D");
        if (!withResolver) bare.layoutTemplateResolver = nullptr;
        bare.canvasBridge = bareBridge;
        auto empty = showCanvas(bare);
        EXPECT_EQ(bareBridge->canChooseLayout(), withResolver);
        bareBridge->post(SceneEditorCanvasBridge::Command::chooseLayout);
        loop.settle();
        EXPECT_EQ(empty->showTemplatePicker(), withResolver);
        EXPECT_EQ(empty->templatePickerTemplates().size(), withResolver ? 4u : 0u);
    }
}

TEST_F(SceneCanvasTest, twoHintsWithinTwoSecondsClearTwoSecondsAfterTheSecond) {
    auto canvas = showCanvas(canvasInputs(storeScene("Work"), "D"));
    canvas->showHint("First");
    desktop->loop().advance(milliseconds(1500));
    canvas->showHint("Second");
    struct Step {
        Nanos advance;
        std::optional<std::string> shown;
    };
    // From the second hint: the first one's timer (at 0.5 s) leaves it; its own clears it at 2.0 s.
    for (const auto& step : std::vector<Step>{{milliseconds(600), "Second"},
                                              {milliseconds(1390), "Second"},
                                              {milliseconds(10), std::nullopt}}) {
        desktop->loop().advance(step.advance);
        EXPECT_EQ(canvas->hintMessage(), step.shown);
    }
}

TEST_F(SceneCanvasTest, applyingATemplateWritesOnlyTheReferenceAndUpdatedAtOfTheSceneAsStoredNow) {
    const std::string id = storeScene("Work", {{"D", "builtin.fullscreen"}, {"E", "builtin.daily"}},
                                      {{"D", {WindowHint{"com.example.Mail", 1, std::nullopt}}}});
    auto bridge = std::make_shared<SceneEditorCanvasBridge>();
    auto inputs = canvasInputs(id, "D");
    inputs.canvasBridge = bridge;
    auto canvas = showCanvas(inputs);
    canvas->customizeLayout();

    // Changed behind the canvas's back after it loaded: the write keeps what it does not own.
    WMScene changed = storedScene(id);
    changed.name = "Renamed";
    changed.windowHints["E"] = {WindowHint{"com.example.Notes", 2, std::nullopt}};
    store->save(changed, screens());
    json expected = sceneFile(id);

    canvas->applyTemplate(layout("builtin.split-50-50"));
    loop.settle();
    expected["layoutRefsByDisplay"]["D"] = "builtin.split-50-50";
    expected["updatedAt"] = isoDateString(desktop->loop().wallClock());
    EXPECT_EQ(sceneFile(id), expected);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(canvas->hintMessage(), "Layout changed");
    EXPECT_FALSE(canvas->forceInlineEditing());
    EXPECT_FALSE(canvas->isGeometryDirty());
    EXPECT_FALSE(bridge->hasUnsavedChanges());
}

TEST_F(SceneCanvasTest, applyingATemplateThatCannotBeWrittenLeavesTheCanvasAsItWas) {
    struct Case {
        const char* what;
        bool removeScene;
        std::optional<std::string> hint;
        bool logged;
    };
    const std::vector<Case> cases{
        {"the scene file gone: nothing at all", true, std::nullopt, false},
        {"the write failing: a hint and an error line", false, "Layout change failed", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        logs.log().clear();
        const std::string id = storeScene("Work", {{"D", "builtin.daily"}});
        auto bridge = std::make_shared<SceneEditorCanvasBridge>();
        auto inputs = canvasInputs(id, "D");
        inputs.canvasBridge = bridge;
        auto canvas = showCanvas(inputs);
        canvas->customizeLayout();
        loop.settle();
        desktop->loop().advance(3 * kNanosPerSecond); // the customising hint is gone
        if (c.removeScene) {
            std::filesystem::remove(scenes() / SceneStore::sceneFileName(id));
        } else {
            // The manifest cannot be replaced by a file any more.
            std::filesystem::remove(scenes() / SceneStore::kManifestFileName);
            std::filesystem::create_directory(scenes() / SceneStore::kManifestFileName);
        }

        canvas->applyTemplate(layout("builtin.split-50-50"));
        loop.settle();
        EXPECT_EQ(canvas->hintMessage(), c.hint);
        EXPECT_EQ(logs.log().contains("[sceneManager] Failed to apply Scene template: "), c.logged);
        EXPECT_EQ(saves, 0);
        EXPECT_TRUE(canvas->forceInlineEditing());
        EXPECT_TRUE(canvas->isGeometryDirty());
        EXPECT_TRUE(bridge->hasUnsavedChanges());
        std::filesystem::remove_all(scenes());
    }
}

TEST_F(SceneCanvasTest, theDailyLayoutOnAnOverlayCanvasGivesItsDividersAndZones) {
    auto canvas = showCanvas(canvasInputs(storeScene("Work", {{"D", "builtin.daily"}}), "D"));
    struct Line {
        std::string id;
        double absoluteRatio;
        Rect hitFrame;
    };
    const std::vector<Line> expected{
        {"", 0.25, Rect{238, 0, 24, 600}},
        {"0", 0.5, Rect{0, 288, 250, 24}},
        {"1", 0.7, Rect{688, 0, 24, 600}},
    };
    ASSERT_EQ(canvas->splitLines().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& line = canvas->splitLines()[i];
        EXPECT_EQ(line.id, expected[i].id);
        EXPECT_NEAR(line.absoluteRatio, expected[i].absoluteRatio, 1e-9) << line.id;
        EXPECT_EQ(line.hitFrame, expected[i].hitFrame) << line.id;
    }
    std::vector<std::int64_t> ids;
    for (const auto& zone : canvas->zoneFramesNormalized())
        ids.push_back(zone.zoneID);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(canvas->zoneFramesNormalized()[0].normalizedFrame, (Rect{0, 0.5, 0.25, 0.5}));
    const Rect zone3 = canvas->zoneFramesNormalized()[2].normalizedFrame;
    EXPECT_NEAR(zone3.origin.x, 0.25, 1e-9);
    EXPECT_NEAR(zone3.origin.y, 0, 1e-9);
    EXPECT_NEAR(zone3.size.width, 0.45, 1e-9);
    EXPECT_NEAR(zone3.size.height, 1, 1e-9);

    // Outside the overlay the bands are narrower.
    auto inputs = canvasInputs(storeScene("Inline", {{"D", "builtin.daily"}}), "D");
    inputs.overlayMode = false;
    EXPECT_EQ(showCanvas(inputs)->splitLines().front().hitFrame, (Rect{243, 0, 14, 600}));
}

TEST_F(SceneCanvasTest, draggingTheRootDividerCopiesTheTemplateSnapsAndKeepsTheOtherDividersInPlace) {
    auto bridge = std::make_shared<SceneEditorCanvasBridge>();
    auto inputs = canvasInputs(storeScene("Work", {{"D", "builtin.daily"}}), "D");
    inputs.canvasBridge = bridge;
    auto canvas = showCanvas(inputs);
    struct Drag {
        double x;
        double rootRatio;
        std::optional<double> rightDividerX; // where the right column's divider stands afterwards
    };
    for (const Drag& drag : {Drag{340, 0.333, 700}, Drag{980, 0.9, std::nullopt}}) {
        SCOPED_TRACE(drag.x);
        const SceneCanvasSplitLine root = canvas->splitLines().front();
        canvas->dragDivider(root.path, root.proposedRatio(Point{drag.x, 300}));
        loop.settle();
        EXPECT_DOUBLE_EQ(canvas->treeEditor()->ratio({}).value(), drag.rootRatio);
        EXPECT_NEAR(canvas->splitLines().front().absoluteRatio, drag.rootRatio, 1e-9);
        if (drag.rightDividerX) {
            EXPECT_NEAR(canvas->splitLines()[2].absoluteRatio * 1000, *drag.rightDividerX, 1e-6);
        }
    }
    EXPECT_EQ(canvas->hintMessage(), "Template copied to editable geometry");
    EXPECT_EQ(kind(canvas->currentGeometrySource()), "inline");
    EXPECT_TRUE(canvas->isGeometryDirty());
    EXPECT_TRUE(bridge->hasUnsavedChanges());
}

TEST_F(SceneCanvasTest, ratiosChosenWithThePointerSnapToAFewPreferredValues) {
    struct Case {
        double in, out;
    };
    for (const Case& c : {Case{0.34, 0.333}, Case{0.3481, 0.3481}, Case{0.05, 0.1}, Case{0.97, 0.9},
                          Case{0.26, 0.25}, Case{0.655, 0.666}, Case{0.7, 0.7}, Case{0.76, 0.75}})
        EXPECT_DOUBLE_EQ(snapRatio(c.in), c.out) << c.in;
    EXPECT_DOUBLE_EQ(snapRatio(std::numeric_limits<double>::quiet_NaN()), 0.9);
}

// The canvas shows and keeps the proportions a display gets: a vertical split's first child is the top
// part with `ratio` of the height, on the canvas, in the small layout drawing and on a display alike.
TEST_F(SceneCanvasTest, aStoredVerticalSplitGivesTheSameTopZoneOnTheCanvasInTheMiniPreviewAndOnADisplay) {
    struct Case {
        double stored;
        double topShare; // of the height, everywhere
    };
    for (const Case& c : {Case{0.3, 0.3}, Case{0.7, 0.7}, Case{0.01, 0.05}}) {
        SCOPED_TRACE(c.stored);
        const LayoutNode tree =
            LayoutNode::split(SplitAxis::vertical, c.stored, LayoutNode::region(1), LayoutNode::region(2));
        ConfigZoneSet layout;
        layout.id = "layout.stacked";
        layout.name = "Stacked";
        layout.layoutTree = tree;
        library->saveUserLayout(layout);
        auto canvas = showCanvas(canvasInputs(storeScene("Work", {{"D", "layout.stacked"}}), "D"));

        const SceneCanvasZoneRect canvasTop = canvas->zoneFrames().front();
        EXPECT_EQ(canvasTop.zoneID, 1);
        EXPECT_DOUBLE_EQ(canvasTop.frame.minY(), 0);
        EXPECT_NEAR(canvasTop.frame.height() / 600, c.topShare, 1e-9);
        EXPECT_NEAR(canvas->splitLines().front().absoluteRatio, c.topShare, 1e-9);

        const auto preview = layoutPreviewRegions(tree, Rect{0, 0, 160, 100});
        EXPECT_EQ(preview.front().id, 1);
        EXPECT_DOUBLE_EQ(preview.front().frame.minY(), 0);
        EXPECT_NEAR(preview.front().frame.height() / 100, c.topShare, 1e-9);

        // A display's frames are bottom-left with y up: the top zone ends at the top edge.
        const auto zones = LayoutBuilder::zones(tree, Rect{0, 0, 1000, 600});
        const Rect displayTop = zones.at(1).frame;
        EXPECT_DOUBLE_EQ(displayTop.maxY(), 600);
        if (c.stored == c.topShare) {
            EXPECT_NEAR(displayTop.height() / 600, c.topShare, 1e-9);
        }
    }
}

} // namespace
