// User layout files: their JSON form, reading the Layouts folder, rewriting display UUIDs, and the
// one-time migration of legacy layout ids.
#include "support/SupportFolderFixture.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/ZoneSetStore.h"

#include <gtest/gtest.h>

#include <regex>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string zoneSetText(const std::string& id, const std::string& extra = "") {
    return "{\"id\":\"" + id + "\",\"name\":\"N " + id + "\"" + extra + "}";
}

} // namespace

TEST_F(SupportFolderTest, loadAllReadsBothFormsAndSkipsEverythingElse) {
    EXPECT_TRUE(ZoneSetStore::loadAll().empty());
    EXPECT_TRUE(ZoneSetStore::migrateLegacyLayoutIDs().empty());
    EXPECT_FALSE(fs::exists(layouts())); // neither reading nor migrating creates the folder

    write(layouts() / "a.json", zoneSetText("layout.a"));
    write(layouts() / "b.json", "[" + zoneSetText("layout.b1") + "," + zoneSetText("layout.b2") + "]");
    write(layouts() / "c.json", "[" + zoneSetText("layout.c1") + ",{\"id\":\"no-name\"}]"); // neither form
    write(layouts() / ".hidden.json", zoneSetText("layout.hidden"));
    write(layouts() / "X.JSON", zoneSetText("layout.upper"));
    write(layouts() / "a.json.bak", zoneSetText("layout.bak"));
    write(layouts() / "broken.json", "{\"id\":");
    write(layouts() / "other.json", "{\"foo\":1}");
    fs::create_directories(layouts() / "folder.json");
    std::vector<std::string> loaded;
    for (const auto& set : ZoneSetStore::loadAll())
        loaded.push_back(set.id);
    EXPECT_EQ(loaded, (std::vector<std::string>{"layout.a", "layout.b1", "layout.b2"}));
}

TEST(ZoneSetStoreRemap, emptyLayoutUUIDIsKeptWhileZonesAreRewritten) {
    ConfigZoneSet set;
    set.id = "layout.z";
    set.name = "Z";
    set.displayUUID = "";
    set.zones = std::vector<ConfigZone>{{1, "OLD", Rect(0, 0, 1, 1), std::nullopt},
                                        {2, "", Rect(0, 0, 1, 1), std::nullopt}};
    std::vector<std::string> asked;
    auto r = ZoneSetStore::remapDisplayUUIDs(set, [&](const std::string& s) {
        asked.push_back(s);
        return s == "OLD" ? std::string("NEW") : s + "?";
    });
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.set.displayUUID, "");
    EXPECT_EQ(asked, (std::vector<std::string>{"OLD", ""})); // the empty layout UUID was never passed
    EXPECT_EQ((*r.set.zones)[0].displayUUID, "NEW");
    EXPECT_EQ((*r.set.zones)[1].displayUUID, "?");

    auto unchanged = ZoneSetStore::remapDisplayUUIDs(set, [](const std::string& s) { return s; });
    EXPECT_FALSE(unchanged.changed);
    EXPECT_EQ(unchanged.set, set);
}

TEST_F(SupportFolderTest, rewriteAllWritesOnlyFilesThatChangeAndKeepsTheirForm) {
    EXPECT_FALSE(ZoneSetStore::rewriteAll([](const std::string& s) { return s; }).wroteAny);

    write(layouts() / "single.json",
          "{\n  \"id\" : \"layout.s\",\n  \"displayUUID\" : \"OLD\",\n  \"name\" : \"S\"\n}");
    write(layouts() / "array.json", "[" + zoneSetText("layout.a1", ",\"displayUUID\":\"OTHER\"") + "," +
                                        zoneSetText("layout.a2", ",\"displayUUID\":\"OLD\"") + "]");
    write(layouts() / "untouched.json", zoneSetText("layout.u", ",\"displayUUID\":\"OTHER\""));
    write(layouts() / "empty.json", "[]");
    write(layouts() / "notes.txt", "not a layout");
    const auto before = snapshot(layouts());

    EXPECT_FALSE(ZoneSetStore::rewriteAll([](const std::string& s) { return s; }).wroteAny);
    EXPECT_EQ(snapshot(layouts()), before);

    auto remap = [](const std::string& s) { return s == "OLD" ? std::string("NEW") : s; };
    EXPECT_TRUE(ZoneSetStore::rewriteAll(remap).wroteAny);
    auto after = snapshot(layouts());
    EXPECT_EQ(after.at("single.json"), R"({"id":"layout.s","displayUUID":"NEW","name":"S"})");
    EXPECT_EQ(after.at("array.json"), R"([{"id":"layout.a1","displayUUID":"OTHER","name":"N layout.a1"},)"
                                      R"({"id":"layout.a2","displayUUID":"NEW","name":"N layout.a2"}])");
    EXPECT_EQ(after.at("untouched.json"), before.at("untouched.json"));
    EXPECT_EQ(after.at("empty.json"), "[]");
    EXPECT_EQ(after.size(), before.size()); // no temporary files left behind
}

