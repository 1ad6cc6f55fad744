// The application object's layout persistence on the simulated desktop: the layout memory, the two
// one-time migrations, and renaming, deleting and saving user layouts.
#include "AppTestSupport.h"

#include "core/FileUtil.h"
#include "layouts/LayoutTreeModel.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace korvane;
using korvane::testing::AppTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const char* kOlderMemory =
    R"({"D1___builtin.daily":{"regionToBundles":{"1":["A","A",""]},"bundleToRegion":{"A":2,"B":2}}})";
const char* kVersionOneMemory = R"({"schemaVersion":1,"entries":{},"slotClaimSnapshots":{}})";

std::string userLayout(const std::string& id, const std::string& name) {
    return R"({"id":")" + id + R"(","name":")" + name + R"(","layoutTree":{"type":"region","id":1}})";
}

ino_t inodeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

LayoutDirectoryEntry entry(const std::string& id,
                           LayoutDescriptor::Kind kind = LayoutDescriptor::Kind::userConfig) {
    return LayoutDirectoryEntry{id, "", kind, std::nullopt};
}

} // namespace

TEST_F(AppTest, constructionReadsTheStoresAndAnUnreadableSelectionGivesAnEmptyOne) {
    write(home / "layout-selection.json", "{\"lastByDisplay\":");
    write(home / "display-workbenches.json",
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"builtin.daily"}}})");
    auto app = makeApp();
    EXPECT_TRUE(app->layoutSelection.lastByDisplay.empty());
    EXPECT_EQ(app->displayWorkbenches.workbenches.at("D1").activeTemplateID, "builtin.daily");
}

TEST_F(AppTest, olderLayoutMemoryLoadsAndIsWrittenAsSchemaTwo) {
    write(home / "layout-memory.json", kOlderMemory);
    auto app = makeApp();
    app->loadLayoutMemory();
    EXPECT_EQ(app->layoutMemory.regionToSlots("D1", "builtin.daily"), (RegionSlots{{1, {"A"}}, {2, {"B"}}}));
    EXPECT_FALSE(logged("CRITICAL"));

    app->persistLayoutMemory();
    const json written = json::parse(read(home / "layout-memory.json"));
    EXPECT_EQ(written["schemaVersion"], 2);
    EXPECT_EQ(written["entries"]["D1___builtin.daily"]["regionToSlots"],
              json::parse(R"({"1":["A"],"2":["B"]})"));
}

TEST_F(AppTest, unreadableLayoutMemoryStartsFreshAndKeepsItsBytes) {
    write(home / "layout-memory.json", kVersionOneMemory);
    auto app = makeApp();
    app->layoutMemory.map["X___Y"] = LayoutMemoryEntry{};
    app->loadLayoutMemory();
    EXPECT_TRUE(logged("[app] CRITICAL: Failed to load layout memory, starting fresh. Error: "
                       "Unable to decode LayoutMemoryStore in any known format"));
    EXPECT_EQ(app->layoutMemory, LayoutMemoryStore());
    EXPECT_EQ(read(home / "layout-memory.json"), kVersionOneMemory);

    app->persistLayoutMemory();
    EXPECT_EQ(read(home / "layout-memory.json.unreadable-2026-05-28T20:26:40Z"), kVersionOneMemory);
    EXPECT_EQ(LayoutMemoryStore::fromJSON(json::parse(read(home / "layout-memory.json"))),
              LayoutMemoryStore());

    fs::remove(home / "layout-memory.json");
    fs::create_directories(home / "layout-memory.json");
    app->persistLayoutMemory();
    EXPECT_TRUE(logged("[app] Failed to persist layout memory: "));
}

