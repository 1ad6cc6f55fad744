// The layout library on the simulated desktop: look-ups and the picker list, layout trees, new user
// layouts, the legacy id move, reloads, and renaming, deleting and saving user layout files.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr const char* kFlag = "Korvane.layoutIDMigrationDone";

ConfigZoneSet userSet(const std::string& id, const std::string& name = "User") {
    ConfigZoneSet set;
    set.id = id;
    set.name = name;
    set.layoutTree = LayoutNode::region(1, name);
    return set;
}

std::string userLayout(const std::string& id, const std::string& name) {
    return R"({"id":")" + id + R"(","name":")" + name + R"(","layoutTree":{"type":"region","id":1}})";
}

LayoutDirectoryEntry entry(const std::string& id,
                           LayoutDescriptor::Kind kind = LayoutDescriptor::Kind::userConfig) {
    return LayoutDirectoryEntry{id, "", kind, std::nullopt};
}

class LayoutLibraryTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        library.onUserLayoutsChanged = [this](const std::string& source) { changes.push_back(source); };
        library.onLayoutCreatedForDisplay = [this](const std::string& uuid) {
            displaysAsked.push_back(uuid);
        };
    }
    // Stores the sets as one file in file-name order and reloads.
    void load(const std::vector<ConfigZoneSet>& sets) {
        nlohmann::ordered_json all = nlohmann::ordered_json::array();
        for (const auto& set : sets)
            all.push_back(set.toJSON());
        write(layouts() / "all.json", all.dump());
        library.reloadUserLayouts();
    }
    bool logged(std::string_view line) { return capture.log().contains(line); }

    sim::ScopedLogCapture capture;
    LayoutLibrary library{desktop->defaults()};
    std::vector<std::string> changes;
    std::vector<std::string> displaysAsked;
};

} // namespace

TEST_F(LayoutLibraryTest, builtinsComeFirstOlderIdsMapToThemAndThePickerListsEachIdOnce) {
    load({userSet("builtin.asym-2x1.left-60-40", "Impostor"), userSet("builtin.split-50-50", "Impostor"),
          userSet("layout.a", "First"), userSet("user.new.1765176035", "Older daily"),
          userSet("builtin.grid.2x2", "Old grid"), userSet("layout.a", "Second")});
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"builtin.asym-2x1.left-60-40", "builtin.split-60-40/60:40"},
        {"builtin.split-50-50", "builtin.split-50-50/50:50"},
        {"layout.a", "layout.a/First"},
        {"Layout.a", nullptr},
        {" layout.a", nullptr},
    };
    for (const auto& [id, expected] : rows) {
        auto set = library.regionSet(id);
        EXPECT_EQ(set ? set->id + "/" + set->name : "none", expected ? expected : "none") << id;
    }
    std::vector<std::string> listed;
    for (const auto& set : library.builtinLayoutTemplates())
        listed.push_back(set.id + "/" + set.name);
    EXPECT_EQ(listed, (std::vector<std::string>{"builtin.fullscreen/Full", "builtin.split-60-40/60:40",
                                                "builtin.split-50-50/50:50", "builtin.daily/Daily",
                                                "builtin.asym-2x1.left-60-40/Impostor", "layout.a/First",
                                                "builtin.grid.2x2/Old grid"}));
}

TEST_F(LayoutLibraryTest, layoutTreeFromTreeSplitsOrZones) {
    ConfigZoneSet set;
    EXPECT_FALSE(library.layoutTree(set));
    set.xSplits = std::vector<double>{0.7, 0.3};
    EXPECT_FALSE(library.layoutTree(set)); // columns without rows
    set.ySplits = std::vector<double>{0.5};
    EXPECT_EQ(library.layoutTree(set), LayoutTreeModel::gridTree({0.3, 0.7}, {0.5}, 1));

    set.zones =
        std::vector<ConfigZone>{{4, "D", Rect(0, 0, 1, 1), std::string("Main")}, {5, "D", Rect(), {}}};
    set.xSplits.reset();
    EXPECT_EQ(library.layoutTree(set), LayoutNode::region(4, "Main"));
    set.zones->clear();
    EXPECT_FALSE(library.layoutTree(set));
    set.layoutTree = LayoutNode::region(9);
    set.xSplits = std::vector<double>{0.5};
    EXPECT_EQ(library.layoutTree(set), LayoutNode::region(9));
}

