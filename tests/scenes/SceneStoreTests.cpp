// The scene store: round trips of scenes and the active scene, the sticky manifest order, the refusals
// of the schema check, scene files that do not decode surviving every later operation, and a scene file
// unreadable or cut short for a while coming back to the lists.
#include "support/FileModesHonoured.h"
#include "support/SupportFolderFixture.h"

#include "platform/sim/LogCapture.h"
#include "scenes/SceneSchemaError.h"
#include "scenes/SceneStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;
using ::testing::ThrowsMessage;

namespace {

ScreenContext screensOf(std::vector<std::string> uuids) {
    ScreenContext context;
    for (auto& uuid : uuids)
        context.screens.emplace_back().displayUUID = uuid;
    return context;
}

std::string uuid(char c) {
    return std::string(8, c) + "-" + std::string(4, c) + "-4" + std::string(3, c) + "-8" + std::string(3, c) +
           "-" + std::string(12, c);
}

WMScene scene(char id, std::string name, std::int64_t updated, std::optional<int> slot = std::nullopt) {
    WMScene s;
    s.id = uuid(id);
    s.name = std::move(name);
    s.createdAt = 1'700'000'000LL * kNanosPerSecond;
    s.updatedAt = s.createdAt + updated * kNanosPerSecond;
    s.layoutRefsByDisplay = {{"A", "layout.a"}};
    s.hotkeySlot = slot;
    return s;
}

std::vector<std::string> names(const std::vector<WMScene>& scenes) {
    std::vector<std::string> out;
    for (const auto& s : scenes)
        out.push_back(s.name);
    return out;
}

class SceneStoreTest : public SupportFolderTest {
  protected:
    std::filesystem::path file(char id) const { return scenes() / ("scene-" + uuid(id) + ".json"); }

    sim::ScopedLogCapture logs;
    const ScreenContext one = screensOf({"A"});
};

} // namespace

TEST_F(SceneStoreTest, scenesAndTheActiveSceneRoundTripAndTheManifestOrderStaysPut) {
    SceneStore store(*desktop, one);
    EXPECT_TRUE(store.loadAllScenes(one).empty());
    // A manifest that is not there yet is what every first start finds: no error.
    for (const auto& record : logs.log().records())
        EXPECT_LT(record.level, platform::LogLevel::error) << sim::CapturingLogSink::render(record);
    EXPECT_EQ(json::parse(read(scenes() / "manifest.json")),
              json({{"version", "4.0"}, {"entries", json::array()}}));

    store.save(scene('A', "Desk", 100, 3), one);
    store.save(scene('B', "Couch", 200), one);
    store.save(scene('A', "Desk renamed", 150, 3), one); // renamed, yet it keeps its place
    // Three scenes that enter the manifest in one rebuild: newer first, then by name regardless of case.
    for (const auto& s : {scene('C', "Beta", 50), scene('D', "alpha", 50), scene('E', "Zed", 60)})
        write(file(s.id[0]), s.toJSON().dump());
    store.deleteScene(uuid('F'), one); // no such file: still rebuilds
    EXPECT_EQ(names(store.loadAllScenes(one)),
              (std::vector<std::string>{"Desk renamed", "Couch", "Zed", "alpha", "Beta"}));

    store.deleteScene(uuid('B'), one);
    store.rebuildManifest(one);
    EXPECT_EQ(names(store.loadAllScenes(one)),
              (std::vector<std::string>{"Desk renamed", "Zed", "alpha", "Beta"}));
    EXPECT_EQ(json::parse(read(scenes() / "manifest.json"))["entries"][0],
              json::parse(R"({"id":")" + uuid('A') + R"(","name":"Desk renamed","hotkeySlot":3,
                  "displayCount":1,"hasGeometry":true,"updatedAt":"2023-11-14T22:15:50Z"})"));
    const std::string text = read(file('A')); // pretty-printed, keys sorted
    EXPECT_LT(text.find("\n  \"createdAt\""), text.find("\n  \"id\""));
    EXPECT_EQ(store.loadScene(uuid('A'), one)->toJSON(), scene('A', "Desk renamed", 150, 3).toJSON());

    store.setActiveScene(uuid('C'));
    store.deleteScene(uuid('D'), one); // another scene: the record stays
    EXPECT_EQ(store.loadActiveScene(one)->name, "Beta");
    store.deleteScene(uuid('C'), one);
    EXPECT_EQ(read(scenes() / "active-scene.json"), "{}");
    EXPECT_FALSE(store.loadActiveScene(one));
    store.setActiveScene(uuid('9')); // no such scene: recorded, but nothing loads
    EXPECT_FALSE(store.loadActiveScene(one));

    // A scenes folder removed while the program runs is made again by the next write.
    std::filesystem::remove_all(scenes());
    EXPECT_TRUE(store.rebuildManifest(one).entries.empty());
    store.save(scene('A', "Desk", 0), one);
    EXPECT_EQ(names(store.loadAllScenes(one)), (std::vector<std::string>{"Desk"}));
}