TEST_F(AppTest, clearArgumentRemovesTheFileBeforeItIsRead) {
    write(home / "layout-memory.json", kOlderMemory);
    auto app = makeApp();
    desktop->process().setArguments({"/usr/bin/korvane", "--clear-layout-memory=yes"});
    app->clearLayoutMemoryIfRequested();
    EXPECT_TRUE(fs::exists(home / "layout-memory.json"));
    EXPECT_FALSE(logged("Cleared layout memory"));

    desktop->process().setArguments({"/usr/bin/korvane", "--clear-layout-memory"});
    app->clearLayoutMemoryIfRequested();
    app->loadLayoutMemory();
    EXPECT_FALSE(fs::exists(home / "layout-memory.json"));
    EXPECT_TRUE(logged("[app] Cleared layout memory file (on demand)"));
    EXPECT_TRUE(app->layoutMemory.map.empty());
    EXPECT_FALSE(logged("CRITICAL"));

    app->clearLayoutMemoryIfRequested(); // no file: still the same line
    EXPECT_EQ(loggedCount("Cleared layout memory file (on demand)"), 2u);

    fs::create_directories(home / "layout-memory.json" / "inside");
    app->clearLayoutMemoryIfRequested();
    EXPECT_TRUE(logged("[app] Failed to clear layout memory: "));
}

TEST_F(AppTest, memoryScopesFollowTheWorkbenches) {
    auto app = makeApp();
    app->memoryScopes["gone"] = LayoutMemoryKey{"gone", "x"};
    app->displayWorkbenches.workbenches["D1"] = DisplayWorkbench{"D1", "layout.a", std::nullopt};
    app->displayWorkbenches.workbenches["D2"] = DisplayWorkbench{"D2", "builtin.daily", std::nullopt};
    app->rebuildMemoryScopes();
    EXPECT_EQ(app->memoryScopes, (std::map<std::string, LayoutMemoryKey>{{"D1", {"D1", "layout.a"}},
                                                                         {"D2", {"D2", "builtin.daily"}}}));
}

TEST_F(AppTest, firstStartTurnsDescriptorsIntoWorkbenchesAndStoresTheTemplates) {
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"userConfig","layoutID":"layout.abc"}}})");
    auto app = makeApp();
    app->migrateLayoutTemplatesIfNeeded();

    EXPECT_EQ(read(home / "display-workbenches.json"), R"({
  "workbenches": {
    "D1": {
      "displayUUID": "D1",
      "activeTemplateID": "layout.abc",
      "updatedAt": "2026-05-28T20:26:40Z"
    }
  }
})");
    const std::string stamps = R"(,
      "version": "2.0",
      "createdAt": "2026-05-28T20:26:40Z",
      "updatedAt": "2026-05-28T20:26:40Z"
    })";
    auto split = [](const char* ratio) {
        return std::string(R"({
        "type": "split",
        "axis": "horizontal",
        "ratio": )") +
               ratio + R"(,
        "left": {
          "type": "region",
          "id": 1,
          "name": "Left"
        },
        "right": {
          "type": "region",
          "id": 2,
          "name": "Right"
        }
      })";
    };
    EXPECT_EQ(read(home / "layout-templates.json"), R"({
  "templates": [
    {
      "id": "builtin.fullscreen",
      "name": "Full",
      "layoutTree": {
        "type": "region",
        "id": 1,
        "name": "Full"
      })" + stamps + R"(,
    {
      "id": "builtin.split-60-40",
      "name": "60:40",
      "layoutTree": )" + split("0.6") + stamps + R"(,
    {
      "id": "builtin.split-50-50",
      "name": "50:50",
      "layoutTree": )" + split("0.5") + stamps + R"(
  ]
})");
    EXPECT_EQ(desktop->defaults().boolValue("Korvane.LayoutTemplateMigrationCompleted"), true);
    EXPECT_EQ(app->displayWorkbenches, DisplayWorkbenchSet::load());
    EXPECT_EQ(app->layoutTemplates, LayoutTemplateSet::load());

    // The next start finds both stores and the flag: it only adopts them.
    const ino_t templatesBefore = inodeOf(home / "layout-templates.json");
    const ino_t workbenchesBefore = inodeOf(home / "display-workbenches.json");
    desktop->loop().advance(seconds(3600));
    auto second = makeApp();
    second->migrateLayoutTemplatesIfNeeded();
    EXPECT_EQ(inodeOf(home / "layout-templates.json"), templatesBefore);
    EXPECT_EQ(inodeOf(home / "display-workbenches.json"), workbenchesBefore);
    EXPECT_EQ(second->displayWorkbenches, app->displayWorkbenches);
    EXPECT_EQ(second->layoutTemplates.templates.size(), 3u);
}

TEST_F(AppTest, aMissingBuiltinIsAddedInMemoryAtEveryStart) {
    LayoutTemplateSet stored;
    stored.upsert(LayoutTemplate{"user.t", "Mine", LayoutNode::region(1), "2.0", std::nullopt, std::nullopt});
    stored.save();
    DisplayWorkbenchSet benches;
    benches.workbenches["D1"] = DisplayWorkbench{"D1", "user.t", std::nullopt};
    benches.save();
    desktop->defaults().set("Korvane.LayoutTemplateMigrationCompleted", true);

    auto app = makeApp();
    app->migrateLayoutTemplatesIfNeeded();
    ASSERT_EQ(app->layoutTemplates.templates.size(), 4u);
    EXPECT_EQ(app->layoutTemplates.templates[0].id, "user.t");
    EXPECT_EQ(LayoutTemplateSet::load().templates.size(), 1u); // not written
}

TEST_F(AppTest, anEmptyWorkbenchFileIsRebuiltFromDescriptorsDespiteTheFlag) {
    desktop->defaults().set("Korvane.LayoutTemplateMigrationCompleted", true);
    write(home / "display-workbenches.json", R"({"workbenches":{}})");
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D1":{"displayUUID":"ignored","kind":"builtin","layoutID":"builtin.daily"}}})");
    auto app = makeApp();
    app->migrateLayoutTemplatesIfNeeded();
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches.at("D1"),
              (DisplayWorkbench{"D1", "builtin.daily", desktop->loop().wallClock()}));
    EXPECT_EQ(LayoutTemplateSet::load().templates.size(), 3u);
}