TEST_F(LayoutLibraryTest, aNewLayoutGetsAFreshFileAndAsksForTheDisplaysRecordAndAFailedReloadKeepsTheList) {
    write(layouts() / "layout.aaaaaaaa.json", "keep me");
    desktop->process().enqueueUUID("AAAAAAAA-0000-4000-8000-000000000000");
    desktop->process().enqueueUUID("0A1B2C3D-0000-4000-8000-000000000000");
    library.createNewLayout(std::nullopt);

    const fs::path file = layouts() / "layout.0a1b2c3d.json";
    EXPECT_EQ(read(file), R"({"id":"layout.0a1b2c3d","name":"New Layout","version":"2.0",)"
                          R"("layoutTree":{"type":"region","id":1,"name":"Zone 1"}})");
    EXPECT_EQ(read(layouts() / "layout.aaaaaaaa.json"), "keep me");
    EXPECT_EQ(library.regionSets().size(), 1u);

    desktop->process().enqueueUUID("11112222-0000-4000-8000-000000000000");
    library.createNewLayout(std::string("\tNEW-D\n"));
    EXPECT_EQ(json::parse(read(layouts() / "layout.11112222.json"))["displayUUID"], "NEW-D");
    library.createNewLayout(std::string("  ")); // a template, though the display is still asked about
    EXPECT_TRUE(logged("Created new template layout"));
    EXPECT_EQ(displaysAsked, (std::vector<std::string>{"\tNEW-D\n", "  "}));
    EXPECT_TRUE(changes.empty());

    fs::remove_all(layouts());
    write(layouts(), "not a folder");
    library.createNewLayout(std::string("D1"));
    EXPECT_TRUE(logged("[app] Failed to create new layout: "));
    EXPECT_EQ(displaysAsked.size(), 2u);
    library.reloadUserLayouts(); // a folder that cannot be read keeps the previous list
    EXPECT_TRUE(logged("[app] Failed to reload user layouts: "));
    EXPECT_EQ(library.regionSets().size(), 3u);
}

TEST_F(LayoutLibraryTest, theLegacyIdMoveLogsItsMappingCarriesItOnAndRunsOnce) {
    write(layouts() / "user.new.7.json", userLayout("user.new.7", "Old"));
    std::vector<LayoutLibrary::IDMapping> carried;
    library.rewriteLayoutReferences = [&](const LayoutLibrary::IDMapping& m) { carried.push_back(m); };
    desktop->process().enqueueUUID("ABCDEF12-0000-4000-8000-000000000000");
    library.migrateLayoutIDsIfNeeded();
    EXPECT_TRUE(fs::exists(layouts() / "layout.abcdef12.json"));
    EXPECT_EQ(carried, (std::vector<LayoutLibrary::IDMapping>{{{"user.new.7", "layout.abcdef12"}}}));
    EXPECT_EQ(desktop->defaults().boolValue(kFlag), true);

    // Done once: a legacy file that appears later keeps its id.
    write(layouts() / "user.new.8.json", userLayout("user.new.8", "Later"));
    library.migrateLayoutIDsIfNeeded();
    EXPECT_TRUE(fs::exists(layouts() / "user.new.8.json"));

    // A rewrite that fails is a failed migration; the flag is set all the same.
    desktop->defaults().remove(kFlag);
    library.rewriteLayoutReferences = [](const LayoutLibrary::IDMapping&) {
        throw std::runtime_error("boom");
    };
    capture.log().clear();
    library.migrateLayoutIDsIfNeeded();
    EXPECT_TRUE(logged("[app] Layout ID migration failed: boom"));
    EXPECT_FALSE(logged("Migrated"));
    EXPECT_EQ(desktop->defaults().boolValue(kFlag), true);
}

