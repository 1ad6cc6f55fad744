// Display keys brought to their canonical form across the stored files at launch, and blank records
// dropped, on a simulated desktop with a fresh support folder.
#include "DisplayFixture.h"
#include "support/FileEvents.h"

#include "app/DisplayIdentity.h"
#include "layouts/LayoutDescriptor.h"
#include "platform/AtomicFile.h"
#include "platform/UTF8.h"
#include "scenes/model/SceneFileRewriter.h"
#include "scenes/model/ScreenContext.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace korvane;
using korvane::testing::DisplayTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr const char* kMigrated = "[app] [DisplayIdentity] ";

class DisplayIdentityTest : public DisplayTest {
  protected:
    // What a launch reads before the migration: the records and the layout memory from their files.
    void launch() {
        *workbenches = DisplayWorkbenchSet::load();
        *selection = LayoutSelectionStore::load();
        memory->loadLayoutMemory();
    }
    std::vector<fs::path> files() const {
        return {home / "display-workbenches.json", home / "layout-selection.json",
                home / "layout-descriptors.json", home / "layout-memory.json", layouts() / "mine.json"};
    }
    // The file's identity on disk: an atomic write replaces it with a new one.
    static ino_t inode(const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    DisplayIdentity identity{DisplayIdentity::Stores{workbenches, selection, memory}};
};

} // namespace

TEST_F(DisplayIdentityTest, paddedAndSuffixedKeysAreRewrittenOnceAndASecondLaunchMovesNothing) {
    write(home / "display-workbenches.json", R"({"workbenches":{
        " D1#2":{"displayUUID":" D1#2","activeTemplateID":"builtin.daily","updatedAt":"2026-01-02T00:00:00Z"},
        "D1":{"displayUUID":"D1","activeTemplateID":"layout.old","updatedAt":"2026-01-01T00:00:00Z"},
        "D2":{"displayUUID":"D2","activeTemplateID":"layout.two"}}})");
    write(home / "layout-selection.json",
          R"({"lastByDisplay":{"D1#2":"layout.second"," D1#1":"layout.first","\tD3 #5\n":"layout.three"}})");
    write(home / "layout-descriptors.json", R"({"byDisplay":{
        " D1#1":{"displayUUID":" D1#1","kind":"userConfig","layoutID":"layout.d1"},
        "D2":{"displayUUID":"D2","kind":"builtin","layoutID":"builtin.daily"}}})");
    write(
        home / "layout-memory.json",
        R"({"schemaVersion":2,"entries":{" D1#1___layout.a":{"regionToSlots":{"1":["com.example.editor"]}}},)"
        R"("slotClaimSnapshots":{}})");
    write(layouts() / "mine.json", R"({"id":"layout.mine","name":"Mine","displayUUID":" D2#4"})");
    launch();

    korvane::testing::FileEvents events({home, layouts()});
    identity.migrateDisplayIdentity("app-launch");

    // Each migrated file is written once, the persisting at the end included; nothing else is written.
    std::map<fs::path, int> once;
    for (const auto& file : files())
        once[file] = 1;
    EXPECT_EQ(events.written(), once);

    // The newer of the two D1 workbenches wins.
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches.at("D1").activeTemplateID, "builtin.daily");
    EXPECT_EQ(DisplayWorkbenchSet::load(), *workbenches);
    EXPECT_EQ(workbenches->workbenches.size(), 2u);
    // Of the two D1 selections the one met first in key order stays.
    EXPECT_EQ(LayoutSelectionStore::load().lastByDisplay,
              (std::map<std::string, std::string>{{"D1", "layout.first"}, {"D3", "layout.three"}}));
    const auto descriptors = LayoutDescriptorSet::load().byDisplay;
    ASSERT_EQ(descriptors.size(), 2u);
    EXPECT_EQ(descriptors.at("D1"),
              (LayoutDescriptor{"D1", LayoutDescriptor::Kind::userConfig, "layout.d1"}));
    EXPECT_EQ(json::parse(read(home / "layout-memory.json"))["entries"].begin().key(), "D1___layout.a");
    EXPECT_EQ(json::parse(read(layouts() / "mine.json"))["displayUUID"], "D2");
    EXPECT_EQ(memory->memoryScope("D1"), (LayoutMemoryKey{"D1", "builtin.daily"}));

    for (const char* line : {"Migrated workbenches: 1 moves (reason=app-launch)", "workbench key  D1#2 -> D1",
                             "Migrated layoutSelection keys moved=3 (reason=app-launch)",
                             "Migrated user layout files displayUUID (reason=app-launch)",
                             "Migrated layout descriptors moved=1 (reason=app-launch)",
                             "Migrated layout memory displayUUID keys (reason=app-launch)"})
        EXPECT_TRUE(logged(std::string(kMigrated) + line)) << line;

    // The next launch reads the canonical files and finds nothing to move: no line, no file rewritten.
    std::vector<ino_t> before;
    for (const auto& file : files())
        before.push_back(inode(file));
    const auto contents = snapshot(home);
    capture.log().clear();
    launch();
    events.written(); // the launch is not the migration
    identity.migrateDisplayIdentity("app-launch");
    EXPECT_EQ(events.written(), (std::map<fs::path, int>{}));
    EXPECT_EQ(capture.log().count(kMigrated), 0u);
    for (std::size_t i = 0; i < files().size(); ++i)
        EXPECT_EQ(inode(files()[i]), before[i]) << files()[i];
    EXPECT_EQ(snapshot(home), contents);
}