TEST_F(SceneStoreTest, scenesTheSchemaRefusesAreNotWritten) {
    SceneStore store(*desktop, one);
    const auto before = snapshot(scenes());
    const std::vector<std::tuple<int, std::string, std::string>> rows = {
        {0, uuid('A'), "hotkeySlot must be 1-9, got 0"},
        {10, uuid('A'), "hotkeySlot must be 1-9, got 10"},
        {1, "../../escape", "scene id \"../../escape\" cannot name a file"},
        {1, "desk", "scene id must be a UUID, got \"desk\""},
    };
    for (const auto& [slot, id, error] : rows) {
        WMScene refused = scene('A', "x", 0, slot);
        refused.id = id;
        EXPECT_THAT([&] { store.save(refused, one); }, ThrowsMessage<SceneSchemaError>(error));
    }
    EXPECT_THROW(store.deleteScene("../manifest", one), SceneSchemaError);
    EXPECT_THROW(store.setActiveScene("x\n"), SceneSchemaError);
    EXPECT_EQ(snapshot(scenes()), before);

    store.save(scene('1', "one", 0, 1), one);
    store.save(scene('9', "nine", 0, 9), one);
    EXPECT_EQ(store.loadAllScenes(one).size(), 2u);
}

TEST_F(SceneStoreTest, aCorruptSceneAmongGoodOnesIsLoggedAndItsBytesSurviveEveryLaterOperation) {
    SceneStore store(*desktop, one);
    for (char id : {'A', 'B', 'C'})
        store.save(scene(id, std::string(1, id), 0), one);
    const std::string broken = R"({"id":")" + uuid('B') + R"(","name":)";
    write(file('B'), broken);

    EXPECT_EQ(names(store.loadAllScenes(one)), (std::vector<std::string>{"A", "C"}));
    EXPECT_TRUE(logs.log().contains("Scene file corrupted: " + uuid('B')));

    store.save(scene('A', "A", 5), one);
    store.setActiveScene(uuid('B'));
    store.deleteScene(uuid('C'), one);
    SceneStore again(*desktop, one);
    EXPECT_EQ(read(file('B')), broken);

    // Saving over it, or deleting it, keeps its bytes beside it first.
    store.save(scene('B', "Repaired", 0), one);
    write(file('B'), broken);
    store.deleteScene(uuid('B'), one);
    int kept = 0;
    for (const auto& [name, bytes] : snapshot(scenes()))
        kept += name.starts_with("scene-" + uuid('B') + ".json.unreadable-") && bytes == broken;
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(names(store.loadAllScenes(one)), (std::vector<std::string>{"A"}));
}

// Nested deeper than any file Korvane writes, a scene is as corrupt as one cut short, and kept aside when
// saved over.
TEST_F(SceneStoreTest, aSceneNestedTooDeepIsCorruptAndKeptAsideWhenSavedOver) {
    SceneStore store(*desktop, one);
    store.save(scene('A', "A", 0), one);
    json stored = scene('A', "A", 0).toJSON();
    stored["note"] = json::parse(std::string(1100, '[') + std::string(1100, ']'));
    const std::string deep = stored.dump();
    write(file('A'), deep);

    EXPECT_TRUE(store.loadAllScenes(one).empty());
    EXPECT_TRUE(logs.log().contains("Scene file corrupted: " + uuid('A')));
    store.save(scene('A', "Repaired", 0), one);
    EXPECT_EQ(read(scenes() / (file('A').filename().string() + ".unreadable-2026-05-28T20:26:40Z")), deep);
    EXPECT_EQ(names(store.loadAllScenes(one)), (std::vector<std::string>{"Repaired"}));
}