TEST_F(AppTest, aDescriptorOfUnknownKindLeavesNoWorkbenches) {
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D1":{"displayUUID":"D1","kind":"userConfig","layoutID":"layout.abc"},)"
          R"("D2":{"displayUUID":"D2","kind":"grid","layoutID":"layout.def"}}})");
    auto app = makeApp();
    app->migrateLayoutTemplatesIfNeeded();
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
    EXPECT_EQ(read(home / "display-workbenches.json"), "{\n  \"workbenches\": {}\n}");
    EXPECT_EQ(desktop->defaults().boolValue("Korvane.LayoutTemplateMigrationCompleted"), true);
}

TEST_F(AppTest, layoutIDMigrationRunsOnceEvenWhenItFails) {
    write(home / "Layouts", "a file where the folder belongs");
    auto app = makeApp();
    app->migrateLayoutIDsIfNeeded();
    EXPECT_EQ(loggedCount("[app] Layout ID migration failed: "), 1u);
    EXPECT_EQ(desktop->defaults().boolValue("Korvane.layoutIDMigrationDone"), true);

    fs::remove(home / "Layouts");
    write(layouts() / "user.new.7.json", userLayout("user.new.7", "Old"));
    app->migrateLayoutIDsIfNeeded();
    EXPECT_EQ(loggedCount("Layout ID migration"), 1u);
    EXPECT_TRUE(fs::exists(layouts() / "user.new.7.json"));
}

TEST_F(AppTest, layoutIDMigrationLogsTheMapping) {
    write(layouts() / "user.new.7.json", userLayout("user.new.7", "Old"));
    write(layouts() / "layout.keep.json", userLayout("layout.keep", "Keep"));
    auto app = makeApp();
    desktop->process().enqueueUUID("ABCDEF12-0000-4000-8000-000000000000");
    app->migrateLayoutIDsIfNeeded();
    EXPECT_TRUE(logged(R"([app] Migrated 1 layout ID(s): ["user.new.7": "layout.abcdef12"])"));
    EXPECT_TRUE(fs::exists(layouts() / "layout.abcdef12.json"));

    // Nothing to migrate: no line, flag set all the same.
    desktop->defaults().remove("Korvane.layoutIDMigrationDone");
    capture.log().clear();
    app->migrateLayoutIDsIfNeeded();
    EXPECT_FALSE(logged("Migrated"));
    EXPECT_EQ(desktop->defaults().boolValue("Korvane.layoutIDMigrationDone"), true);
}

