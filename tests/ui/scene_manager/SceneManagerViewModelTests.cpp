// The scene manager's model on the simulated desktop, its loads run step by step: which load's result is
// shown, which scene and display end up selected, and the scene and layout files its actions leave.
#include "SceneManagerFixture.h"

#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SceneManagerTest;
using nlohmann::json;

namespace {

using Property = SceneManagerViewModel::Property;

TEST_F(SceneManagerTest, ofTwoOverlappingReloadsOnlyTheOneStartedLastIsShown) {
    storeScene("Home");
    auto model = makeModel(); // the window's first load
    storeScene("Work");
    model->reload(); // and the one its showing starts
    ASSERT_EQ(background.size(), 2u);
    EXPECT_TRUE(model->isLoading());

    runLoad(1); // the later one finishes first
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home", "Work"}));
    EXPECT_FALSE(model->isLoading());
    storeScene("Late");
    runLoad(0); // the earlier result arrives afterwards and is dropped, loading state included
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home", "Work"}));
    EXPECT_FALSE(model->isLoading());

    // A refresh of a filled list shows no loading state.
    model->reload();
    EXPECT_FALSE(model->isLoading());
    settle();
    EXPECT_EQ(model->scenes().size(), 3u);
}

TEST_F(SceneManagerTest, aReloadSelectsTheFirstSceneAndItsDisplayAndWithoutScenesOrDisplaysSelectsNone) {
    struct Row {
        const char* what;
        std::vector<SceneManagerDisplay> displays;
        bool withScene;
        std::optional<std::string> display; // nothing: the empty string
    };
    const std::vector<Row> rows = {
        {"scene configuring B", {{"DISPLAY-A", "Left"}, {"DISPLAY-B", "Right"}}, true, "DISPLAY-B"},
        {"no scenes: the first display", {{"DISPLAY-A", "Left"}, {"DISPLAY-B", "Right"}}, false, "DISPLAY-A"},
        {"no displays", {}, true, std::nullopt},
    };
    for (const auto& row : rows) {
        for (const auto& entry : std::filesystem::directory_iterator(scenes()))
            std::filesystem::remove(entry.path());
        displays = row.displays;
        std::optional<std::string> id;
        if (row.withScene) id = storeScene("Desk", {{"DISPLAY-B", kBuiltinDailyID}});
        auto model = openModel();
        EXPECT_EQ(model->selectedSceneID(), id) << row.what;
        EXPECT_EQ(model->selectedDisplayUUID(), row.display.value_or("")) << row.what;
    }
}

// The active scene's card carries the bold border: a window opened on no scene in particular must have
// that one selected, or "Edit Grid" edits another scene than the one the user sees marked.
TEST_F(SceneManagerTest, aWindowShowsTheActiveSceneUntilOneIsChosenInItOrRequested) {
    const std::string home = storeScene("Home");
    const std::string work = storeScene("Work");
    struct Row {
        const char* what;
        std::optional<std::string> active;
        std::optional<std::string> requested;
        std::string selected;
    };
    const std::vector<Row> rows = {
        {"no active scene: the first", std::nullopt, std::nullopt, home},
        {"the second active", work, std::nullopt, work},
        {"an active scene no longer stored: the first", "99999999-0000-4000-8000-000000000000", std::nullopt,
         home},
        {"a requested scene over the active one", work, home, home},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(scenes() / SceneStore::kActiveSceneFileName);
        if (row.active) store->setActiveScene(*row.active);
        auto model = makeModel();
        model->reload(); // as the window's showing does, before it selects what it was asked for
        if (row.requested) model->selectScene(row.requested);
        settle();
        EXPECT_EQ(model->selectedSceneID(), row.selected) << row.what;
    }

    // An open window follows the active scene until one is chosen in it; the choice then stays.
    auto model = openModel();
    store->setActiveScene(home);
    model->reload();
    settle();
    EXPECT_EQ(model->selectedSceneID(), home);
    model->selectScene(home);
    store->setActiveScene(work);
    model->reload();
    settle();
    EXPECT_EQ(model->selectedSceneID(), home);
}

TEST_F(SceneManagerTest, thePreferredDisplayIsTheCurrentConfiguredOneElseTheFirstConfiguredElseTheFirst) {
    const std::vector<SceneManagerDisplay> ab{{"A", "Left"}, {"B", "Right"}};
    struct Row {
        const char* what;
        WMScene::LayoutRefMap refs;
        std::vector<SceneManagerDisplay> displays;
        std::string current;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"only \"default\", current B", {{"default", kBuiltinDailyID}}, ab, "B", "A"},
        {"only B, current A", {{"B", kBuiltinDailyID}}, ab, "A", "B"},
        {"both, current B", {{"A", kBuiltinDailyID}, {"B", kBuiltinDailyID}}, ab, "B", "B"},
        {"only a disconnected C, current C", {{"C", kBuiltinDailyID}}, ab, "C", "A"},
        {"no displays", {{"A", kBuiltinDailyID}}, {}, "A", ""},
    };
    for (const auto& row : rows) {
        WMScene scene;
        scene.layoutRefsByDisplay = row.refs;
        EXPECT_EQ(SceneManagerViewModel::preferredDisplay(scene, row.displays, row.current), row.expected)
            << row.what;
    }
}

