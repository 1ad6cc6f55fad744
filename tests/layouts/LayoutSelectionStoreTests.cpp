// The per-display layout selection in its compact file.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutSelectionStore.h"
#include "platform/sim/LogCapture.h"

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

// The selection's file is in the application-support folder, made when missing; a support path that is
// a file is no place for it.
TEST_F(SupportFolderTest, selectionFileIsInTheSupportFolderMadeWhenMissing) {
    const std::filesystem::path fresh = home / "fresh";
    desktop->process().setEnvironment("KORVANE_HOME", fresh.string());
    EXPECT_EQ(LayoutSelectionStore::fileURL(), fresh / "layout-selection.json");
    LayoutSelectionStore::save(LayoutSelection{{{"D1", "layout.a"}}});
    EXPECT_EQ(read(LayoutSelectionStore::fileURL()), R"({"lastByDisplay":{"D1":"layout.a"}})");

    write(home / "blocked", "");
    desktop->process().setEnvironment("KORVANE_HOME", (home / "blocked").string());
    EXPECT_THROW(LayoutSelectionStore::fileURL(), std::filesystem::filesystem_error);
}

// Written at every change of a display's layout: a write that fails names the file and why, once.
TEST_F(SupportFolderTest, aSelectionFileThatCannotBeWrittenIsNamedWithWhy) {
    sim::ScopedLogCapture capture;
    const std::filesystem::path file = home / "layout-selection.json";
    std::filesystem::create_directories(file / "inside");
    LayoutSelectionStore::save(LayoutSelection{{{"D1", "layout.a"}}});
    LayoutSelectionStore::save(LayoutSelection{{{"D1", "layout.b"}}});
    EXPECT_EQ(capture.log().count("[app] Could not write " + file.string() + ": Is a directory"), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(file / "inside"));
}