TEST_F(SceneStoreTest, onlyFilesNamedLikeScenesAreReadAndEachUnderTheIdInsideIt) {
    SceneStore store(*desktop, one);
    const std::string sceneA = scene('A', "A", 0).toJSON().dump();
    for (const char* name : {".json", ""}) // upper-case extension, none
        write(scenes() / ("scene-" + uuid('A') + (*name ? ".JSON" : "")), sceneA);
    write(scenes() / ("." + file('A').filename().string()), sceneA);
    write(scenes() / "backup-v7-migration" / file('A').filename(), sceneA);
    write(scenes() / "manifest.json", "not a manifest");
    EXPECT_TRUE(store.loadAllScenes(one).empty());
    EXPECT_TRUE(logs.log().contains("Failed to load manifest, scanning directory"));
    // The unreadable manifest the scan replaced is kept beside it.
    int kept = 0;
    for (const auto& [name, bytes] : snapshot(scenes()))
        kept += name.starts_with("manifest.json.unreadable-") && bytes == "not a manifest";
    EXPECT_EQ(kept, 1);

    // A file named after B that holds C is listed as C, whose own file is missing.
    write(file('B'), scene('C', "C inside B", 0).toJSON().dump());
    // A manifest that lists an id twice does not stop the rebuild.
    const auto entry = SceneManifestEntry::from(scene('C', "C", 0)).toJSON();
    write(scenes() / "manifest.json",
          nlohmann::ordered_json{{"version", "3"}, {"entries", {entry, entry}}}.dump());
    EXPECT_EQ(store.rebuildManifest(one).entries.size(), 1u);
    EXPECT_TRUE(store.loadAllScenes(one).empty());
    EXPECT_TRUE(logs.log().contains("Scene file missing: " + uuid('C')));
}

TEST_F(SceneStoreTest, aSceneFileThatCannotBeReadIsNamedAndStaysListedByNameAsTheActiveScene) {
    SceneStore store(*desktop, one);
    for (char id : {'A', 'B'})
        store.save(scene(id, std::string("Scene ") + id, 0), one);
    store.setActiveScene(uuid('B'));
    write(file('B'), R"({"id":")" + uuid('B') + R"(","name":)");

    // Still listed by name in the manifest, the scene is reported under it.
    auto active = store.lookUpActiveScene(one);
    EXPECT_FALSE(active.scene);
    EXPECT_EQ(active.unreadableFile, file('B'));
    EXPECT_EQ(active.listedName, "Scene B");

    store.save(scene('C', "Scene C", 0), one);
    EXPECT_TRUE(logs.log().contains("Scene file " + file('B').string() +
                                    " does not decode; kept in the manifest as listed before"));
    EXPECT_EQ(names(store.loadAllScenes(one)), (std::vector<std::string>{"Scene A", "Scene C"}));
    active = store.lookUpActiveScene(one);
    EXPECT_EQ(active.unreadableFile, file('B'));
    EXPECT_EQ(active.listedName, "Scene B");

    // A folder where the file should be, and a record that does not decode; an empty record holds none.
    std::filesystem::remove(file('B'));
    std::filesystem::create_directories(file('B'));
    EXPECT_EQ(store.lookUpActiveScene(one).unreadableFile, file('B'));
    store.rebuildManifest(one);
    EXPECT_TRUE(logs.log().contains("Scene file " + file('B').string() + " is not a readable file"));
    write(scenes() / "active-scene.json", "{\"activeSceneID\":");
    EXPECT_EQ(store.lookUpActiveScene(one).unreadableFile, scenes() / "active-scene.json");
    write(scenes() / "active-scene.json", "");
    EXPECT_FALSE(store.lookUpActiveScene(one).unreadableFile);
    store.setActiveScene(uuid('9')); // a scene whose file is gone: none, as after its deletion
    EXPECT_FALSE(store.lookUpActiveScene(one).unreadableFile);
    store.setActiveScene(uuid('A'));
    EXPECT_EQ(store.lookUpActiveScene(one).scene->name, "Scene A");
}

// Damaged when the program starts, by a hand edit cut short or a mode that bars reading, a scene stays in
// the manifest through the save of another scene, and is listed again once its file is mended.
TEST_F(SceneStoreTest, aSceneFileDamagedAtLoadKeepsItsPlaceThroughAnotherSaveAndIsListedOnceMended) {
    {
        SceneStore store(*desktop, one);
        for (char id : {'A', 'B'})
            store.save(scene(id, std::string("Scene ") + id, 0), one);
    }
    const std::string good = read(file('B'));
    using Change = std::function<void()>;
    const std::vector<std::tuple<const char*, Change, Change>> rows{
        {"cut short", [&] { write(file('B'), good.substr(0, good.size() / 2)); },
         [&] { write(file('B'), good); }},
        {"mode 000", [&] { std::filesystem::permissions(file('B'), std::filesystem::perms::none); },
         [&] {
             std::filesystem::permissions(file('B'), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_write);
         }},
    };
    std::vector<std::string> listed{"Scene A", "Scene B"};
    char other = 'C';
    for (const auto& [what, damage, mend] : rows) {
        damage();
        {
            korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
            SceneStore started(*desktop, one);
            std::vector<std::string> shown = listed;
            std::erase(shown, "Scene B");
            EXPECT_EQ(names(started.loadAllScenes(one)), shown) << what;
            const std::string name = std::string("Scene ") + other;
            started.save(scene(other++, name, 0), one);
            listed.push_back(name);
        }
        mend();
        EXPECT_EQ(names(SceneStore(*desktop, one).loadAllScenes(one)), listed) << what;
    }
}