TEST_F(AppTest, reloadKeepsThePreviousListWhenTheFolderCannotBeRead) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "A"));
    auto app = makeApp();
    app->reloadUserLayouts();
    EXPECT_TRUE(logged("[app] Reloaded 1 user layouts"));
    fs::remove_all(layouts());
    write(layouts(), "not a folder");
    app->reloadUserLayouts();
    EXPECT_TRUE(logged("[app] Failed to reload user layouts: "));
    ASSERT_EQ(app->regionSets.size(), 1u);
}

TEST_F(AppTest, renameWritesCompactlyReloadsAndPublishes) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "Old"));
    auto app = makeApp();
    app->reloadUserLayouts();

    EXPECT_TRUE(app->renameLayout(entry("layout.a"), "  Fresh name\n"));
    EXPECT_EQ(read(layouts() / "layout.a.json"),
              R"({"id":"layout.a","name":"Fresh name","layoutTree":{"type":"region","id":1}})");
    EXPECT_EQ(app->regionSets.at(0).name, "Fresh name");
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Persistence.renameLayout"}));
    EXPECT_TRUE(logged("[app] Renamed layout id=layout.a -> name=Fresh name"));
}

TEST_F(AppTest, renameRefusalsWriteNothing) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "Same"));
    auto app = makeApp();
    app->reloadUserLayouts();
    const auto before = snapshot(home);
    struct Row {
        const char* what;
        LayoutDirectoryEntry entry;
        const char* name;
        bool result;
    };
    const std::vector<Row> rows = {
        {"same name but for spaces", entry("layout.a"), " Same ", true},
        {"blank name", entry("layout.a"), " \t\n", false},
        {"built-in", entry("layout.a", LayoutDescriptor::Kind::builtin), "Other", false},
        {"unknown id", entry("layout.zzz"), "Other", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(app->renameLayout(row.entry, row.name), row.result) << row.what;
    EXPECT_EQ(snapshot(home), before);
    EXPECT_TRUE(refreshes.empty());
    EXPECT_FALSE(logged("Failed to rename"));
}

TEST_F(AppTest, anOlderFileNamedOtherwiseGetsASecondCopyOnRename) {
    write(layouts() / "old-name.json", userLayout("layout.b", "B"));
    auto app = makeApp();
    app->reloadUserLayouts();
    EXPECT_TRUE(app->renameLayout(entry("layout.b"), "B2"));
    EXPECT_TRUE(fs::exists(layouts() / "old-name.json"));
    EXPECT_TRUE(fs::exists(layouts() / "layout.b.json"));
    EXPECT_EQ(app->regionSets.size(), 2u);
}

TEST_F(AppTest, idsThatAreNotPlainFileNamesNeverReachTheDisk) {
    const std::vector<std::string> unsafe = {"../escape", "..",        ".",    "",          "a/b",
                                             "a\\b",      "tab\there", "nl\n", "c1\xC2\x85"};
    write(home / "escape.json", "outside");
    for (const auto& id : unsafe) {
        SCOPED_TRACE(id);
        auto app = makeApp();
        ConfigZoneSet set;
        set.id = id;
        set.name = "Named";
        app->regionSets = {set};
        capture.log().clear();

        EXPECT_FALSE(app->renameLayout(entry(id), "Other"));
        EXPECT_TRUE(logged("[app] Failed to rename layout " + id + ": The layout id "));

        EXPECT_EQ(app->saveUserLayout(set), id);
        EXPECT_TRUE(logged("[app] Failed to save layout " + id + ": "));
        EXPECT_TRUE(refreshes.empty());

        app->deleteLayoutFromManager(entry(id));
        EXPECT_TRUE(logged("[app] Failed to delete layout " + id + ": "));
        EXPECT_FALSE(logged("Deleted layout file"));
        EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Persistence.deleteLayoutFromManager"}));
    }
    EXPECT_EQ(read(home / "escape.json"), "outside");
    EXPECT_FALSE(fs::exists(layouts()) && !fs::is_empty(layouts()));
}

TEST_F(AppTest, deleteRemovesTheFileAndReloadsInEveryCase) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "A"));
    auto app = makeApp();
    app->reloadUserLayouts();

    app->deleteLayoutFromManager(entry("layout.a", LayoutDescriptor::Kind::builtinGrid2x2));
    EXPECT_TRUE(fs::exists(layouts() / "layout.a.json"));
    EXPECT_TRUE(refreshes.empty());
    EXPECT_EQ(loggedCount("Reloaded"), 1u);

    app->deleteLayoutFromManager(entry("layout.a"));
    EXPECT_FALSE(fs::exists(layouts() / "layout.a.json"));
    EXPECT_TRUE(logged("[app] Deleted layout file " + (layouts() / "layout.a.json").string()));
    EXPECT_TRUE(app->regionSets.empty());

    capture.log().clear();
    app->deleteLayoutFromManager(entry("layout.a")); // already gone: silent, but reloads and publishes
    EXPECT_EQ(capture.log().lines(),
              (std::vector<std::string>{"[app] Reloaded 0 user layouts",
                                        "[StatusBarEventBus] publish[2] invalidation="
                                        "refreshRequested(reason=external.state-changed,"
                                        "source=AppDelegate+Persistence."
                                        "deleteLayoutFromManager) subscribers=1"}));
    EXPECT_EQ(refreshes.size(), 2u);
}

