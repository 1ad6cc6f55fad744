// Saving one display of the canvas: the edited layout stored as a user layout and named by the scene, the
// zones' applications written as the display's window hints in reading order and under the stored zones'
// numbers, the rest of the scene file as stored, and the saves that fail or have nothing to do.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "SceneEditorFixture.h"
#include "layouts/LayoutTreeEditorModel.h"

#include <gtest/gtest.h>

#include <regex>

using namespace korvane;
using nlohmann::json;

namespace {

class SceneCanvasSavingTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        addDisplay("D");
    }
    // Layouts are stored through the library, as the application does, and every zone set is recorded.
    SceneGeometryCanvasModel::Inputs inputs(const std::string& sceneID) {
        auto in = canvasInputs(sceneID, "D");
        in.onSaveAsUserLayout = [this](const ConfigZoneSet& set) -> std::optional<std::string> {
            recorded.push_back(set);
            if (failLayoutWrites) return std::nullopt;
            return library->saveUserLayout(set);
        };
        in.onSceneLayoutChanged = [this](const std::string& scene, const std::string& display) {
            layoutsAnnounced.push_back({scene, display});
        };
        return in;
    }
    static json hintsJSON(const std::vector<WindowHint>& hints) {
        json out = json::array();
        for (const auto& h : hints)
            out.push_back(json::array({h.bundleID, h.zoneID}));
        return out;
    }
    std::vector<ConfigZoneSet> recorded;
    // What the application was told of, to show on the display when the scene is active.
    std::vector<std::pair<std::string, std::string>> layoutsAnnounced;
    bool failLayoutWrites = false;
    const Rect canvasRect{0, 0, 1000, 600};
};

TEST_F(SceneCanvasSavingTest, aSplitDisplayIsStoredAsTheScenesOwnLayout) {
    const std::string id =
        storeScene("Work", {{"E", "builtin.daily"}}, {{"E", {{"com.example.Mail", 2, {}}}}});
    auto in = inputs(id);
    auto bridge = std::make_shared<SceneEditorCanvasBridge>();
    in.canvasBridge = bridge;
    auto canvas = showCanvas(std::move(in));
    canvas->handleMouseMove({340, 200}, canvasRect);
    canvas->handleKeyDown("v");
    canvas->confirmSplit({340, 200}, canvasRect);
    loop.settle();
    ASSERT_TRUE(bridge->hasUnsavedChanges());
    desktop->loop().advance(kNanosPerSecond);

    bridge->post(SceneEditorCanvasBridge::Command::save);
    loop.settle();

    ASSERT_EQ(recorded.size(), 1u);
    const ConfigZoneSet& set = recorded[0];
    EXPECT_TRUE(std::regex_match(set.id, std::regex("^layout\\.[0-9a-f]{8}$"))) << set.id;
    EXPECT_EQ(set.name, "Work Layout");
    EXPECT_EQ(set.version, "2.0");
    EXPECT_EQ(set.displayUUID, "D");
    EXPECT_FALSE(set.xSplits || set.ySplits || set.zones || set.zoneMap);
    EXPECT_EQ(set.layoutTree,
              LayoutNode::split(SplitAxis::horizontal, 0.333, LayoutNode::region(1), LayoutNode::region(2)));

    const json file = sceneFile(id);
    EXPECT_EQ(file["layoutRefsByDisplay"], (json{{"D", set.id}, {"E", "builtin.daily"}}));
    EXPECT_EQ(file["windowHints"], json::parse(R"({"E": [{"bundleID": "com.example.Mail", "zoneID": 2}]})"));
    EXPECT_NE(storedScene(id).updatedAt, canvas->inputs().scene.updatedAt);
    EXPECT_FALSE(canvas->isGeometryDirty());
    EXPECT_FALSE(canvas->isWindowHintsDirty());
    EXPECT_FALSE(bridge->hasUnsavedChanges());
    EXPECT_EQ(canvas->hintMessage(), "Saved");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(library->regionSet(set.id).value().layoutTree, set.layoutTree);
    EXPECT_EQ(layoutsAnnounced, (std::vector<std::pair<std::string, std::string>>{{id, "D"}}));
}