// The window's showing starts a reload and then selects what it was asked for: the reload's result must
// not put the earlier selection back, yet a scene deleted meanwhile or a display gone is not kept.
TEST_F(SceneManagerTest, aRequestedSceneAndDisplaySurviveTheReloadStartedBeforeThem) {
    const std::string home = storeScene("Home", {{"DISPLAY-A", kBuiltinDailyID}});
    const std::string work = storeScene("Work", {{"DISPLAY-A", kBuiltinDailyID}});
    auto model = openModel();
    ASSERT_EQ(model->selectedSceneID(), home);

    model->reload();
    model->selectScene(work);
    EXPECT_TRUE(model->selectDisplay("DISPLAY-B")) << "connected, though the scene does not configure it";
    EXPECT_FALSE(model->selectDisplay("DISPLAY-GONE"));
    settle();
    EXPECT_EQ(model->selectedSceneID(), work);
    EXPECT_EQ(model->selectedDisplayUUID(), "DISPLAY-B");
    EXPECT_FALSE(model->isDisplayConfigured("DISPLAY-B"));

    // Requested again, then the scene is deleted and the display disconnected before the result arrives.
    model->reload();
    model->selectScene(home);
    model->selectDisplay("DISPLAY-B");
    store->deleteScene(home, screens());
    displays = {{"DISPLAY-A", "Left"}};
    model->reload();
    settle();
    EXPECT_EQ(model->selectedSceneID(), work) << "the selection the reload captured";
    EXPECT_EQ(model->selectedDisplayUUID(), "DISPLAY-A");
}

TEST_F(SceneManagerTest, aNewSceneIsNumberedByTheCountOfScenesListedAndShownSelected) {
    auto model = openModel();
    model->createEmptyScene();
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Scene 1"}));
    ASSERT_TRUE(model->selectedScene());
    EXPECT_EQ(model->selectedScene()->name, "Scene 1");
    EXPECT_EQ(model->selectedDisplayUUID(), "DISPLAY-A");

    // With "Scene 2" and "Scene 3" listed, the third scene is "Scene 3" as well.
    store->deleteScene(model->scenes().front().id, screens());
    storeScene("Scene 2");
    storeScene("Scene 3");
    model->reload();
    settle();
    model->createEmptyScene();
    ASSERT_EQ(model->scenes().size(), 3u);
    const WMScene& created = *model->selectedScene();
    EXPECT_EQ(created.name, "Scene 3");
    const json file = json::parse(read(scenes() / SceneStore::sceneFileName(created.id)));
    EXPECT_EQ(file["name"], "Scene 3");
    EXPECT_EQ(file["restoreMode"], "layoutOnly");
    EXPECT_TRUE(file["layoutRefsByDisplay"].empty());
}

TEST_F(SceneManagerTest, aWriteTheStoreRefusesIsLoggedAndTheListStaysAsItWas) {
    storeScene("Home");
    auto model = openModel();
    std::filesystem::remove(scenes() / SceneStore::kManifestFileName);
    std::filesystem::create_directories(scenes() / SceneStore::kManifestFileName); // cannot be written over

    model->createEmptyScene();
    EXPECT_EQ(logs.log().count("createEmptyScene failed: "), 1u);
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home"}));

    model->setRenaming(true);
    model->renameSelectedScene("Work");
    EXPECT_EQ(logs.log().count("renameSelectedScene failed: "), 1u);
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home"})) << "no reload after a failure";
    EXPECT_FALSE(model->isRenaming()) << "the row closes all the same";
}

