// The per-display layout selection and the older layout descriptors, each in its own compact file.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutDescriptor.h"
#include "layouts/LayoutSelectionStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> unreadableCopies(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".unreadable-") != std::string::npos)
            out.push_back(e.path().filename().string());
    return out;
}

} // namespace

TEST_F(SupportFolderTest, selectionReadsEmptyFromAnythingUnreadable) {
    const fs::path file = home / "layout-selection.json";
    struct Row {
        const char* what;
        std::optional<std::string> content;
    };
    const std::vector<Row> rows = {
        {"missing", std::nullopt},
        {"zero bytes", ""},
        {"no lastByDisplay", "{}"},
        {"not JSON", "lastByDisplay"},
        {"a layout id that is not text", R"({"lastByDisplay":{"D1":3}})"},
        {"a list", R"({"lastByDisplay":["D1"]})"},
    };
    for (const auto& row : rows) {
        fs::remove(file);
        if (row.content) write(file, *row.content);
        EXPECT_TRUE(LayoutSelectionStore::load().lastByDisplay.empty()) << row.what;
    }
}

TEST_F(SupportFolderTest, selectionSavesCompactlyAndReadsBack) {
    LayoutSelection selection;
    selection.lastByDisplay = {{"D2", "layout.b"}, {"D1", "builtin.split-50-50"}};
    LayoutSelectionStore::save(selection);
    EXPECT_EQ(read(home / "layout-selection.json"),
              R"({"lastByDisplay":{"D1":"builtin.split-50-50","D2":"layout.b"}})");
    EXPECT_EQ(LayoutSelectionStore::load(), selection);
}

TEST_F(SupportFolderTest, selectionSaveKeepsUnreadableBytesButNotAnEmptyFile) {
    const fs::path file = home / "layout-selection.json";
    LayoutSelection selection;
    selection.lastByDisplay = {{"D1", "layout.a"}};

    write(file, "");
    LayoutSelectionStore::save(selection);
    EXPECT_EQ(LayoutSelectionStore::load(), selection);
    EXPECT_TRUE(unreadableCopies(home).empty());

    write(file, R"({"lastByDisplay":{"D1":"layout.a"}  truncated)");
    LayoutSelectionStore::save(selection);
    EXPECT_EQ(LayoutSelectionStore::load(), selection);
    auto copies = unreadableCopies(home);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(read(home / copies[0]), R"({"lastByDisplay":{"D1":"layout.a"}  truncated)");
}

TEST_F(SupportFolderTest, descriptorsLoadOnlyKnownKinds) {
    const fs::path file = home / "layout-descriptors.json";
    write(file, R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"builtin","layoutID":"builtin.daily"}}})");
    auto set = LayoutDescriptorSet::load();
    ASSERT_EQ(set.byDisplay.size(), 1u);
    EXPECT_EQ(set.byDisplay["D1"],
              (LayoutDescriptor{"D1", LayoutDescriptor::Kind::builtin, "builtin.daily"}));

    for (const char* kind : {"Builtin", "grid", ""}) {
        write(file,
              std::string(R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"builtin","layoutID":"a"},)") +
                  R"("D2":{"displayUUID":"D2","kind":")" + kind + R"(","layoutID":"b"}}})");
        EXPECT_TRUE(LayoutDescriptorSet::load().byDisplay.empty()) << kind;
    }
    for (const char* text : {"", "{}", R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"builtin"}}})"}) {
        write(file, text);
        EXPECT_TRUE(LayoutDescriptorSet::load().byDisplay.empty()) << text;
    }
}

TEST_F(SupportFolderTest, descriptorsSaveCompactly) {
    LayoutDescriptorSet set;
    set.byDisplay["D1"] = LayoutDescriptor{"D1", LayoutDescriptor::Kind::userConfig, "layout.a"};
    set.save();
    EXPECT_EQ(read(home / "layout-descriptors.json"),
              R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"userConfig","layoutID":"layout.a"}}})");
    EXPECT_EQ(LayoutDescriptorSet::load(), set);
}
