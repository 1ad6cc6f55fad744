// User layout files: their JSON form, reading the Layouts folder, rewriting display UUIDs, and the
// one-time migration of legacy layout ids.
#include "support/SupportFolderFixture.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/ZoneSetStore.h"
#include "platform/sim/LogCapture.h"

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

std::vector<std::string> ids(const std::vector<ConfigZoneSet>& sets) {
    std::vector<std::string> out;
    for (const auto& s : sets)
        out.push_back(s.id);
    return out;
}

} // namespace

TEST(ConfigZoneSet, jsonKeepsEveryFieldAndLeavesOutAbsentOnes) {
    ConfigZoneSet set;
    set.id = "layout.full";
    set.displayUUID = "D1";
    set.name = "Everything";
    set.version = "2.0";
    set.layoutTree =
        LayoutNode::split(SplitAxis::vertical, 0.6, LayoutNode::region(1, "Top"), LayoutNode::region(2));
    set.xSplits = std::vector<double>{0.5};
    set.ySplits = std::vector<double>{0.25, 0.75};
    set.zones = std::vector<ConfigZone>{{3, "D1", Rect(0, 0.5, 1, 0.5), "Upper"},
                                        {4, "", Rect(0, 0, 1, 0.5), std::nullopt}};
    set.zoneMap = std::map<std::string, ConfigZoneSet::ZoneMetadata>{{"3", {"Upper", "3"}}, {"x", {}}};

    std::string text = set.toJSON().dump();
    EXPECT_EQ(text.find("\"id\""), 1u);
    EXPECT_LT(text.find("\"displayUUID\""), text.find("\"name\""));
    EXPECT_LT(text.find("\"version\""), text.find("\"layoutTree\""));
    EXPECT_NE(text.find("\"frame\":[[0.0,0.5],[1.0,0.5]]"), std::string::npos);
    EXPECT_EQ(ConfigZoneSet::fromJSON(json::parse(text)), set);

    ConfigZoneSet bare;
    bare.id = "layout.bare";
    bare.name = "Bare";
    EXPECT_EQ(bare.toJSON().dump(), "{\"id\":\"layout.bare\",\"name\":\"Bare\"}");
    EXPECT_EQ(
        ConfigZoneSet::fromJSON(json::parse("{\"id\":\"layout.bare\",\"name\":\"Bare\",\"displayUUID\":null,"
                                            "\"unknown\":[1]}")),
        bare);
}

TEST(ConfigZoneSet, malformedRecordsAreRefused) {
    const std::vector<std::string> rows = {
        "{\"name\":\"x\"}",
        "{\"id\":\"a\"}",
        "{\"id\":\"a\",\"name\":\"x\",\"xSplits\":[0.5,\"0.7\"]}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1.5,\"displayUUID\":\"D\",\"frame\":[[0,0],[1,1]]}]"
        "}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1,\"displayUUID\":\"D\",\"frame\":[[0,0],[1]]}]}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1,\"frame\":[[0,0],[1,1]]}]}",
        "{\"id\":\"a\",\"name\":\"x\",\"layoutTree\":{\"type\":\"grid\"}}",
        "{\"id\":\"a\",\"name\":\"x\",\"zoneMap\":{\"1\":{\"name\":7}}}",
    };
    for (const auto& text : rows)
        EXPECT_THROW(ConfigZoneSet::fromJSON(json::parse(text)), std::runtime_error) << text;
}

TEST(ConfigZone, framesCompareAsTheRectanglesTheyCover) {
    ConfigZone a{1, "D", Rect(0.5, 0.5, -0.5, -0.25), std::nullopt};
    ConfigZone b{1, "D", Rect(0, 0.25, 0.5, 0.25), std::nullopt};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ConfigZone>{}(a), std::hash<ConfigZone>{}(b));
    b.name = "n";
    EXPECT_NE(a, b);
}

TEST_F(SupportFolderTest, loadAllReadsBothFormsAndSkipsEverythingElse) {
    EXPECT_TRUE(ZoneSetStore::loadAll().empty());
    EXPECT_FALSE(fs::exists(layouts())); // reading does not create the folder

    write(layouts() / "a.json", zoneSetText("layout.a"));
    write(layouts() / "b.json", "[" + zoneSetText("layout.b1") + "," + zoneSetText("layout.b2") + "]");
    write(layouts() / "c.json", "[" + zoneSetText("layout.c1") + ",{\"id\":\"no-name\"}]"); // neither form
    write(layouts() / ".hidden.json", zoneSetText("layout.hidden"));
    write(layouts() / "X.JSON", zoneSetText("layout.upper"));
    write(layouts() / "a.json.bak", zoneSetText("layout.bak"));
    write(layouts() / "broken.json", "{\"id\":");
    write(layouts() / "other.json", "{\"foo\":1}");
    fs::create_directories(layouts() / "folder.json");
    // A tree nested beyond the decoder's limit makes its file unreadable rather than crashing.
    std::string deep = "{\"type\":\"region\",\"id\":1}";
    for (int i = 0; i < 600; ++i)
        deep = "{\"type\":\"split\",\"axis\":\"horizontal\",\"ratio\":0.5,\"left\":" + deep +
               ",\"right\":{\"type\":\"region\",\"id\":2}}";
    write(layouts() / "deep.json", zoneSetText("layout.deep", ",\"layoutTree\":" + deep));

    EXPECT_EQ(ids(ZoneSetStore::loadAll()), (std::vector<std::string>{"layout.a", "layout.b1", "layout.b2"}));
}