TEST_F(SupportFolderTest, rewriteAllSkipsAFileItCannotDecodeAndRewritesTheOthers) {
    write(layouts() / "a.json", zoneSetText("layout.a", ",\"displayUUID\":\"OLD\""));
    write(layouts() / "b.json", "{broken");
    write(layouts() / "c.json", zoneSetText("layout.c", ",\"displayUUID\":\"OLD\""));
    auto remap = [](const std::string& s) { return s == "OLD" ? std::string("NEW") : s; };
    const auto rewrite = ZoneSetStore::rewriteAll(remap);
    EXPECT_TRUE(rewrite.wroteAny);
    ASSERT_EQ(rewrite.skipped.size(), 1u);
    EXPECT_EQ(rewrite.skipped[0].first, layouts() / "b.json");
    EXPECT_NE(read(layouts() / "a.json").find("NEW"), std::string::npos);
    EXPECT_NE(read(layouts() / "c.json").find("NEW"), std::string::npos);
    EXPECT_EQ(read(layouts() / "b.json"), "{broken");
}

TEST_F(SupportFolderTest, legacyIdsMoveToNewIds) {
    write(layouts() / "user.copy.x.json",
          "{\"id\":\"user.copy.x\",\"name\":\"Copy\",\"layoutTree\":{\"type\":\"region\",\"id\":1}}");
    write(layouts() / "array.json", "[" + zoneSetText("user.new.1") + "]");
    write(layouts() / "layout.x.json", zoneSetText("layout.x"));
    write(layouts() / "daily.json", zoneSetText("builtin.daily"));
    write(layouts() / "newish.json", zoneSetText("user.new2"));
    write(layouts() / "garbage.json", "nope");

    const auto layoutsBefore = snapshot(layouts());
    auto mapping = ZoneSetStore::migrateLegacyLayoutIDs();

    ASSERT_EQ(mapping.size(), 1u);
    const std::string newID = mapping.at("user.copy.x");
    EXPECT_TRUE(std::regex_match(newID, std::regex("layout\\.[0-9a-f]{8}"))) << newID;

    auto after = snapshot(layouts());
    EXPECT_FALSE(after.count("user.copy.x.json"));
    const std::string migrated = after.at(newID + ".json");
    EXPECT_NE(migrated.find("\n  \"id\": \"" + newID + "\""), std::string::npos) << migrated; // pretty
    EXPECT_EQ(ConfigZoneSet::fromJSON(json::parse(migrated)).name, "Copy");
    for (const char* kept : {"array.json", "layout.x.json", "daily.json", "newish.json", "garbage.json"})
        EXPECT_EQ(after.at(kept), layoutsBefore.at(kept)) << kept;

    EXPECT_TRUE(ZoneSetStore::migrateLegacyLayoutIDs().empty()); // a second run finds nothing to do
}

TEST_F(SupportFolderTest, migrationNeverLandsOnAnExistingLayoutFile) {
    write(layouts() / "layout.aaaaaaaa.json", zoneSetText("layout.aaaaaaaa"));
    write(layouts() / "scene-layout-1.json", zoneSetText("scene-layout-1"));
    desktop->process().enqueueUUID("AAAAAAAA-0000-4000-8000-000000000000");
    desktop->process().enqueueUUID("BBBBBBBB-0000-4000-8000-000000000000");

    auto mapping = ZoneSetStore::migrateLegacyLayoutIDs();
    EXPECT_EQ(mapping, (ZoneSetStore::IDMapping{{"scene-layout-1", "layout.bbbbbbbb"}}));
    EXPECT_EQ(read(layouts() / "layout.aaaaaaaa.json"), zoneSetText("layout.aaaaaaaa"));
}
