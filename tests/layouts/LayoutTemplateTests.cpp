// Built-in layouts and their older ids, and the saved layout templates in "layout-templates.json".
#include "support/SupportFolderFixture.h"

#include "core/ISODate.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTemplateSet.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> unreadableCopies(const fs::path& folder) {
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with("layout-templates.json.unreadable-"))
            kept.push_back(e.path());
    return kept;
}

RegionFrames zonesOf(const ConfigZoneSet& set) {
    return LayoutTreeModel(*set.layoutTree, "", set.id, set.name).zones(Rect(0, 0, 1000, 800));
}

LayoutTemplate userTemplate(const std::string& id, const std::string& name) {
    return LayoutTemplate{id, name, LayoutNode::region(1, "Only"), "2.0", std::nullopt, std::nullopt};
}

} // namespace

TEST(BuiltinLayouts, lookupByCurrentAndOlderIds) {
    struct Row {
        const char* id;
        const char* expected; // nullptr: not a built-in
    };
    const std::vector<Row> rows = {
        {"builtin.fullscreen", "builtin.fullscreen"},
        {"builtin.split-60-40", "builtin.split-60-40"},
        {"builtin.split-50-50", "builtin.split-50-50"},
        {"builtin.daily", "builtin.daily"},
        {"builtin.grid.2x2", "builtin.split-50-50"},
        {"builtin.asym-2x1.left-60-40", "builtin.split-60-40"},
        {"user.new.1765176035", "builtin.daily"},
        {"builtin.Daily", nullptr},
        {" builtin.daily", nullptr},
        {"builtin.split-50-50.json", nullptr},
        {"layout.1234abcd", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        auto set = legacyTemplateIDMap(row.id);
        if (!row.expected) {
            EXPECT_FALSE(set) << row.id;
            continue;
        }
        ASSERT_TRUE(set) << row.id;
        EXPECT_EQ(set->id, row.expected) << row.id;
    }
}

TEST(BuiltinLayouts, zonesOfTheBuiltInTrees) {
    EXPECT_EQ(zonesOf(builtinFullscreenLayout()), (RegionFrames{{1, Rect(0, 0, 1000, 800)}}));
    EXPECT_EQ(zonesOf(builtinSplit6040Layout()),
              (RegionFrames{{1, Rect(0, 0, 600, 800)}, {2, Rect(600, 0, 400, 800)}}));
    EXPECT_EQ(zonesOf(builtinSplit5050Layout()),
              (RegionFrames{{1, Rect(0, 0, 500, 800)}, {2, Rect(500, 0, 500, 800)}}));
    EXPECT_EQ(zonesOf(builtinDailyLayout()), (RegionFrames{{1, Rect(0, 400, 250, 400)},
                                                           {2, Rect(0, 0, 250, 400)},
                                                           {3, Rect(250, 0, 450, 800)},
                                                           {4, Rect(700, 0, 300, 800)}}));
}

TEST_F(SupportFolderTest, upsertSetsDatesAndReplacesInPlace) {
    LayoutTemplateSet set;
    const Nanos start = desktop->loop().wallClock();
    set.upsert(userTemplate("t.a", "A"));
    set.upsert(userTemplate("t.b", "B"));
    EXPECT_EQ(set.templates[0].createdAt, start);
    EXPECT_EQ(set.templates[0].updatedAt, start);

    desktop->loop().advance(seconds(90));
    LayoutTemplate changed = *set.templateWithID("t.a");
    changed.name = "A2";
    set.upsert(changed);
    ASSERT_EQ(set.templates.size(), 2u);
    EXPECT_EQ(set.templates[0].name, "A2"); // kept its place
    EXPECT_EQ(set.templates[0].createdAt, start);
    EXPECT_EQ(set.templates[0].updatedAt, start + seconds(90));
    EXPECT_EQ(set.templates[1].id, "t.b");
    EXPECT_FALSE(set.templateWithID("t.c"));
}

TEST_F(SupportFolderTest, loadYieldsAnEmptySetForAnythingUnreadable) {
    const fs::path file = home / "layout-templates.json";
    struct Row {
        const char* what;
        std::optional<std::string> content;
    };
    const std::vector<Row> rows = {
        {"missing", std::nullopt},
        {"empty file", ""},
        {"empty object", "{}"},
        {"not JSON", "templates"},
        {"dates as numbers",
         R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1},"version":"2.0","createdAt":800000000}]})"},
        {"template without version",
         R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1}}]})"},
    };
    for (const auto& row : rows) {
        fs::remove(file);
        if (row.content) write(file, *row.content);
        EXPECT_TRUE(LayoutTemplateSet::load().templates.empty()) << row.what;
    }
}

TEST_F(SupportFolderTest, saveAndLoadRoundTrip) {
    LayoutTemplateSet set;
    set.templates.push_back(builtinSplit6040Template());
    set.upsert(userTemplate("t.user", "Mine"));
    set.save();

    const std::string text = read(home / "layout-templates.json");
    // Pretty-printed, keys in record order, dates only where set.
    EXPECT_NE(text.find("\n  \"templates\": [\n"), std::string::npos) << text;
    json j = json::parse(text);
    EXPECT_FALSE(j["templates"][0].contains("createdAt"));
    EXPECT_FALSE(j["templates"][0].contains("updatedAt"));
    EXPECT_EQ(j["templates"][1]["createdAt"], isoDateString(desktop->loop().wallClock()));
    EXPECT_LT(text.find("\"layoutTree\""), text.find("\"version\""));

    EXPECT_EQ(LayoutTemplateSet::load(), set);

    // Dates written elsewhere with fractions or offsets are read as well.
    write(home / "layout-templates.json",
          R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1},"version":"2.0",)"
          R"("createdAt":"2026-05-28T20:26:40.75Z","updatedAt":"2026-05-28T22:26:40+02:00"}]})");
    auto loaded = LayoutTemplateSet::load();
    ASSERT_EQ(loaded.templates.size(), 1u);
    EXPECT_EQ(loaded.templates[0].createdAt, parseISODate("2026-05-28T20:26:40Z").value() + 750'000'000);
    EXPECT_EQ(loaded.templates[0].updatedAt, parseISODate("2026-05-28T20:26:40Z"));
}

TEST_F(SupportFolderTest, savingOverAnUnreadableFileKeepsItsBytes) {
    const std::string unreadable =
        R"({"templates":[{"id":"mine","name":"Mine","layoutTree":{"type":"region","id":1},"version":"2.0","createdAt":1}]})";
    write(home / "layout-templates.json", unreadable);
    LayoutTemplateSet set = LayoutTemplateSet::load();
    ASSERT_TRUE(set.templates.empty());
    set.templates = builtinLayoutTemplateList();

    sim::ScopedLogCapture capture;
    set.save();

    EXPECT_EQ(LayoutTemplateSet::load(), set);
    const auto kept = unreadableCopies(home);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(read(kept.front()), unreadable);
    EXPECT_TRUE(capture.log().contains(kept.front().string()));

    // Once the file is readable again, saving keeps no further copies.
    set.save();
    EXPECT_EQ(unreadableCopies(home).size(), 1u);
}