TEST_F(DisplayIdentityTest, manyWorkbenchMovesLogTheirCountAndTheFirstTwentyAndPlaceholdersStay) {
    for (int i = 0; i < 25; ++i) {
        const std::string key = "D" + std::to_string(10 + i) + "#1";
        workbenches->workbenches[key] = DisplayWorkbench{key, "builtin.daily", std::nullopt};
    }
    for (const char* placeholder : {"__ALL_DISPLAYS__", "DISPLAY-UUID-PLACEHOLDER"}) {
        workbenches->workbenches[placeholder] = DisplayWorkbench{placeholder, "builtin.daily", std::nullopt};
        selection->lastByDisplay[placeholder] = "layout.everywhere";
    }

    identity.migrateDisplayIdentity("test");

    EXPECT_TRUE(logged("[DisplayIdentity] Migrated workbenches: 25 moves (reason=test)"));
    EXPECT_EQ(capture.log().count("[DisplayIdentity] workbench key "), 20u);
    EXPECT_EQ(workbenches->workbenches.size(), 27u);
    EXPECT_TRUE(workbenches->workbenches.count("__ALL_DISPLAYS__"));
    EXPECT_EQ(LayoutSelectionStore::load().lastByDisplay.count("DISPLAY-UUID-PLACEHOLDER"), 1u);
    EXPECT_FALSE(logged("layoutSelection keys"));
}

