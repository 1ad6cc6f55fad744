// The saved layout templates in "layout-templates.json": dates set on upsert, the pretty ISO 8601 form,
// what the set refuses to read, and a damaged file named as it is read (keeping refused files aside is
// the file store's, tested there).
#include "support/SupportFolderFixture.h"

#include "core/ISODate.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTemplateSet.h"
#include "platform/sim/LogCapture.h"

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
    EXPECT_EQ(set.templates[1].updatedAt, start);

    desktop->loop().advance(seconds(90));
    LayoutTemplate changed = *set.templateWithID("t.a");
    changed.name = "A2";
    set.upsert(changed);
    ASSERT_EQ(set.templates.size(), 2u);
    EXPECT_EQ(set.templates[0].name, "A2"); // kept its place
    EXPECT_EQ(set.templates[0].createdAt, start);
    EXPECT_EQ(set.templates[0].updatedAt, start + seconds(90));
    EXPECT_EQ(set.templates[1].id, "t.b");
}

TEST_F(SupportFolderTest, templatesSavePrettyWithIsoDatesOnlyWhereSetAndIncompleteOnesAreRefused) {
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
}

// Once the templates were migrated nothing writes the file at a start, so reading is the one moment a
// damaged file can be told: named once (it is read twice at every start), and left as it is.
TEST_F(SupportFolderTest, aDamagedTemplatesFileIsNamedOnceAsItIsReadAndLeftAsItIs) {
    sim::ScopedLogCapture capture;
    const std::filesystem::path file = home / "layout-templates.json";
    write(file, R"({"templates": [)");
    EXPECT_TRUE(LayoutTemplateSet::load().templates.empty());
    EXPECT_TRUE(LayoutTemplateSet::load().templates.empty());
    EXPECT_EQ(capture.log().count("[app] Could not read " + file.string() +
                                  ": it does not decode; no saved template is read from it"),
              1u);
    EXPECT_EQ(read(file), R"({"templates": [)");
}

// The deepest file Korvane writes: a template whose tree nests as many levels as a tree can be read
// with, three levels down in the file.
TEST_F(SupportFolderTest, aTemplateAsDeepAsATreeCanBeIsReadBack) {
    LayoutNode tree = LayoutNode::region(1);
    for (std::int64_t id = 2; id <= LayoutNode::kMaxDecodeDepth; ++id)
        tree = LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(id), std::move(tree));
    LayoutTemplateSet set;
    set.upsert(LayoutTemplate{"t.deep", "Deep", std::move(tree), "2.0", std::nullopt, std::nullopt});
    set.save();
    EXPECT_EQ(LayoutTemplateSet::load(), set);
}
