// Stored scene files rewritten when the layouts they name get new ids.
#include "support/SupportFolderFixture.h"

#include "scenes/model/SceneFileRewriter.h"
#include "scenes/model/WMScene.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;

namespace {

ScreenContext oneScreen(const std::string& uuid) {
    platform::ScreenInfo s;
    s.frame = s.visibleFrame = Rect(0, 0, 1000, 800);
    s.displayUUID = uuid;
    return ScreenContext{{s}, uuid};
}

const std::string kSceneA = "scene-11111111-2222-4333-8444-555555555555.json";
const std::string kSceneB = "scene-AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE.json";

} // namespace

TEST_F(SupportFolderTest, scenesNamingAMovedLayoutAreRewrittenInTheSceneModelsForm) {
    rewriteSceneLayoutIDs({{"user.copy.x", "layout.0a1b2c3d"}}, oneScreen("D1"), 0); // no scenes folder
    EXPECT_FALSE(std::filesystem::exists(scenes()));

    // The scene store writes ISO 8601 dates; a scene naming the legacy id on one display.
    json sceneA = {{"id", "11111111-2222-4333-8444-555555555555"},
                   {"name", "Desk"},
                   {"createdAt", "2026-01-02T03:04:05.500Z"},
                   {"updatedAt", "2026-01-03T00:00:00+01:00"},
                   {"restoreMode", "layoutOnly"},
                   {"hotkeySlot", 2},
                   {"layoutRefsByDisplay", {{"D1", "user.copy.x"}, {"D2", "layout.x"}}},
                   {"windowHints", {{"D1", {{{"bundleID", "com.example.mail"}, {"zoneID", 1}}}}}}};
    write(scenes() / kSceneA, sceneA.dump(2));
    const std::string sceneBText = json{
        {"id", "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE"},
        {"name", "Other"},
        {"layoutRefsByDisplay",
         {{"D1", "layout.x"}}}}.dump(2);
    write(scenes() / kSceneB, sceneBText);
    const std::string other = json{{"layoutRefsByDisplay", {{"D1", "user.copy.x"}}}}.dump();
    write(scenes() / "manifest.json", other);
    write(scenes() / "scene-broken.json", "{");

    rewriteSceneLayoutIDs({{"user.copy.x", "layout.0a1b2c3d"}}, oneScreen("D1"), 0);

    // Still readable, with the new id and everything else kept.
    const std::string rewritten = read(scenes() / kSceneA);
    WMScene scene = WMScene::fromJSON(json::parse(rewritten), oneScreen("D1"), 0);
    EXPECT_EQ(scene.layoutRefsByDisplay,
              (std::map<std::string, std::string>{{"D1", "layout.0a1b2c3d"}, {"D2", "layout.x"}}));
    EXPECT_EQ(scene.hotkeySlot, 2);
    EXPECT_EQ(scene.windowHints.at("D1").front().bundleID, "com.example.mail");
    EXPECT_EQ(json::parse(rewritten)["updatedAt"], "2026-01-02T23:00:00Z");
    EXPECT_LT(rewritten.find("\"name\""), rewritten.find("\"createdAt\"")); // not key-sorted
    // A scene that names no moved layout, other files and unreadable scenes are left byte for byte.
    EXPECT_EQ(read(scenes() / kSceneB), sceneBText);
    EXPECT_EQ(read(scenes() / "manifest.json"), other);
    EXPECT_EQ(read(scenes() / "scene-broken.json"), "{");
}
