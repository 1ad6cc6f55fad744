// The display workbenches: their file, the shared pretty ISO 8601 form, and canonical display keys.
#include "app/DisplayWorkbenchSet.h"

#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;

namespace {

constexpr Nanos kStart = 1'780'000'000LL * kNanosPerSecond; // 2026-05-28T20:26:40Z

DisplayWorkbench bench(const std::string& uuid, const std::string& tmpl, std::optional<Nanos> at) {
    return DisplayWorkbench{uuid, tmpl, at};
}

} // namespace

TEST_F(SupportFolderTest, workbenchesSavePrettyWithIsoDatesAndReadOnlyWholeSets) {
    DisplayWorkbenchSet set;
    set.workbenches["D1"] = bench("D1", "builtin.daily", kStart);
    set.workbenches["D2"] = bench("D2", "layout.a", std::nullopt);
    set.save();
    const std::string text = read(home / "display-workbenches.json");
    EXPECT_NE(text.find(R"({
  "workbenches": {
    "D1": {
      "displayUUID": "D1",
      "activeTemplateID": "builtin.daily",
      "updatedAt": "2026-05-28T20:26:40Z"
    },)"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("null"), std::string::npos) << "an absent date is left out";
    EXPECT_EQ(DisplayWorkbenchSet::load(), set);

    // Other members are ignored and dates with offsets are read.
    write(home / "display-workbenches.json",
          R"({"extra":1,"workbenches":{"D3":{"displayUUID":"D3","activeTemplateID":"t","updatedAt":)"
          R"("2026-05-28T22:26:40.5+02:00","note":"x"}}})");
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches["D3"], bench("D3", "t", kStart + milliseconds(500)));

    // Missing, empty and unparsable files are the file store's rows; one bad record loses the file.
    for (const char* text : {"{}",
                             R"({"workbenches":{"A":{"displayUUID":"A","activeTemplateID":"x"},)"
                             R"("B":{"displayUUID":"B"}}})",
                             R"({"workbenches":{"A":{"displayUUID":"A","activeTemplateID":"x",)"
                             R"("updatedAt":801692800}}})"}) {
        write(home / "display-workbenches.json", text);
        EXPECT_TRUE(DisplayWorkbenchSet::load().workbenches.empty()) << text;
    }
}

// Written at every change of a display's layout: a write that fails names the file and why, once.
TEST_F(SupportFolderTest, aWorkbenchesFileThatCannotBeWrittenIsNamedWithWhy) {
    sim::ScopedLogCapture capture;
    const std::filesystem::path file = home / "display-workbenches.json";
    std::filesystem::create_directories(file / "inside");
    DisplayWorkbenchSet set;
    set.workbenches["D1"] = bench("D1", "builtin.daily", kStart);
    set.save();
    set.save();
    EXPECT_EQ(capture.log().count("[app] Could not write " + file.string() + ": Is a directory"), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(file / "inside"));
}

TEST(DisplayWorkbenchSet, canonicalKeysMergeKeepingTheLaterRecord) {
    DisplayWorkbenchSet set;
    set.workbenches["UUID-1"] = bench("UUID-1", "later", kStart + 10);
    set.workbenches[" UUID-1#2"] = bench(" UUID-1#2", "earlier", kStart);
    set.workbenches["UUID-2#1"] = bench("x", "undated", std::nullopt);
    set.workbenches["UUID-2"] = bench("UUID-2", "dated", kStart);
    auto moves = set.canonicalizeDisplayKeys();

    EXPECT_EQ(moves, (std::vector<std::pair<std::string, std::string>>{{" UUID-1#2", "UUID-1"},
                                                                       {"UUID-2#1", "UUID-2"}}));
    ASSERT_EQ(set.workbenches.size(), 2u);
    EXPECT_EQ(set.workbenches["UUID-1"], bench("UUID-1", "later", kStart + 10));
    EXPECT_EQ(set.workbenches["UUID-2"], bench("UUID-2", "dated", kStart)); // absent date counts as earliest

    // Equal dates: the record visited later wins.
    DisplayWorkbenchSet tie;
    tie.workbenches["D#1"] = bench("D#1", "first", kStart);
    tie.workbenches["D#2"] = bench("D#2", "second", kStart);
    tie.canonicalizeDisplayKeys();
    EXPECT_EQ(tie.workbenches["D"].activeTemplateID, "second");
}

TEST(DisplayWorkbenchSet, canonicalKeyRows) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"UUID", "UUID"},
        {"  \t\n", ""},
        {"__ALL_DISPLAYS__#2", "__ALL_DISPLAYS__"},
        {" __ALL_DISPLAYS__ ", "__ALL_DISPLAYS__"},
        {"\u00A0UUID#a#b", "UUID"},
        {"#2", ""},
        {"UUID #2", "UUID"}, // trimmed after the cut too
        {" UUID\t#note# ", "UUID"},
        {"__ALL_DISPLAYS__ #2", "__ALL_DISPLAYS__"},
        {" UUID #2", "UUID"},
        {"UUID\u3000#1 ", "UUID"},
    };
    for (const auto& [key, canonical] : rows) {
        EXPECT_EQ(canonicalDisplayKey(key), canonical) << "[" << key << "]";
        // A second launch must find nothing left to move.
        EXPECT_EQ(canonicalDisplayKey(canonical), canonical) << "[" << key << "]";
    }

    DisplayWorkbenchSet spaces;
    spaces.workbenches["   "] = bench("   ", "t", std::nullopt);
    EXPECT_EQ(spaces.canonicalizeDisplayKeys(),
              (std::vector<std::pair<std::string, std::string>>{{"   ", ""}}));
    EXPECT_EQ(spaces.workbenches.at("").displayUUID, "");
}

TEST(DisplayWorkbenchSet, aKeyWithWhiteSpaceBeforeItsSuffixMergesInOnePass) {
    DisplayWorkbenchSet set;
    set.workbenches["UUID-1 #2"] = bench("UUID-1 #2", "suffixed", kStart + 10);
    set.workbenches["UUID-1"] = bench("UUID-1", "bare", kStart);
    set.canonicalizeDisplayKeys();
    ASSERT_EQ(set.workbenches.size(), 1u);
    EXPECT_EQ(set.workbenches.at("UUID-1"), bench("UUID-1", "suffixed", kStart + 10));
    // A second pass, as at the next launch, finds nothing left to move.
    EXPECT_TRUE(set.canonicalizeDisplayKeys().empty());
}
