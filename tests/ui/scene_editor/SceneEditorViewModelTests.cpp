// The editor's shared model on the simulated desktop, its background loads run one by one: which load is
// applied, which scene and display it selects, and what the opener's request keeps.
#include "ui/scene_editor/SceneEditorViewModel.h"

#include "SceneEditorFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using Displays = std::vector<SceneEditorDisplay>;

namespace {

class SceneEditorModelTest : public korvane::testing::SceneEditorTest {
  protected:
    SceneEditorViewModel::Services services() {
        return {store, library, nullptr, [this] { return displays; }, nullptr, nullptr};
    }
    std::shared_ptr<SceneEditorViewModel> makeModel() {
        return SceneEditorViewModel::make(platform, services());
    }
    static std::optional<std::string> selectedName(const SceneEditorViewModel& model) {
        if (const WMScene* scene = model.selectedScene()) return scene->name;
        return std::nullopt;
    }
    static std::vector<std::string> names(const SceneEditorViewModel& model) {
        std::vector<std::string> out;
        for (const auto& scene : model.scenes())
            out.push_back(scene.name);
        return out;
    }

    Displays displays{{"A", "Left"}, {"B", "Right"}};
};

TEST_F(SceneEditorModelTest, ofTwoQuickReloadsOnlyTheSecondIsApplied) {
    storeScene("Alpha");
    const std::string beta = storeScene("Beta");
    auto model = makeModel();

    model->reload();
    model->reload();
    ASSERT_EQ(loop.heldCount(), 2u);
    loop.runHeld(0); // the first load finishes first and is dropped
    EXPECT_TRUE(model->isLoading());
    EXPECT_TRUE(model->scenes().empty());
    EXPECT_EQ(model->selectedSceneID(), std::nullopt);

    store->deleteScene(storedScene(beta).id, screens());
    loop.runHeld(0);
    EXPECT_FALSE(model->isLoading());
    EXPECT_EQ(names(*model), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(selectedName(*model), "Alpha");
    EXPECT_EQ(model->reloadGeneration(), 2);
}

TEST_F(SceneEditorModelTest, aReloadSelectsTheSceneAndDisplayToShow) {
    struct Case {
        const char* what;
        Displays displays;
        bool deleteSelected;
        std::optional<std::string> scene;
        std::string display;
    };
    const std::vector<Case> cases{
        {"the selected scene deleted: the first scene, on the current display",
         {{"A", "Left"}, {"B", "Right"}},
         true,
         "Alpha",
         "B"},
        {"the selected scene kept, on the display it configures",
         {{"A", "Left"}, {"B", "Right"}},
         false,
         "Beta",
         "B"},
        {"no display reported: \"default\"", {}, false, "Beta", "default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& scene : store->loadAllScenes(screens()))
            store->deleteScene(scene.id, screens());
        displays = c.displays;
        // In the manifest by name: Alpha, Beta, Gamma. Beta configures display B.
        storeScene("Alpha");
        const std::string beta = storeScene("Beta", {{"B", "builtin.daily"}});
        storeScene("Gamma");
        auto model = makeModel();
        model->reload();
        model->selectScene(beta);
        loop.settle();
        ASSERT_EQ(selectedName(*model), "Beta");

        if (c.deleteSelected) store->deleteScene(beta, screens());
        model->reload();
        loop.settle();
        EXPECT_EQ(selectedName(*model), c.scene);
        EXPECT_EQ(model->selectedDisplayUUID(), c.display);
    }
}

TEST_F(SceneEditorModelTest, aSceneConfiguredOnlyUnderDefaultKeepsTheCurrentDisplay) {
    // Two screens, so the stored "default" entry folds into neither: the scene configures no display.
    addDisplay("A");
    addDisplay("B", Rect{1000, 0, 1000, 600});
    const std::string onlyDefault = storeScene("Alpha", {{"default", "builtin.daily"}});
    const std::string onB = storeScene("Beta", {{"B", "builtin.daily"}});
    auto model = makeModel();
    model->reload();
    model->selectScene(onB);
    loop.settle();
    ASSERT_EQ(model->selectedDisplayUUID(), "B");

    model->selectScene(onlyDefault);
    loop.settle();
    EXPECT_EQ(selectedName(*model), "Alpha");
    EXPECT_EQ(model->selectedDisplayUUID(), "B");
    model->reload();
    loop.settle();
    EXPECT_EQ(model->selectedDisplayUUID(), "B");
}

TEST_F(SceneEditorModelTest, theActiveSceneComesFromItsRecordAndACorruptRecordStillLoadsTheScenes) {
    const std::string alpha = storeScene("Alpha");
    storeScene("Beta");
    struct Case {
        const char* what;
        std::optional<std::string> record;
        std::optional<std::string> active;
    };
    const std::vector<Case> cases{
        {"a record naming Alpha", nlohmann::json{{"activeSceneID", alpha}}.dump(), alpha},
        {"not JSON", "{\"activeSceneID\": ", std::nullopt},
        {"a malformed id", R"({"activeSceneID": "not-a-uuid"})", std::nullopt},
        {"no record", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(scenes() / SceneStore::kActiveSceneFileName);
        if (c.record) write(scenes() / SceneStore::kActiveSceneFileName, *c.record);
        auto model = makeModel();
        model->reload();
        loop.settle();
        EXPECT_EQ(names(*model), (std::vector<std::string>{"Alpha", "Beta"}));
        EXPECT_EQ(model->activeSceneID(), c.active);
    }
}

TEST_F(SceneEditorModelTest, theDisplayPreferredForASceneIsOneItConfiguresByName) {
    auto scene = [](std::vector<std::string> layoutKeys, std::vector<std::string> hintKeys) {
        WMScene s;
        for (const auto& key : layoutKeys)
            s.layoutRefsByDisplay[key] = "builtin.daily";
        for (const auto& key : hintKeys)
            s.windowHints[key] = {WindowHint{"com.example.Mail", 1, std::nullopt}};
        return s;
    };
    const Displays ab{{"A", "Left"}, {"B", "Right"}};
    struct Case {
        const char* what;
        WMScene scene;
        Displays displays;
        std::string current;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases{
        {"no displays", scene({"A"}, {}), {}, "A", std::nullopt},
        {"the current display, configured", scene({"A", "B"}, {}), ab, "B", "B"},
        {"the current display configured but gone", scene({"A", "C"}, {}), ab, "C", "A"},
        {"configured by hints only", scene({}, {"B"}), ab, "A", "B"},
        {"only \"default\": the current display", scene({"default"}, {"default"}), ab, "B", "B"},
        {"only \"default\", no current: the first", scene({"default"}, {}), ab, "", "A"},
        {"nothing configured, current gone: the first", scene({}, {}), ab, "C", "A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SceneEditorViewModel::preferredDisplayUUID(c.scene, c.displays, c.current), c.expected)
            << c.what;
}

TEST_F(SceneEditorModelTest, theOpenersRequestedSceneAndDisplayWinOverTheReloadStartedBeforeThem) {
    storeScene("Alpha");
    const std::string beta = storeScene("Beta", {{"B", "builtin.daily"}});
    struct Case {
        const char* what;
        std::optional<std::string> display;
        std::string expectedDisplay;
    };
    const std::vector<Case> cases{
        {"a display asked for is kept, configured or not", "A", "A"},
        {"without one: the display the scene configures", std::nullopt, "B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto model = SceneEditorViewModel::open(platform, services(), beta, c.display, "A");
        EXPECT_TRUE(model->isLoading());
        loop.settle(); // the selection runs before the load it overtook is applied
        EXPECT_EQ(selectedName(*model), "Beta");
        EXPECT_EQ(model->selectedDisplayUUID(), c.expectedDisplay);
        EXPECT_FALSE(model->isLoading());
    }
}

} // namespace