TEST_F(AppTest, savingRenumbersATreeAndStoresOnlyTheTreeElseTheLayoutAsItIs) {
    auto app = makeApp();
    ConfigZoneSet set;
    set.id = "layout.t";
    set.name = "Tree";
    set.displayUUID = "  D1\n";
    set.layoutTree =
        LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(7, "L"), LayoutNode::region(3));
    set.xSplits = std::vector<double>{0.5};
    set.zones = std::vector<ConfigZone>{{1, "D1", Rect(0, 0, 1, 1), std::nullopt}};
    set.zoneMap = std::map<std::string, ConfigZoneSet::ZoneMetadata>{{"1", {}}};

    EXPECT_EQ(app->saveUserLayout(set), "layout.t");
    EXPECT_TRUE(logged("[app] saveUserLayout: normalized zone IDs by position: [3: 2, 7: 1]"));
    EXPECT_EQ(
        read(layouts() / "layout.t.json"),
        R"({"id":"layout.t","displayUUID":"D1","name":"Tree","version":"2.0","layoutTree":{"type":"split",)"
        R"("axis":"horizontal","ratio":0.5,"left":{"type":"region","id":1,"name":"L"},)"
        R"("right":{"type":"region","id":2}}})");
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Persistence.saveUserLayout"}));
    EXPECT_TRUE(logged("[app] Saved layout layout.t to " + (layouts() / "layout.t.json").string()));
    EXPECT_EQ(app->regionSets.size(), 1u);

    set.displayUUID = " ";
    set.version = "3.1";
    app->saveUserLayout(set);
    const json stored = json::parse(read(layouts() / "layout.t.json"));
    EXPECT_FALSE(stored.contains("displayUUID"));
    EXPECT_EQ(stored["version"], "3.1");

    // A layout without a tree is saved unchanged.
    ConfigZoneSet zones;
    zones.id = "layout.z";
    zones.name = "Zones";
    zones.zones = std::vector<ConfigZone>{{5, "D1", Rect(0, 0, 0.5, 1), std::string("Half")}};
    capture.log().clear();
    app->saveUserLayout(zones);
    EXPECT_EQ(read(layouts() / "layout.z.json"), zones.toJSON().dump());
    EXPECT_FALSE(logged("normalized"));
}
