// The hot-key table's file: what loads as stored, what falls back to the defaults and stays on disk as
// it was, and what a save writes.
#include "input/HotkeyConfig.h"

#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class HotkeyConfigTest : public korvane::testing::SupportFolderTest {
  protected:
    fs::path file() const { return home / "hotkeys.json"; }
    static constexpr Nanos kNow = 1'780'000'000LL * kNanosPerSecond;
    sim::ScopedLogCapture capture;
};

TEST_F(HotkeyConfigTest, aStoredTableLoadsAsStoredAndAnythingElseGivesTheDefaultsWithTheFileLeftAlone) {
    const std::string binding = R"({"action":"push.left","key":"J","modifiers":["ctrl"],"enabled":true})";
    struct Row {
        const char* what;
        std::optional<std::string> file; // nothing: no file
        bool stored;                     // loads as stored, else the defaults
        bool logged;
    };
    const Row rows[] = {
        {"no file", std::nullopt, false, false},
        {"a table",
         R"({"version":3,"bindings":[)" + binding + R"(],"disabled":["x"],"lastModified":86400.5})", true,
         false},
        {"no lastModified", R"({"version":3,"bindings":[)" + binding + R"(],"disabled":[]})", true, false},
        {"not JSON", "{\"version\":3,", false, true},
        {"no disabled list", R"({"version":3,"bindings":[]})", false, true},
        {"a binding without enabled",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[]}],"disabled":[]})", false, true},
        {"enabled as text",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[],"enabled":"yes"}],"disabled":[]})",
         false, true},
        {"a modifier that is not text",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[1],"enabled":true}],"disabled":[]})",
         false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(file());
        if (row.file) write(file(), *row.file);
        capture.log().clear();

        const HotkeyConfig table = HotkeyConfig::load(kNow);
        if (row.stored) {
            ASSERT_EQ(table.bindings.size(), 1u);
            EXPECT_EQ(table.bindings[0], (HotkeyConfig::HotkeyBinding{"push.left", "J", {"ctrl"}, true}));
        } else {
            EXPECT_EQ(table, HotkeyConfig::defaults(kNow));
        }
        EXPECT_EQ(capture.log().contains(
                      "[hotkey] HotkeyConfig load failed, using defaults (file exists but decode failed)"),
                  row.logged);
        EXPECT_EQ(fs::exists(file()), row.file.has_value());
        EXPECT_EQ(fs::exists(file()) ? read(file()) : std::string(), row.file.value_or(""));
    }
}

TEST_F(HotkeyConfigTest, aSaveWritesOneCompactLineWithTheDateInSecondsSince2001AndLoadsBackTheSame) {
    HotkeyConfig table = HotkeyConfig::defaults(kNow);
    table.disabled = {"scene.update"};
    table.lastModified = (978'307'200LL + 86'400) * kNanosPerSecond + 500'000'000; // 2001-01-02 00:00:00.5
    table.save();

    const std::string bytes = read(file());
    EXPECT_EQ(bytes.find('\n'), std::string::npos);
    EXPECT_EQ(json::parse(bytes)["lastModified"], 86400.5);
    EXPECT_EQ(HotkeyConfig::load(kNow), table);

    table.lastModified.reset();
    table.save();
    EXPECT_FALSE(json::parse(read(file())).contains("lastModified"));
}

TEST_F(HotkeyConfigTest, aSaveOverATableThatCouldNotBeReadKeepsItsBytesAndAFailedSaveIsLogged) {
    write(file(), "{\"version\":3, hand-edited");
    HotkeyConfig::defaults(kNow).save();
    EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(home))
        if (entry.path().filename().string().starts_with("hotkeys.json.unreadable-")) {
            ++kept;
            EXPECT_EQ(read(entry.path()), "{\"version\":3, hand-edited");
        }
    EXPECT_EQ(kept, 1u);

    fs::remove(file());
    fs::create_directories(file() / "in-the-way");
    HotkeyConfig::defaults(kNow).save();
    EXPECT_TRUE(capture.log().contains("[app] HotkeyConfig save failed: "));
}

} // namespace