TEST_F(LayoutLibraryTest, renameWritesCompactlyByIdReloadsAndTellsTheOwnerUnlessItRefuses) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "Old"));
    write(layouts() / "old-name.json", userLayout("layout.b", "B"));
    library.reloadUserLayouts();
    const auto before = snapshot(home);
    struct Row {
        const char* what;
        LayoutDirectoryEntry entry;
        const char* name;
        bool result;
    };
    const std::vector<Row> rows = {
        {"same name but for spaces", entry("layout.a"), " Old ", true},
        {"blank name", entry("layout.a"), " \t\n", false},
        {"built-in", entry("layout.a", LayoutDescriptor::Kind::builtin), "Other", false},
        {"unknown id", entry("layout.zzz"), "Other", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(library.renameLayout(row.entry, row.name), row.result) << row.what;
    EXPECT_EQ(snapshot(home), before);
    EXPECT_TRUE(changes.empty());

    EXPECT_TRUE(library.renameLayout(entry("layout.a"), "  Fresh name\n"));
    EXPECT_EQ(read(layouts() / "layout.a.json"),
              R"({"id":"layout.a","name":"Fresh name","layoutTree":{"type":"region","id":1}})");
    EXPECT_EQ(library.regionSet("layout.a")->name, "Fresh name");
    EXPECT_EQ(changes, (std::vector<std::string>{"AppDelegate+Persistence.renameLayout"}));
}

TEST_F(LayoutLibraryTest, idsThatAreNotPlainFileNamesNeverReachTheDisk) {
    write(home / "escape.json", "outside");
    for (const std::string id :
         {"../escape", "..", ".", "", "a/b", "a\\b", "tab\there", "nl\n", "c1\xC2\x85"}) {
        SCOPED_TRACE(id);
        ConfigZoneSet set;
        set.id = id;
        set.name = "Named";
        write(layouts() / "list.json", nlohmann::ordered_json::array({set.toJSON()}).dump());
        library.reloadUserLayouts();
        changes.clear();

        EXPECT_FALSE(library.renameLayout(entry(id), "Other"));
        EXPECT_TRUE(logged("[app] Failed to rename layout " + id + ": The layout id "));
        EXPECT_EQ(library.saveUserLayout(set), id);
        EXPECT_TRUE(logged("[app] Failed to save layout " + id + ": "));
        library.deleteLayoutFromManager(entry(id));
        EXPECT_TRUE(logged("[app] Failed to delete layout " + id + ": "));
        EXPECT_EQ(changes, (std::vector<std::string>{"AppDelegate+Persistence.deleteLayoutFromManager"}));
    }
    EXPECT_EQ(read(home / "escape.json"), "outside");
    EXPECT_EQ(snapshot(layouts()).size(), 1u);
}

TEST_F(LayoutLibraryTest, deleteRemovesTheFileAndReloadsInEveryCase) {
    write(layouts() / "layout.a.json", userLayout("layout.a", "A"));
    library.reloadUserLayouts();

    library.deleteLayoutFromManager(entry("layout.a", LayoutDescriptor::Kind::builtinGrid2x2));
    EXPECT_TRUE(fs::exists(layouts() / "layout.a.json"));
    EXPECT_TRUE(changes.empty());

    library.deleteLayoutFromManager(entry("layout.a"));
    EXPECT_FALSE(fs::exists(layouts() / "layout.a.json"));
    EXPECT_TRUE(library.regionSets().empty());

    library.deleteLayoutFromManager(entry("layout.a")); // already gone: no failure, but tells all the same
    EXPECT_FALSE(logged("Failed"));
    EXPECT_EQ(changes, std::vector<std::string>(2, "AppDelegate+Persistence.deleteLayoutFromManager"));
}

TEST_F(LayoutLibraryTest, savingRenumbersATreeAndStoresOnlyTheTreeElseTheLayoutAsItIs) {
    ConfigZoneSet set;
    set.id = "layout.t";
    set.name = "Tree";
    set.displayUUID = "  D1\n";
    set.layoutTree =
        LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(7, "L"), LayoutNode::region(3));
    set.xSplits = std::vector<double>{0.5};
    set.zones = std::vector<ConfigZone>{{1, "D1", Rect(0, 0, 1, 1), std::nullopt}};
    set.zoneMap = std::map<std::string, ConfigZoneSet::ZoneMetadata>{{"1", {}}};

    EXPECT_EQ(library.saveUserLayout(set), "layout.t");
    EXPECT_EQ(
        read(layouts() / "layout.t.json"),
        R"({"id":"layout.t","displayUUID":"D1","name":"Tree","version":"2.0","layoutTree":{"type":"split",)"
        R"("axis":"horizontal","ratio":0.5,"left":{"type":"region","id":1,"name":"L"},)"
        R"("right":{"type":"region","id":2}}})");
    EXPECT_EQ(changes, (std::vector<std::string>{"AppDelegate+Persistence.saveUserLayout"}));
    EXPECT_EQ(library.regionSets().size(), 1u);

    set.displayUUID = " ";
    set.version = "3.1";
    library.saveUserLayout(set);
    const json stored = json::parse(read(layouts() / "layout.t.json"));
    EXPECT_FALSE(stored.contains("displayUUID"));
    EXPECT_EQ(stored["version"], "3.1");

    set.layoutTree.reset(); // without a tree: saved as it is
    library.saveUserLayout(set);
    EXPECT_EQ(read(layouts() / "layout.t.json"), set.toJSON().dump());
}

TEST_F(LayoutLibraryTest, aLayoutInAFileOfSeveralIsChangedAloneAndTheOthersStay) {
    write(layouts() / "layout.a.json",
          "[" + userLayout("layout.a", "A") + "," + userLayout("layout.b", "B") + "]");
    library.reloadUserLayouts();
    EXPECT_TRUE(library.renameLayout(entry("layout.a"), "A2"));
    library.saveUserLayout(userSet("layout.a", "A3"));
    EXPECT_EQ(library.regionSet("layout.a")->name, "A3");
    EXPECT_EQ(library.regionSets().size(), 2u);
    library.deleteLayoutFromManager(entry("layout.a"));
    EXPECT_EQ(read(layouts() / "layout.a.json"), "[" + userLayout("layout.b", "B") + "]");
    library.saveUserLayout(userSet("layout.a", "A4")); // joins what the file named by its id holds
    EXPECT_EQ(library.regionSets().size(), 2u);
}

