// The store pattern every JSON file store shares: what loads as the empty record, a save that keeps an
// unreadable file beside it before writing over it atomically, and a failed save named once per cause.
#include "core/JSONFileStore.h"

#include "core/JSONFields.h"
#include "platform/sim/LogCapture.h"
#include "support/FileModesHonoured.h"
#include "support/SupportFolderFixture.h"

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

class JSONFileStoreTest : public SupportFolderTest {
  protected:
    const fs::path file = home / "note.json";
};

TEST_F(JSONFileStoreTest, loadsTheEmptyRecordFromAnythingUnreadable) {
    // file contents (none: missing), the record loaded
    const std::pair<std::optional<std::string>, Note> rows[] = {
        {std::nullopt, {}}, {"", {}}, {"{\"text\":", {}}, {R"({"text":3})", {}}, {R"({"text":"x"})", {"x"}}};
    for (const auto& [content, expected] : rows) {
        fs::remove(file);
        if (content) write(file, *content);
        EXPECT_EQ(Store::loadFromAppSupport("note.json"), expected) << content.value_or("(missing)");
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

TEST_F(JSONFileStoreTest, saveKeepsOnlyUnreadableBytesAsideAndWritesAtomically) {
    const std::string kept = "note.json.unreadable-2026-05-28T20:26:40Z";
    // The file before (none: missing; empty: nothing worth keeping), and whether it is kept aside.
    const std::pair<const char*, bool> rows[] = {
        {nullptr, false}, {"", false}, {R"({"text":"old"})", false}, {R"({"text":["old"]})", true}};
    for (const auto& [before, keptAside] : rows) {
        fs::remove_all(home);
        fs::create_directories(home);
        if (before) write(file, before);
        sim::ScopedLogCapture capture;
        Store::save(file, Note{"new"}, JSONEncoder{true});
        EXPECT_EQ(read(file), "{\n  \"text\": \"new\"\n}");
        // No temporary file stays behind.
        EXPECT_EQ(snapshot(home).size(), keptAside ? 2u : 1u);
        if (!keptAside) continue;
        EXPECT_EQ(read(home / kept), before);
        EXPECT_TRUE(capture.log().contains("[app] Kept unreadable " + file.string() + " as " +
                                           (home / kept).string() + " before writing it again"));
    }
}

// Reading it would hold up the start and keep it all in memory; its bytes are still the user's.
TEST_F(JSONFileStoreTest, aFileOverSixteenMegabytesLoadsAsUnreadableAndIsKeptAsideBeforeASave) {
    const std::string large = R"({"text":")" + std::string(kMaxStoreFileSize, 'x') + "\"}";
    write(file, large);
    EXPECT_EQ(Store::load(file), Note{});

    sim::ScopedLogCapture capture;
    Store::save(file, Note{"new"}, JSONEncoder{});
    EXPECT_EQ(Store::load(file), Note{"new"});
    const fs::path kept = home / "note.json.unreadable-2026-05-28T20:26:40Z";
    EXPECT_TRUE(read(kept) == large) << "the user's bytes, whole";
    EXPECT_TRUE(capture.log().contains("[app] Kept unreadable " + file.string() + " as " + kept.string()));
}

// A store writes its whole file on every change: a folder left read-only says so once, not at every
// change, and says it again once it has been written and fails anew.
TEST_F(JSONFileStoreTest, aFailedSaveIsNamedWithItsReasonOncePerCauseAndAgainAfterASuccess) {
    sim::ScopedLogCapture capture;
    const auto save = [] { Store::saveToAppSupport("note.json", Note{"new"}, JSONEncoder{}); };
    const auto failures = [&](const std::string& reason) {
        return capture.log().count("[app] Could not write " + file.string() + ": " + reason);
    };
    fs::create_directories(file / "inside"); // a folder in the file's place
    save();
    save();
    EXPECT_EQ(failures("Is a directory"), 1u);
    {
        korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
        fs::permissions(home, fs::perms::owner_read | fs::perms::owner_exec);
        save();
        save();
        fs::permissions(home, fs::perms::owner_all);
    }
    EXPECT_EQ(failures("Permission denied"), 1u);
    fs::remove_all(file);
    save();
    EXPECT_EQ(Store::load(file), Note{"new"});
    fs::remove(file);
    fs::create_directories(file / "inside");
    save();
    EXPECT_EQ(failures("Is a directory"), 2u);
    EXPECT_EQ(capture.log().count("Could not write"), 3u);
}

TEST_F(JSONFileStoreTest, textThatIsNotUTF8IsWrittenWithReplacementsNotRefused) {
    write(file, "{broken");
    Store::save(file, Note{"caf\xE9"}, JSONEncoder{});
    EXPECT_EQ(snapshot(home).size(), 2u) << "the unreadable file kept aside, then the record written";
    EXPECT_EQ(Store::load(file), Note{"caf\xEF\xBF\xBD"});
}

} // namespace