TEST_F(SceneManagerTest, aRenameStoresTheTrimmedNameAndANameOfBlanksChangesNothing) {
    const std::string id = storeScene("Home");
    auto model = openModel();
    const std::string before = read(scenes() / SceneStore::sceneFileName(id));

    model->setRenaming(true);
    model->renameSelectedScene("   \n");
    EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(id)), before);
    EXPECT_TRUE(model->isRenaming()) << "the row stays open for another try";

    model->renameSelectedScene("  Work  ");
    EXPECT_EQ(storedScene(id).name, "Work");
    EXPECT_GT(storedScene(id).updatedAt, 1'700'000'000LL * kNanosPerSecond);
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Work"}));
    EXPECT_FALSE(model->isRenaming());
}

TEST_F(SceneManagerTest, deletingTheSelectedSceneSelectsTheFirstRemainingAndAFailureKeepsIt) {
    const std::string home = storeScene("Home");
    const std::string work = storeScene("Work");
    auto model = openModel();
    model->selectScene(work);
    model->deleteSelectedScene();
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home"}));
    EXPECT_EQ(model->selectedSceneID(), home);
    EXPECT_FALSE(std::filesystem::exists(scenes() / SceneStore::sceneFileName(work)));

    // An id the store refuses to turn into a file name.
    model->selectScene("../escape");
    model->deleteSelectedScene();
    EXPECT_TRUE(logs.log().contains("deleteSelectedScene failed: "));
    EXPECT_EQ(names(*model), (std::vector<std::string>{"Home"}));
}

class BindPresetTest : public SceneManagerTest {
  protected:
    // The id the scene names for DISPLAY-B after binding "50:50" over `ref` (nothing: no reference);
    // the scene names `others` for its other displays.
    std::string bindOver(const std::optional<std::string>& ref, WMScene::LayoutRefMap others = {}) {
        WMScene::LayoutRefMap refs = std::move(others);
        if (ref) refs["DISPLAY-B"] = *ref;
        const std::string id = storeScene("Desk", refs);
        auto model = openModel();
        model->selectScene(id);
        EXPECT_TRUE(model->selectDisplay("DISPLAY-B"));
        model->setShowingPresetPicker(true);
        model->bindPreset(builtinSplit5050Layout());
        EXPECT_FALSE(model->showingPresetPicker());
        EXPECT_EQ(model->selectedDisplayLayout(), builtinSplit5050Layout().layoutTree) << "shown at once";
        return storedScene(id).layoutRefsByDisplay.at("DISPLAY-B");
    }
    json layoutFile(const std::string& id) { return json::parse(read(layouts() / (id + ".json"))); }
};

TEST_F(BindPresetTest, aUserLayoutOfTheDisplayIsReplacedInPlaceAndAnyOtherReferenceGetsANewLayout) {
    ConfigZoneSet own = builtinFullscreenLayout();
    own.id = "layout.ab12cd34";
    own.name = "Mine";
    ASSERT_TRUE(library->storeUserLayout(own));

    const std::string kept = bindOver("layout.ab12cd34");
    EXPECT_EQ(kept, "layout.ab12cd34");
    EXPECT_EQ(layoutFile(kept)["name"], "Desk Layout");
    EXPECT_EQ(layoutFile(kept)["displayUUID"], "DISPLAY-B");
    EXPECT_EQ(layoutFile(kept)["layoutTree"], json(*builtinSplit5050Layout().layoutTree));

    for (const std::optional<std::string>& ref :
         {std::optional<std::string>(), std::optional<std::string>(kBuiltinSplit6040ID),
          std::optional<std::string>("builtin.grid.2x2"), std::optional<std::string>("layout.missing")}) {
        const std::string made = bindOver(ref);
        EXPECT_EQ(made.size(), 15u) << made;
        EXPECT_EQ(made.rfind("layout.", 0), 0u) << made;
        EXPECT_NE(made, ref.value_or("")) << made;
        EXPECT_EQ(layoutFile(made)["layoutTree"], json(*builtinSplit5050Layout().layoutTree)) << made;
    }
}

