// The first scene, "My Workspace", made once from the layouts remembered per display.
#include "support/SupportFolderFixture.h"

#include "app/DisplayWorkbenchSet.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneMigration.h"
#include "scenes/SceneStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;

namespace {

ScreenContext screensOf(std::vector<std::string> uuids) {
    ScreenContext context;
    for (auto& uuid : uuids)
        context.screens.emplace_back().displayUUID = uuid;
    return context;
}

using RefMap = WMScene::LayoutRefMap;

class SceneMigrationTest : public SupportFolderTest {
  protected:
    std::filesystem::path marker() const { return home / "scene-migration-d7-done"; }
    void run(SceneStore& store, const ScreenContext& screens) {
        SceneMigration(*desktop, screens).runIfNeeded(store);
    }

    sim::ScopedLogCapture logs;
};

} // namespace

TEST_F(SceneMigrationTest, myWorkspaceIsMadeOnceFromTheRememberedLayoutsAndMadeActive) {
    const auto screens = screensOf({"A", "B"});
    SceneStore store(*desktop, screens);
    DisplayWorkbenchSet workbenches;
    workbenches.workbenches["A"] = {"A", "builtin.columns", std::nullopt};
    workbenches.workbenches["key-of-B"] = {"B", "builtin.rows", std::nullopt}; // the field counts
    workbenches.save();
    LayoutSelectionStore::save({{{"A", "layout.chosen"}, {"B", ""}}});
    run(store, screens);
    run(store, screens); // decided: nothing more
    auto scenes = store.loadAllScenes(screens);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].name, "My Workspace");
    EXPECT_EQ(scenes[0].layoutRefsByDisplay, (RefMap{{"A", "layout.chosen"}, {"B", "builtin.rows"}}));
    EXPECT_EQ(store.loadActiveScene(screens)->id, scenes[0].id);
    EXPECT_EQ(read(marker()), "done");
    EXPECT_EQ(logs.log().count("Scene migration complete: 'My Workspace' with 2 displays"), 1u);

    // With the marker there, deleting every scene brings no new one at the next start.
    store.deleteScene(scenes[0].id, screens);
    run(store, screens);
    EXPECT_TRUE(store.loadAllScenes(screens).empty());
}

TEST_F(SceneMigrationTest, everyConnectedScreenNothingNamesGetsTheHalvesTemplate) {
    const auto screens = screensOf({"B", "A"});
    write(home / "layout-selection.json", R"({"lastByDisplay":{"A":)");
    write(home / "display-workbenches.json", "");
    SceneStore store(*desktop, screens);
    run(store, screens);
    EXPECT_EQ(store.loadAllScenes(screens).at(0).layoutRefsByDisplay,
              (RefMap{{"A", "builtin.split-50-50"}, {"B", "builtin.split-50-50"}}));
    EXPECT_TRUE(logs.log().contains("with 2 displays"));
    EXPECT_EQ(read(home / "layout-selection.json"), R"({"lastByDisplay":{"A":)"); // only read

    // One display remembered, the first screen not: both are in the scene.
    std::filesystem::remove_all(scenes());
    std::filesystem::remove(marker());
    LayoutSelectionStore::save({{{"A", "builtin.fullscreen"}}});
    SceneStore again(*desktop, screens);
    run(again, screens);
    EXPECT_EQ(again.loadAllScenes(screens).at(0).layoutRefsByDisplay,
              (RefMap{{"A", "builtin.fullscreen"}, {"B", "builtin.split-50-50"}}));
}

TEST_F(SceneMigrationTest, existingScenesOrSceneFilesOrAMarkerMeanNoNewScene) {
    const auto screens = screensOf({"A"});
    // A scene file written before the store is made, a marker already there, and the marker afterwards.
    const std::vector<std::tuple<const char*, std::optional<std::string>, std::string>> rows = {
        {R"({"id":"11111111-2222-4333-8444-555555555555","name":"Mine"})", std::nullopt, "migrated"},
        {"not a scene", std::nullopt, "skipped"},
        {nullptr, "", ""},
    };
    for (const auto& [sceneFile, markerBefore, markerAfter] : rows) {
        std::filesystem::remove_all(home);
        if (sceneFile) write(scenes() / "scene-11111111-2222-4333-8444-555555555555.json", sceneFile);
        if (markerBefore) write(marker(), *markerBefore);
        SceneStore store(*desktop, screens);
        const auto before = store.loadAllScenes(screens).size();
        run(store, screens);
        EXPECT_EQ(store.loadAllScenes(screens).size(), before) << markerAfter;
        EXPECT_EQ(read(marker()), markerAfter);
    }
}
