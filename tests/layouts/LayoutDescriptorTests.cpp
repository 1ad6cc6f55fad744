// The older per-display layout descriptors in their compact file.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutDescriptor.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;

TEST_F(SupportFolderTest, descriptorsSaveCompactlyAndLoadOnlyWhollyKnownSets) {
    LayoutDescriptorSet set;
    set.byDisplay["D1"] = LayoutDescriptor{"D1", LayoutDescriptor::Kind::userConfig, "layout.a"};
    set.byDisplay["D2"] = LayoutDescriptor{"D2", LayoutDescriptor::Kind::builtin, "builtin.daily"};
    set.save();
    EXPECT_EQ(read(home / "layout-descriptors.json"),
              R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"userConfig","layoutID":"layout.a"},)"
              R"("D2":{"displayUUID":"D2","kind":"builtin","layoutID":"builtin.daily"}}})");
    EXPECT_EQ(LayoutDescriptorSet::load(), set);

    // Kinds compare exactly, and one bad descriptor empties the whole set.
    for (const char* kind : {"Builtin", "grid", ""}) {
        write(home / "layout-descriptors.json",
              std::string(R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"builtin","layoutID":"a"},)") +
                  R"("D2":{"displayUUID":"D2","kind":")" + kind + R"(","layoutID":"b"}}})");
        EXPECT_TRUE(LayoutDescriptorSet::load().byDisplay.empty()) << kind;
    }
    for (const char* text : {"{}", R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"builtin"}}})"}) {
        write(home / "layout-descriptors.json", text);
        EXPECT_TRUE(LayoutDescriptorSet::load().byDisplay.empty()) << text;
    }
}