// After a restore two scenes, or two displays of one, commonly name one user layout: a preset bound for
// one display must not reshape what the others show.
TEST_F(BindPresetTest, aUserLayoutNamedElsewhereStaysAsItIsAndOnlyTheBoundDisplayNamesTheNewOne) {
    ConfigZoneSet shared = builtinFullscreenLayout();
    shared.id = "layout.3bf4418c";
    ASSERT_TRUE(library->storeUserLayout(shared));
    const std::string layoutBefore = read(layouts() / "layout.3bf4418c.json");

    const std::string home = storeScene("Home", {{"DISPLAY-A", "layout.3bf4418c"}});
    const std::string homeBefore = read(scenes() / SceneStore::sceneFileName(home));
    const std::string made = bindOver("layout.3bf4418c");
    EXPECT_NE(made, "layout.3bf4418c");
    EXPECT_EQ(layoutFile(made)["layoutTree"], json(*builtinSplit5050Layout().layoutTree));
    EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(home)), homeBefore);
    EXPECT_EQ(read(layouts() / "layout.3bf4418c.json"), layoutBefore);

    store->deleteScene(home, screens());
    const std::string apart = bindOver("layout.3bf4418c", {{"DISPLAY-A", "layout.3bf4418c"}});
    EXPECT_NE(apart, "layout.3bf4418c");
    EXPECT_EQ(read(layouts() / "layout.3bf4418c.json"), layoutBefore);
}

TEST_F(BindPresetTest, withoutASelectedDisplayOrATreeNothingIsWrittenAndThePickerStaysOpen) {
    const std::string id = storeScene("Desk");
    displays.clear();
    auto model = openModel();
    ASSERT_EQ(model->selectedSceneID(), id);
    ASSERT_EQ(model->selectedDisplayUUID(), "");
    const auto before = snapshot(home);

    model->setShowingPresetPicker(true);
    model->bindPreset(builtinDailyLayout());
    ConfigZoneSet treeless = builtinDailyLayout();
    treeless.layoutTree.reset();
    model->bindPreset(treeless);
    EXPECT_TRUE(model->showingPresetPicker());
    EXPECT_EQ(snapshot(home), before);
}

// A layout file that could not be written must not be named by the scene: it would name a missing
// layout, or the old geometry under a reused id, and the window would call it bound.
TEST_F(BindPresetTest, aPresetWhoseLayoutFileWasNotWrittenLeavesTheSceneAsItWas) {
    const std::string id = storeScene("Desk", {{"DISPLAY-B", kBuiltinDailyID}});
    write(layouts(), "not a folder"); // the Layouts folder cannot be made
    auto model = openModel();
    model->selectScene(id);
    ASSERT_EQ(model->selectedDisplayUUID(), "DISPLAY-B");
    const std::string before = read(scenes() / SceneStore::sceneFileName(id));

    model->setShowingPresetPicker(true);
    model->bindPreset(builtinSplit5050Layout());
    EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(id)), before);
    EXPECT_EQ(model->selectedDisplayLayout(), builtinDailyLayout().layoutTree);
    EXPECT_FALSE(model->showingPresetPicker());
    EXPECT_EQ(logs.log().count("bindPreset failed: the layout layout."), 1u);
}

TEST_F(SceneManagerTest, theEditorOpensOnTheSelectedSceneAndDisplayOrTheFirstDisplay) {
    const std::string id = storeScene("Desk", {{"DISPLAY-B", kBuiltinDailyID}});
    auto model = openModel();
    EXPECT_TRUE(model->isDisplayConfigured("DISPLAY-B"));
    EXPECT_FALSE(model->isDisplayConfigured("DISPLAY-B#2")) << "the exact key only";
    EXPECT_EQ(model->selectedDisplayLayout(), builtinDailyLayout().layoutTree);
    model->openEditor();

    displays.clear();
    model->reload();
    settle();
    displays = {{"DISPLAY-C", "New"}};
    model->openEditor();
    EXPECT_EQ(editorOpened,
              (std::vector<std::pair<std::string, std::string>>{{id, "DISPLAY-B"}, {id, "DISPLAY-C"}}));

    model->selectScene(std::nullopt);
    model->openEditor();
    EXPECT_EQ(editorOpened.size(), 2u) << "nothing without a scene";
}

TEST_F(SceneManagerTest, observersHearOfTheSceneListEveryTimeAndOfOtherFieldsOnlyWhenTheyChange) {
    storeScene("Home");
    auto model = openModel();
    std::vector<Property> heard;
    auto token = model->subscribe([&](Property p) { heard.push_back(p); });
    model->reload();
    settle();
    EXPECT_EQ(heard, (std::vector<Property>{Property::reloadGeneration, Property::scenes}));
    heard.clear();
    model->setRenaming(true);
    model->setRenaming(true);
    model->selectDisplay(model->selectedDisplayUUID());
    EXPECT_EQ(heard, (std::vector<Property>{Property::isRenaming}));
}

} // namespace
