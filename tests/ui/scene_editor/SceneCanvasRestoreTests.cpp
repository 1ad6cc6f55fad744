// What a display edited on the scene canvas and saved gets when the scene is restored on the simulated
// desktop: the applications in the zones the user put them in, and the proportions the canvas showed,
// also when a display saved twice keeps its layout's id; a chip dragged from another display lands where
// it was dropped, and one dropped into a zone not yet saved stays where it was shown; windows whose zone
// the display's layout lacks are reported unplaced, and no zone split off later takes them.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "app/DisplayFixture.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"
#include "scenes/SceneStore.h"
#include "support/RestoreAwaited.h"
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
    std::shared_ptr<SceneGeometryCanvasModel> canvas(const std::string& display = "D") {
        SceneGeometryCanvasModel::Inputs inputs;
        inputs.scene = store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value();
        inputs.displayUUID = display;
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
        korvane::testing::restoreAwaited(
            *desktop, *engine, store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value());
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

TEST_F(SceneCanvasRestoreTest, aChipMovedAfterASavedSplitIsRestoredInTheZoneItWasShownIn) {
    // The display already keeps a layout of its own, left | right, with the editor on the left: a
    // split saves under the same id and leaves the editor's zone as it was.
    ConfigZoneSet halves;
    halves.id = "layout.0000abcd";
    halves.name = "Work Layout";
    halves.layoutTree =
        LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(1), LayoutNode::region(2));
    library->saveUserLayout(halves);
    WMScene scene = store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value();
    scene.layoutRefsByDisplay["D"] = halves.id;
    scene.windowHints["D"] = {{kEditor, 1, std::nullopt}};
    store->save(scene, screens());

    auto model = canvas();
    model->handleKeyDown("h");
    model->handleZoneTap(1); // the left half: top over bottom
    ASSERT_TRUE(model->saveChanges());
    // As the editor's owner does after every save: the scene as it now reads.
    model->setScene(store->loadScene(scene.id, screens()).value());
    desktop->loop().runUntilIdle();

    // The user drags the editor's chip into the zone the canvas shows on the right.
    std::optional<std::int64_t> right;
    for (const auto& zone : model->zoneFrames())
        if (zone.frame.minX() >= 500) right = zone.zoneID;
    ASSERT_TRUE(right);
    const auto chip = model->zoneApps().at(1).at(0);
    ASSERT_TRUE(model->dropApp(model->dragPayload(chip, 1), *right, std::nullopt));

    EXPECT_EQ(restoredEditorFrame(*model), Rect(500, 0, 500, 600));
}

TEST_F(SceneCanvasRestoreTest, aChipFromAnotherDisplayIsRestoredInTheZoneItIsShownInAfterEachDrop) {
    addDisplay("E", {1000, 0, 1000, 600});
    WMScene scene = store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value();
    scene.layoutRefsByDisplay = {{"D", "builtin.split-50-50"}, {"E", "builtin.split-50-50"}};
    scene.windowHints["D"] = {{kEditor, 1, std::nullopt}};
    store->save(scene, screens());
    auto source = canvas("D");
    auto target = canvas("E");
    const pid_t editor = desktop->workspace().launch({.bundleID = kEditor, .name = "Editor"});
    const WindowID window = desktop->windows().open(editor, {.frame = {100, 100, 300, 200}, .title = "Plan"});
    const auto restored = [&] {
        engine->restore(store->loadScene(scene.id, screens()).value());
        desktop->loop().runUntilIdle();
        return desktop->windows().frame(window);
    };

    // E's right half split, not saved: its new zone 3 is not in the layout the scene keeps for E.
    target->handleKeyDown("v");
    target->handleZoneTap(2);
    ASSERT_EQ(target->zoneFrames().size(), 3u);
    const std::string chip = source->dragPayload(source->zoneApps().at(1).at(0), 1);
    EXPECT_FALSE(target->dropTextsOnZone({chip}, 3));
    EXPECT_EQ(target->zoneFrames().size(), 3u);
    EXPECT_TRUE(target->isGeometryDirty());
    EXPECT_EQ(target->hintMessage(), "Save new zones before moving apps from another display");
    ASSERT_EQ(source->zoneApps().at(1).size(), 1u);
    // Where the source canvas still shows it, D's left half (bottom-left coordinates).
    EXPECT_EQ(restored(), Rect(0, 0, 500, 600));

    // Into a zone the stored layout has, the move is written at once and restored there.
    EXPECT_TRUE(target->dropTextsOnZone({chip}, 2));
    EXPECT_EQ(restored(), Rect(1500, 0, 500, 600));
}

// A display bound to a one-zone layout while the scene names two windows in its zone 2: the restore leaves
// them where they stand and reports them unplaced; the editor shows them under Excluded, and the display
// split in halves again and saved does not fill its new zone 2 with them.
TEST_F(SceneCanvasRestoreTest, windowsOfAZoneTheLayoutLacksAreReportedUnplacedAndANewZone2TakesNone) {
    ConfigZoneSet whole;
    whole.id = "layout.0000beef";
    whole.name = "Work Layout";
    whole.layoutTree = LayoutNode::region(1);
    library->saveUserLayout(whole);
    WMScene scene = store->loadScene("22222222-3333-4444-8555-666666666666", screens()).value();
    scene.layoutRefsByDisplay["D"] = whole.id;
    scene.windowHints["D"] = {{kEditor, 2, std::nullopt}, {kEditor, 2, std::nullopt}};
    store->save(scene, screens());
    const pid_t editor = desktop->workspace().launch({.bundleID = kEditor, .name = "Editor"});
    const std::vector<Rect> opened{{100, 100, 300, 200}, {150, 250, 300, 200}};
    std::vector<WindowID> windows;
    for (const Rect& frame : opened)
        windows.push_back(desktop->windows().open(editor, {.frame = frame, .title = "Plan"}));
    desktop->loop().runUntilIdle();
    const auto restore = [&] {
        return korvane::testing::restoreAwaited(*desktop, *engine,
                                                store->loadScene(scene.id, screens()).value());
    };
    const auto framesNow = [&] {
        std::vector<Rect> frames;
        for (WindowID window : windows)
            frames.push_back(desktop->windows().frame(window));
        return frames;
    };

    const SceneRestoreResult first = restore();
    EXPECT_EQ(first.placedWindows, 0);
    EXPECT_EQ(first.totalHints, 2);
    EXPECT_EQ(first.appsWithoutZone, 2);
    EXPECT_EQ(framesNow(), opened);

    auto model = canvas();
    EXPECT_EQ(model->excludedApps().size(), 2u);
    model->handleKeyDown("v");
    model->handleZoneTap(1); // 1 | 2
    ASSERT_TRUE(model->saveChanges());

    const SceneRestoreResult second = restore();
    EXPECT_EQ(framesNow(), opened);
    EXPECT_EQ(second.placedWindows, 0);
    EXPECT_EQ(second.appsWithoutZone, 0);
    EXPECT_FALSE(store->loadScene(scene.id, screens())->windowHints.contains("D"));
}

} // namespace