TEST_F(SupportFolderTest, splitListsBuildASixZoneGridNumberedInReadingOrder) {
    write(layouts() / "layout.g6.json",
          R"({"id":"layout.g6","name":"G","xSplits":[0.5,0.25],"ySplits":[0.5]})");
    auto sets = ZoneSetStore::loadAll();
    ASSERT_EQ(sets.size(), 1u);

    platform::ScreenInfo screen;
    screen.frame = screen.visibleFrame = Rect(0, 0, 1000, 800);
    sim::ScopedLogCapture capture;
    auto zones = LayoutBuilder::normalizedRegionIDs(sets.front(), screen);

    const std::map<int, Rect> expected = {
        {1, Rect(0, 400, 250, 400)}, {2, Rect(0, 0, 250, 400)},     {3, Rect(250, 400, 375, 400)},
        {4, Rect(250, 0, 375, 400)}, {5, Rect(625, 400, 375, 400)}, {6, Rect(625, 0, 375, 400)},
    };
    ASSERT_EQ(zones.size(), expected.size());
    for (const auto& [id, frame] : expected) {
        ASSERT_TRUE(zones.count(id)) << id;
        EXPECT_EQ(zones.at(id).frame, frame) << id;
        EXPECT_TRUE(zones.at(id).stack.empty());
    }
    EXPECT_EQ(capture.console().lines(),
              (std::vector<std::string>{"[LayoutBuilder] normalized region IDs from grid by position: [1: 1, "
                                        "2: 3, 3: 5, 4: 2, 5: 4, 6: 6]"}));
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
    EXPECT_FALSE(ZoneSetStore::rewriteAll([](const std::string& s) { return s; }));

    write(layouts() / "single.json",
          "{\n  \"id\" : \"layout.s\",\n  \"displayUUID\" : \"OLD\",\n  \"name\" : \"S\"\n}");
    write(layouts() / "array.json", "[" + zoneSetText("layout.a1", ",\"displayUUID\":\"OTHER\"") + "," +
                                        zoneSetText("layout.a2", ",\"displayUUID\":\"OLD\"") + "]");
    write(layouts() / "untouched.json", zoneSetText("layout.u", ",\"displayUUID\":\"OTHER\""));
    write(layouts() / "empty.json", "[]");
    write(layouts() / "notes.txt", "not a layout");
    const auto before = snapshot(layouts());

    EXPECT_FALSE(ZoneSetStore::rewriteAll([](const std::string& s) { return s; }));
    EXPECT_EQ(snapshot(layouts()), before);

    auto remap = [](const std::string& s) { return s == "OLD" ? std::string("NEW") : s; };
    EXPECT_TRUE(ZoneSetStore::rewriteAll(remap));
    auto after = snapshot(layouts());
    EXPECT_EQ(after.at("single.json"), R"({"id":"layout.s","displayUUID":"NEW","name":"S"})");
    EXPECT_EQ(after.at("array.json"), R"([{"id":"layout.a1","displayUUID":"OTHER","name":"N layout.a1"},)"
                                      R"({"id":"layout.a2","displayUUID":"NEW","name":"N layout.a2"}])");
    EXPECT_EQ(after.at("untouched.json"), before.at("untouched.json"));
    EXPECT_EQ(after.at("empty.json"), "[]");
    EXPECT_EQ(after.size(), before.size()); // no temporary files left behind
}

TEST_F(SupportFolderTest, rewriteAllStopsAtAFileItCannotDecode) {
    write(layouts() / "a.json", zoneSetText("layout.a", ",\"displayUUID\":\"OLD\""));
    write(layouts() / "b.json", "{broken");
    write(layouts() / "c.json", zoneSetText("layout.c", ",\"displayUUID\":\"OLD\""));
    auto remap = [](const std::string& s) { return s == "OLD" ? std::string("NEW") : s; };
    EXPECT_THROW(ZoneSetStore::rewriteAll(remap), std::runtime_error);
    // Files handled before the bad one stay written; those after it are not reached.
    EXPECT_NE(read(layouts() / "a.json").find("NEW"), std::string::npos);
    EXPECT_NE(read(layouts() / "c.json").find("OLD"), std::string::npos);
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
    ASSERT_TRUE(after.count(newID + ".json"));
    const std::string migrated = after.at(newID + ".json");
    EXPECT_NE(migrated.find("\n  \"id\": \"" + newID + "\""), std::string::npos)
        << migrated; // pretty-printed
    EXPECT_EQ(ConfigZoneSet::fromJSON(json::parse(migrated)).name, "Copy");
    for (const char* kept : {"array.json", "layout.x.json", "daily.json", "newish.json", "garbage.json"})
        EXPECT_EQ(after.at(kept), layoutsBefore.at(kept)) << kept;

    // A second run finds nothing to do.
    const auto layoutsOnce = snapshot(layouts());
    EXPECT_TRUE(ZoneSetStore::migrateLegacyLayoutIDs().empty());
    EXPECT_EQ(snapshot(layouts()), layoutsOnce);
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

TEST_F(SupportFolderTest, migrationWithoutLayoutsFolderCreatesNothing) {
    EXPECT_TRUE(ZoneSetStore::migrateLegacyLayoutIDs().empty());
    EXPECT_FALSE(fs::exists(layouts()));
}
