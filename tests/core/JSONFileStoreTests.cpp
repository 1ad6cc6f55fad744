// The store pattern every JSON file store shares: what loads as the empty record, and a save that keeps an
// unreadable file beside it before writing over it atomically.
#include "core/JSONFileStore.h"

#include "core/JSONFields.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;

namespace {

struct Note {
    std::string text;

    friend bool operator==(const Note&, const Note&) = default;

    nlohmann::ordered_json toJSON() const { return {{"text", text}}; }
    static Note fromJSON(const nlohmann::json& json) {
        jsonfields::requireObject(json, "Note");
        return Note{jsonfields::requireString(json, "text")};
    }
};

using Store = JSONFileStore<Note>;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST_F(SupportFolderTest, fileStoreLoadsTheEmptyRecordFromAnythingUnreadable) {
    const fs::path file = home / "note.json";
    struct Row {
        const char* what;
        std::optional<std::string> content;
        Note expected;
    };
    const std::vector<Row> rows = {
        {"missing", std::nullopt, {}},          {"zero bytes", "", {}},
        {"not JSON", "{\"text\":", {}},         {"refused by the record", R"({"text":3})", {}},
        {"readable", R"({"text":"x"})", {"x"}},
    };
    for (const auto& row : rows) {
        fs::remove(file);
        if (row.content) write(file, *row.content);
        EXPECT_EQ(Store::loadFromAppSupport("note.json"), row.expected) << row.what;
    }
    fs::create_directories(home / "folder.json");
    EXPECT_EQ(Store::load(home / "folder.json"), Note{});

    // Without an application-support folder, loading gives the empty record and saving is dropped.
    write(folder.path() / "plain-file", "x");
    desktop->process().setEnvironment("KORVANE_HOME", (folder.path() / "plain-file").string());
    EXPECT_EQ(Store::loadFromAppSupport("note.json"), Note{});
    EXPECT_NO_THROW(Store::saveToAppSupport("note.json", Note{"y"}, JSONEncoder{}));
    EXPECT_EQ(read(folder.path() / "plain-file"), "x");
}

TEST_F(SupportFolderTest, fileStoreSaveKeepsOnlyUnreadableBytesAsideAndWritesAtomically) {
    const fs::path file = home / "note.json";
    const std::string kept = "note.json.unreadable-2026-05-28T20:26:40Z";
    struct Row {
        const char* what;
        std::optional<std::string> before;
        bool keptAside;
    };
    const std::vector<Row> rows = {
        {"missing", std::nullopt, false},
        {"empty: nothing worth keeping", "", false},
        {"readable", R"({"text":"old"})", false},
        {"refused by the record", R"({"text":["old"]})", true},
    };
    for (const auto& row : rows) {
        fs::remove_all(home);
        fs::create_directories(home);
        if (row.before) write(file, *row.before);
        sim::ScopedLogCapture capture;

        Store::save(file, Note{"new"}, JSONEncoder{true});

        EXPECT_EQ(read(file), "{\n  \"text\": \"new\"\n}") << row.what;
        const std::vector<std::string> expected = row.keptAside ? std::vector<std::string>{"note.json", kept}
                                                                : std::vector<std::string>{"note.json"};
        EXPECT_EQ(namesIn(home), expected) << row.what << ": no temporary file stays behind";
        if (!row.keptAside) continue;
        EXPECT_EQ(read(home / kept), *row.before);
        EXPECT_TRUE(capture.log().contains("[app] Kept unreadable " + file.string() + " as " +
                                           (home / kept).string() + " before writing it again"));
    }
}

TEST_F(SupportFolderTest, fileStoreWritesNothingWhenTheRecordCannotBeEncoded) {
    const fs::path file = home / "note.json";
    write(file, "{broken");
    EXPECT_THROW(Store::save(file, Note{"\xFF"}, JSONEncoder{}), nlohmann::json::type_error);
    EXPECT_EQ(namesIn(home), std::vector<std::string>{"note.json"}) << "not even the copy";
    EXPECT_EQ(read(file), "{broken");
}
