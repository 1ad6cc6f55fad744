// The per-display layout selection in its compact file.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutSelectionStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;

TEST_F(SupportFolderTest, selectionSavesCompactlyAndReadsBackOnlyItsOwnShape) {
    LayoutSelection selection;
    selection.lastByDisplay = {{"D2", "layout.b"}, {"D1", "builtin.split-50-50"}};
    LayoutSelectionStore::save(selection);
    EXPECT_EQ(read(home / "layout-selection.json"),
              R"({"lastByDisplay":{"D1":"builtin.split-50-50","D2":"layout.b"}})");
    EXPECT_EQ(LayoutSelectionStore::load(), selection);

    // Missing, empty and unparsable files are the file store's rows; these are the selection's own.
    for (const char* text : {"{}", R"({"lastByDisplay":{"D1":3}})", R"({"lastByDisplay":["D1"]})"}) {
        write(home / "layout-selection.json", text);
        EXPECT_TRUE(LayoutSelectionStore::load().lastByDisplay.empty()) << text;
    }
}