TEST_F(LayoutLibraryTest, aLayoutInAFileNamedOtherwiseIsRenamedAndDeletedThere) {
    write(layouts() / "Desk.json", userLayout("layout.b", "B"));
    library.reloadUserLayouts();
    EXPECT_TRUE(library.renameLayout(entry("layout.b"), "Desk"));
    EXPECT_EQ(library.regionSet("layout.b")->name, "Desk");
    library.deleteLayoutFromManager(entry("layout.b"));
    EXPECT_TRUE(snapshot(layouts()).empty());
}

TEST_F(LayoutLibraryTest, anIdBeginningWithADotIsRefusedRatherThanSavedToAHiddenFile) {
    library.saveUserLayout(userSet(".hidden"));
    EXPECT_TRUE(logged(R"(Failed to save layout .hidden: The layout id ".hidden" cannot name a file)"));
    EXPECT_TRUE(snapshot(layouts()).empty());
}

// Whoever names the layout in a scene must know whether the file is there to be found.
TEST_F(LayoutLibraryTest, storingAUserLayoutAnswersItsIdOnlyWhenTheFileWasWritten) {
    EXPECT_EQ(library.storeUserLayout(userSet("layout.w")), std::optional<std::string>("layout.w"));
    EXPECT_TRUE(library.regionSet("layout.w"));
    EXPECT_EQ(library.storeUserLayout(userSet(".hidden")), std::nullopt);
    EXPECT_EQ(library.saveUserLayout(userSet(".hidden")), ".hidden")
        << "the older call answers the id regardless";
    EXPECT_EQ(snapshot(layouts()).size(), 1u);
}

TEST_F(LayoutLibraryTest, aTreeTooDeepToReadBackIsRefusedAndThePreviousFileKept) {
    write(layouts() / "layout.d.json", userLayout("layout.d", "D"));
    ConfigZoneSet deep = userSet("layout.d");
    deep.layoutTree = LayoutTreeModel::gridTree(std::vector<double>(600, 0.5), {}, 1);
    library.saveUserLayout(deep);
    EXPECT_TRUE(logged("Failed to save layout layout.d: The layout tree nests 601 levels; at most 512"));
    EXPECT_EQ(read(layouts() / "layout.d.json"), userLayout("layout.d", "D"));
}

// Every region of a tree as deep as a file can hold is renumbered: none keeps an old id that could
// clash with the new 1…n. The ids count down the chain, so reading order renumbers nearly all of them.
TEST_F(LayoutLibraryTest, aTreeAsDeepAsAFileCanHoldIsSavedWithEveryRegionRenumbered) {
    for (std::int64_t regions : {151, 512}) {
        LayoutNode tree = LayoutNode::region(1);
        for (std::int64_t id = 2; id <= regions; ++id)
            tree = LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(id), std::move(tree));
        ConfigZoneSet set = userSet("layout.deep");
        set.layoutTree = std::move(tree);
        library.saveUserLayout(set);

        const auto stored = json::parse(read(layouts() / "layout.deep.json"))["layoutTree"].get<LayoutNode>();
        std::vector<std::int64_t> ids = stored.regionIDs();
        std::sort(ids.begin(), ids.end());
        std::vector<std::int64_t> expected(static_cast<std::size_t>(regions));
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(ids, expected) << regions;
    }
}

TEST_F(LayoutLibraryTest, savingOverAnUnreadableLayoutFileKeepsItsBytesAside) {
    write(layouts() / "layout.u.json", "{damaged");
    library.saveUserLayout(userSet("layout.u"));
    EXPECT_EQ(read(layouts() / "layout.u.json.unreadable-2026-05-28T20:26:40Z"), "{damaged");
    EXPECT_EQ(library.regionSets().size(), 1u);
}

TEST_F(LayoutLibraryTest, aNewLayoutFailsRatherThanTakeAnIdInUse) {
    write(layouts() / "layout.aaaaaaaa.json", "keep me");
    for (int draw = 0; draw < 64; ++draw)
        desktop->process().enqueueUUID("AAAAAAAA-0000-4000-8000-000000000000");
    library.createNewLayout(std::nullopt);
    EXPECT_TRUE(logged("Failed to create new layout: No free layout id after 64 draws"));
    EXPECT_EQ(read(layouts() / "layout.aaaaaaaa.json"), "keep me");

    write(layouts() / "Desk.json", userLayout("layout.bbbbbbbb", "B")); // an id held under another name
    desktop->process().enqueueUUID("BBBBBBBB-0000-4000-8000-000000000000");
    library.createNewLayout(std::nullopt);
    EXPECT_EQ(read(layouts() / "Desk.json"), userLayout("layout.bbbbbbbb", "B"));
}