TEST_F(SceneCanvasSavingTest, zoneApplicationsBecomeTheDisplaysHintsInReadingOrder) {
    struct Case {
        const char* what;
        WMScene::LayoutRefMap refs;
        std::vector<std::pair<std::string, std::int64_t>> added; // in this order
        bool excludeAll;
        json hints; // the display's stored hints; null: no key
    };
    const std::vector<Case> cases{
        {"the daily layout read row by row",
         {{"D", "builtin.daily"}},
         {{"S", 1}, {"N", 2}, {"X", 3}, {"M", 1}},
         false,
         json::parse(R"([["S", 1], ["M", 1], ["X", 3], ["N", 2]])")},
        {"every application excluded", {{"D", "builtin.daily"}}, {{"S", 1}, {"N", 2}}, true, nullptr},
        {"no layout", {}, {{"S", 1}, {"N", 1}}, false, json::parse(R"([["S", 1], ["N", 1]])")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string id = storeScene("Work", c.refs, {{"D", {{"com.example.Old", 1, {}}}}});
        auto canvas = showCanvas(inputs(id));
        for (const auto& app : std::vector(canvas->zoneApps().at(1)))
            canvas->removeApp(app, 1);
        for (const auto& [bundleID, zone] : c.added)
            canvas->addApp(bundleID, zone);
        if (c.excludeAll)
            for (const auto& [zone, apps] : std::map(canvas->zoneApps()))
                for (const auto& app : apps)
                    canvas->removeApp(app, zone);

        ASSERT_TRUE(canvas->saveChanges());
        const json file = sceneFile(id);
        if (c.hints.is_null())
            EXPECT_FALSE(file.contains("windowHints") && file["windowHints"].contains("D"));
        else
            EXPECT_EQ(hintsJSON(storedScene(id).windowHints.at("D")), c.hints);
        EXPECT_EQ(file["layoutRefsByDisplay"], json(c.refs)); // the geometry was not touched
        EXPECT_TRUE(recorded.empty());
        EXPECT_TRUE(layoutsAnnounced.empty());
    }
}

TEST_F(SceneCanvasSavingTest, hintsNameTheZonesAsTheStoredLayoutNumbersThem) {
    const std::string id = storeScene("Work");
    auto canvas = showCanvas(inputs(id));
    canvas->handleKeyDown("v");
    canvas->handleZoneTap(1); // 1 | 2
    canvas->handleKeyDown("h");
    canvas->handleZoneTap(2); // 2 over 3 on the right
    canvas->handleKeyDown("h");
    canvas->handleZoneTap(1); // 1 over 4 on the left
    canvas->addApp("com.example.TopRight", 2);
    canvas->addApp("com.example.BottomLeft", 4);

    ASSERT_TRUE(canvas->saveChanges());
    ASSERT_EQ(recorded.size(), 1u);
    // Stored top-left 1, bottom-left 2, top-right 3, bottom-right 4.
    EXPECT_EQ(recorded[0].layoutTree,
              LayoutNode::split(
                  SplitAxis::horizontal, 0.5,
                  LayoutNode::split(SplitAxis::vertical, 0.5, LayoutNode::region(1), LayoutNode::region(2)),
                  LayoutNode::split(SplitAxis::vertical, 0.5, LayoutNode::region(3), LayoutNode::region(4))));
    EXPECT_EQ(hintsJSON(storedScene(id).windowHints.at("D")),
              json::parse(R"([["com.example.TopRight", 3], ["com.example.BottomLeft", 2]])"));
}

TEST_F(SceneCanvasSavingTest, aFailedSaveKeepsTheEditsAndTheFile) {
    struct Case {
        const char* what;
        bool failLayout;
        bool deleteScene;
        const char* logged; // the one error line, if any
    };
    const std::vector<Case> cases{
        {"the layout is not stored", true, false, "Failed to save Scene canvas changes: the layout layout."},
        {"the scene file is gone", false, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        failLayoutWrites = c.failLayout;
        recorded.clear();
        const std::string id = storeScene("Work", {}, {{"D", {{"com.example.Mail", 1, {}}}}});
        auto canvas = showCanvas(inputs(id));
        canvas->handleKeyDown("v");
        canvas->handleZoneTap(1);
        canvas->addApp("com.example.Notes", 2);
        const std::string before = c.deleteScene ? "" : read(scenes() / SceneStore::sceneFileName(id));
        if (c.deleteScene) store->deleteScene(id, screens());
        logs.log().clear();

        canvas->saveAndReport();
        EXPECT_EQ(canvas->hintMessage(), "Save failed");
        EXPECT_TRUE(canvas->isGeometryDirty());
        EXPECT_TRUE(canvas->isWindowHintsDirty());
        EXPECT_EQ(canvas->zoneApps().at(2).size(), 1u);
        EXPECT_EQ(saves, 0);
        if (!c.deleteScene) {
            EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(id)), before);
        }
        EXPECT_EQ(logs.log().count("[sceneManager] "), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_TRUE(logs.log().contains(std::string("[sceneManager] ") + c.logged));
        }
    }
}

TEST_F(SceneCanvasSavingTest, nothingUnsavedWritesNothingAndApplyingSavesFirst) {
    const std::string id = storeScene("Work", {{"D", "builtin.daily"}});
    auto canvas = showCanvas(inputs(id));
    const std::string before = read(scenes() / SceneStore::sceneFileName(id));
    canvas->saveAndReport();
    EXPECT_EQ(canvas->hintMessage(), "Saved");
    EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(id)), before);
    EXPECT_EQ(saves, 0);

    std::vector<WMScene> applied;
    const auto restore = [&applied](const WMScene& scene) { applied.push_back(scene); };
    canvas->addApp("com.example.Notes", 3);
    canvas->applyScene(restore);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].windowHintsForDisplay("D"), (std::vector<WindowHint>{{"com.example.Notes", 3, {}}}));
    EXPECT_EQ(canvas->hintMessage(), "Scene applied");

    canvas->addApp("com.example.Mail", 1);
    store->deleteScene(id, screens());
    canvas->applyScene(restore);
    EXPECT_EQ(canvas->hintMessage(), "Save failed");
    EXPECT_EQ(applied.size(), 1u);
    canvas->removeApp(canvas->zoneApps().at(1).at(0), 1);
    canvas->applyScene(restore);
    EXPECT_EQ(applied.size(), 1u);
}

} // namespace
