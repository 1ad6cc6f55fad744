// The one-time upgrade of a scenes folder: backups of the decodable scene files, a rebuilt manifest and
// the marker, with the scene files themselves left as they were.
#include "support/SupportFolderFixture.h"

#include "platform/sim/LogCapture.h"
#include "scenes/SceneStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;

namespace {

const std::string kOld = "scene-11111111-2222-4333-8444-555555555555.json";
const std::string kNew = "scene-AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE.json";
const std::string kBroken = "scene-00000000-0000-4000-8000-000000000000.json";

ScreenContext screensOf(std::vector<std::string> uuids) {
    ScreenContext context;
    for (auto& uuid : uuids)
        context.screens.emplace_back().displayUUID = uuid;
    return context;
}

} // namespace

TEST_F(SupportFolderTest, theUpgradeBacksUpDecodableScenesRebuildsTheManifestAndRunsOnce) {
    sim::ScopedLogCapture logs;
    SceneStore{*desktop, screensOf({"A"})}; // a folder without scenes only gets the marker
    EXPECT_EQ(snapshot(scenes()), (std::map<std::string, std::string>{{"scene-migration-v7-done", "done"}}));
    EXPECT_FALSE(std::filesystem::exists(scenes() / "backup-v7-migration"));
    EXPECT_FALSE(logs.log().contains("Scene migration"));
    std::filesystem::remove(scenes() / "scene-migration-v7-done");

    const std::string older =
        R"({"id":"11111111-2222-4333-8444-555555555555","name":"Old","createdAt":"2020-01-01T00:00:00Z",
        "layoutByDisplay":{"default":"x"}})";
    const std::string current = R"({"id":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE","name":"New",
        "createdAt":"2026-01-01T00:00:00Z","layoutRefsByDisplay":{"A":"y"}})";
    const std::map<std::string, std::string> files = {{kOld, older}, {kNew, current}, {kBroken, "{"}};
    for (const auto& [name, text] : files)
        write(scenes() / name, text);
    write(scenes() / "backup-v7-migration" / kNew, "from an interrupted pass");

    SceneStore store(*desktop, screensOf({"A"}));
    EXPECT_EQ(read(scenes() / "scene-migration-v7-done"), "done");
    EXPECT_EQ(read(scenes() / "backup-v7-migration" / kOld), older);
    EXPECT_EQ(read(scenes() / "backup-v7-migration" / kNew), "from an interrupted pass");
    EXPECT_FALSE(std::filesystem::exists(scenes() / "backup-v7-migration" / kBroken));
    EXPECT_EQ(nlohmann::json::parse(read(scenes() / "manifest.json"))["entries"].size(), 2u);
    EXPECT_EQ(logs.log().count("Scene migration to v7 complete"), 1u);
    for (const auto& [name, text] : files)
        EXPECT_EQ(read(scenes() / name), text);

    // Read back newer first, the "default" entry folded into the one screen, and into none of two.
    auto onOne = store.loadAllScenes(screensOf({"A"}));
    ASSERT_EQ(onOne.size(), 2u);
    EXPECT_EQ(onOne[1].layoutRefsByDisplay, (WMScene::LayoutRefMap{{"A", "x"}}));
    EXPECT_TRUE(store.loadAllScenes(screensOf({"A", "B"})).at(1).layoutRefsByDisplay.empty());

    const auto after = snapshot(scenes());
    SceneStore again(*desktop, screensOf({"A"}));
    EXPECT_EQ(snapshot(scenes()), after);
    EXPECT_EQ(logs.log().count("Scene migration to v7 complete"), 1u);
}