TEST_F(DisplayIdentityTest, anUnreadableLayoutFileIsNamedAndEveryOtherFileAndStoreIsStillMigrated) {
    write(layouts() / "a-broken.json", "{not json");
    // Latin-1, not UTF-8: the reason quotes the bytes read, and the line must stay readable text.
    const std::string latin1 = "{\"id\":\"layout.l\",\"name\":\"Caf\xE9\",\"displayUUID\":\"D1#1\"}";
    write(layouts() / "b-latin1.json", latin1);
    write(layouts() / "c-good.json", R"({"id":"layout.c","name":"C","displayUUID":"D1#1"})");
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D1#1":{"displayUUID":"D1#1","kind":"builtin","layoutID":"builtin.daily"}}})");
    memory->layoutMemory().map[LayoutMemoryStore::keyString("D1#1", "layout.a")] = LayoutMemoryEntry{};

    identity.migrateDisplayIdentity("app-launch");

    for (const char* name : {"a-broken.json", "b-latin1.json"}) {
        const std::string line =
            "[DisplayIdentity] Skipped user layout file " + (layouts() / name).string() + ": ";
        EXPECT_EQ(capture.log().count(line), 1u) << name;
    }
    for (const auto& line : capture.log().lines())
        EXPECT_TRUE(isValidUTF8(line)) << line;
    EXPECT_EQ(json::parse(read(layouts() / "c-good.json"))["displayUUID"], "D1");
    EXPECT_TRUE(logged("[DisplayIdentity] Migrated user layout files displayUUID (reason=app-launch)"));
    EXPECT_EQ(read(layouts() / "a-broken.json"), "{not json");
    EXPECT_EQ(read(layouts() / "b-latin1.json"), latin1);
    EXPECT_EQ(LayoutDescriptorSet::load().byDisplay.count("D1"), 1u);
    EXPECT_TRUE(json::parse(read(home / "layout-memory.json"))["entries"].contains("D1___layout.a"));
}

// What stands where a launch reads a file is named for what it is: the layout memory, a file of the
// Layouts folder and a scene file met when the scenes follow renamed layouts.
TEST_F(DisplayIdentityTest, aFileThatIsNotReadableIsNamedWithWhatItIsByEveryReaderThatMeetsIt) {
    const fs::path memoryFile = home / "layout-memory.json", layoutFile = layouts() / "odd.json",
                   sceneFile = scenes() / "scene-odd.json";
    const std::pair<const char*, std::function<void(const fs::path&)>> rows[] = {
        {"(a FIFO)", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
        {"(Too many levels of symbolic links)",
         [](const fs::path& file) { fs::create_symlink(file.filename(), file); }},
        {"(over 16 MB)",
         [](const fs::path& file) {
             write(file, "");
             fs::resize_file(file, kMaxStoreFileSize + 1);
         }},
    };
    for (const auto& [why, plant] : rows) {
        SCOPED_TRACE(why);
        for (const fs::path& file : {memoryFile, layoutFile, sceneFile}) {
            fs::remove(file);
            fs::create_directories(file.parent_path());
            plant(file);
        }
        capture.log().clear();
        launch();
        identity.migrateDisplayIdentity("app-launch");

        const std::string what = std::string(" is not a readable file ") + why;
        EXPECT_TRUE(logged("[app] CRITICAL: Failed to load layout memory, starting fresh. Error: " +
                           memoryFile.string() + what));
        EXPECT_TRUE(logged(kMigrated + ("Skipped user layout file " + layoutFile.string() + ": " +
                                        layoutFile.string() + what)));
        try {
            rewriteSceneLayoutIDs({{"user.copy.x", "layout.0a1b2c3d"}}, ScreenContext{}, 0);
            ADD_FAILURE() << "the scene file was read";
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), sceneFile.string() + what);
        }
    }
}

TEST_F(DisplayIdentityTest, cleanupDropsBlankKeysOnlyAndKeepsDisplaysThatAreNotConnected) {
    for (const char* key : {"   ", "OFFLINE", "__ALL_DISPLAYS__"})
        workbenches->workbenches[key] = DisplayWorkbench{key, "builtin.daily", std::nullopt};
    selection->lastByDisplay = {
        {"\n", "layout.a"}, {"DISPLAY-UUID-PLACEHOLDER", "layout.b"}, {"D1", "layout.c"}};
    memory->setMemoryScope("\t", "layout.a");
    memory->setMemoryScope("D1", "layout.c");

    identity.cleanupInvalidDisplayRecords();

    EXPECT_TRUE(logged(R"([app] cleanupInvalidDisplayRecords removed workbench=["   "] selection=["\n"] )"
                       R"(memoryScopes=["\t"])"));
    auto stored = DisplayWorkbenchSet::load().workbenches;
    EXPECT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored.count("OFFLINE") && stored.count("__ALL_DISPLAYS__"));
    EXPECT_EQ(
        LayoutSelectionStore::load().lastByDisplay,
        (std::map<std::string, std::string>{{"D1", "layout.c"}, {"DISPLAY-UUID-PLACEHOLDER", "layout.b"}}));
    EXPECT_EQ(memory->memoryScopes().size(), 1u);

    // Nothing blank left: nothing logged, nothing written.
    capture.log().clear();
    const auto contents = snapshot(home);
    identity.cleanupInvalidDisplayRecords();
    EXPECT_TRUE(capture.log().lines().empty());
    EXPECT_EQ(snapshot(home), contents);
}
