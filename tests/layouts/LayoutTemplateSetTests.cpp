// The saved layout templates in "layout-templates.json": dates set on upsert, the pretty ISO 8601 form,
// and what the set refuses to read.
#include "support/SupportFolderFixture.h"

#include "core/ISODate.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTemplateSet.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;

namespace {

LayoutTemplate userTemplate(const std::string& id, const std::string& name) {
    return LayoutTemplate{id, name, LayoutNode::region(1, "Only"), "2.0", std::nullopt, std::nullopt};
}

} // namespace

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

TEST_F(SupportFolderTest, templatesSavePrettyWithIsoDatesAndReadDatesWrittenElsewhere) {
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

    write(home / "layout-templates.json",
          R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1},"version":"2.0",)"
          R"("createdAt":"2026-05-28T20:26:40.75Z","updatedAt":"2026-05-28T22:26:40+02:00"}]})");
    auto loaded = LayoutTemplateSet::load();
    ASSERT_EQ(loaded.templates.size(), 1u);
    EXPECT_EQ(loaded.templates[0].createdAt, parseISODate("2026-05-28T20:26:40Z").value() + 750'000'000);
    EXPECT_EQ(loaded.templates[0].updatedAt, parseISODate("2026-05-28T20:26:40Z"));
}

TEST_F(SupportFolderTest, templatesRefusedOnLoadAreKeptAsideWhenTheSetIsSaved) {
    // Missing, empty and unparsable files are the file store's rows; these are the set's own.
    const std::vector<std::string> refused = {
        "{}",
        R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1}}]})", // no version
        R"({"templates":[{"id":"t","name":"T","layoutTree":{"type":"region","id":1},"version":"2.0",)"
        R"("createdAt":800000000}]})", // a date as a number
    };
    for (const auto& text : refused) {
        write(home / "layout-templates.json", text);
        EXPECT_TRUE(LayoutTemplateSet::load().templates.empty()) << text;
    }

    LayoutTemplateSet set = LayoutTemplateSet::load();
    set.templates = builtinLayoutTemplateList();
    set.save();
    EXPECT_EQ(LayoutTemplateSet::load(), set);
    EXPECT_EQ(read(home / "layout-templates.json.unreadable-2026-05-28T20:26:40Z"), refused.back());
}
