// Layout lookups of the application object, its picker list, new user layouts and display records.
#include "AppTestSupport.h"

#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTreeModel.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::AppTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

ConfigZoneSet userSet(const std::string& id, const std::string& name = "User") {
    ConfigZoneSet set;
    set.id = id;
    set.name = name;
    set.layoutTree = LayoutNode::region(1, name);
    return set;
}

std::vector<std::string> idsOf(const std::vector<ConfigZoneSet>& sets) {
    std::vector<std::string> out;
    for (const auto& s : sets)
        out.push_back(s.id + "/" + s.name);
    return out;
}

} // namespace

TEST_F(AppTest, builtinLayoutsComeFirstAndOlderIdsMapToThem) {
    auto app = makeApp();
    app->regionSets = {userSet("builtin.asym-2x1.left-60-40", "Impostor"),
                       userSet("builtin.split-50-50", "Impostor"), userSet("layout.a", "First"),
                       userSet("layout.a", "Second")};
    struct Row {
        const char* id;
        const char* expected; // id/name, or nullptr for none
    };
    const std::vector<Row> rows = {
        {"builtin.asym-2x1.left-60-40", "builtin.split-60-40/60:40"},
        {"builtin.split-50-50", "builtin.split-50-50/50:50"},
        {"layout.a", "layout.a/First"},
        {"Layout.a", nullptr},
        {" layout.a", nullptr},
    };
    for (const auto& row : rows) {
        auto set = app->regionSet(row.id);
        if (!row.expected) {
            EXPECT_FALSE(set) << row.id;
            continue;
        }
        ASSERT_TRUE(set) << row.id;
        EXPECT_EQ(set->id + "/" + set->name, row.expected) << row.id;
    }
}

TEST_F(AppTest, pickerListsEachIdOnceBuiltinsFirst) {
    auto app = makeApp();
    app->regionSets = {userSet("layout.b"),
                       userSet("builtin.split-50-50", "Impostor"),
                       userSet("user.new.1765176035", "Older daily"),
                       userSet("builtin.grid.2x2", "Old grid"),
                       userSet("layout.b", "Twin"),
                       userSet("layout.c")};
    EXPECT_EQ(idsOf(app->builtinLayoutTemplates()),
              (std::vector<std::string>{"builtin.fullscreen/Full", "builtin.split-60-40/60:40",
                                        "builtin.split-50-50/50:50", "builtin.daily/Daily", "layout.b/User",
                                        "builtin.grid.2x2/Old grid", "layout.c/User"}));
}

TEST_F(AppTest, layoutTreeFromTreeSplitsOrZones) {
    auto app = makeApp();
    ConfigZoneSet set;
    set.id = "layout.g";
    set.name = "Grid";
    EXPECT_FALSE(app->layoutTree(set));

    set.xSplits = std::vector<double>{0.7, 0.3};
    EXPECT_FALSE(app->layoutTree(set)); // columns without rows

    set.ySplits = std::vector<double>{0.5};
    EXPECT_EQ(app->layoutTree(set), LayoutTreeModel::gridTree({0.3, 0.7}, {0.5}, 1));
    ConfigZoneSet sorted = set;
    sorted.xSplits = std::vector<double>{0.3, 0.7};
    EXPECT_EQ(app->layoutTree(set), app->layoutTree(sorted));

    ConfigZoneSet zones;
    zones.zones =
        std::vector<ConfigZone>{{4, "D", Rect(0, 0, 1, 1), std::string("Main")}, {5, "D", Rect(), {}}};
    EXPECT_EQ(app->layoutTree(zones), LayoutNode::region(4, "Main"));
    zones.zones->clear();
    EXPECT_FALSE(app->layoutTree(zones));

    zones.layoutTree = LayoutNode::region(9);
    zones.xSplits = set.xSplits;
    zones.ySplits = set.ySplits;
    EXPECT_EQ(app->layoutTree(zones), LayoutNode::region(9));
}

TEST_F(AppTest, aNewTemplateLayoutHasNoDisplayAndNoRecord) {
    auto app = makeApp();
    desktop->process().enqueueUUID("0A1B2C3D-0000-4000-8000-000000000000");
    app->createNewLayout(std::nullopt);

    const fs::path file = layouts() / "layout.0a1b2c3d.json";
    EXPECT_EQ(read(file), R"({"id":"layout.0a1b2c3d","name":"New Layout","version":"2.0",)"
                          R"("layoutTree":{"type":"region","id":1,"name":"Zone 1"}})");
    ASSERT_EQ(app->regionSets.size(), 1u);
    EXPECT_TRUE(logged("[app] Created new template layout at " + file.string()));
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
    EXPECT_FALSE(fs::exists(home / "display-workbenches.json"));
    EXPECT_TRUE(refreshes.empty());

    app->createNewLayout(std::string("  "));
    EXPECT_EQ(loggedCount("Created new template layout"), 2u);
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
}

TEST_F(AppTest, aNewLayoutForADisplayGivesItARecordOnce) {
    auto app = makeApp();
    app->multiState = std::make_shared<MultiDisplayState>();
    app->multiState->activeDisplayUUID = "ACTIVE";
    app->displayWorkbenches.workbenches["ACTIVE"] = DisplayWorkbench{"ACTIVE", "builtin.daily", std::nullopt};
    desktop->process().enqueueUUID("11112222-0000-4000-8000-000000000000");
    app->createNewLayout(std::string("\tNEW-D\n"));

    EXPECT_EQ(json::parse(read(layouts() / "layout.11112222.json"))["displayUUID"], "NEW-D");
    EXPECT_TRUE(logged("[app] Created new instance layout at "));
    // The record goes under the display UUID as given; the active display lends its template.
    EXPECT_EQ(app->displayWorkbenches.workbenches.at("NEW-D"),
              (DisplayWorkbench{"NEW-D", "builtin.daily", desktop->loop().wallClock()}));
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at("NEW-D"), "builtin.daily");
    EXPECT_EQ(DisplayWorkbenchSet::load(), app->displayWorkbenches);
    EXPECT_EQ(LayoutSelectionStore::load(), app->layoutSelection);
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Display.createDisplayRecord"}));

    app->createNewLayout(std::string("NEW-D"));
    EXPECT_EQ(refreshes.size(), 1u); // it has a workbench now
}

TEST_F(AppTest, displayRecordsNeverOverwriteAndDefaultToFiftyFifty) {
    auto app = makeApp();
    EXPECT_FALSE(app->createDisplayRecord(" \n"));
    EXPECT_TRUE(refreshes.empty());

    EXPECT_TRUE(app->createDisplayRecord("D1"));
    EXPECT_EQ(app->displayWorkbenches.workbenches.at("D1").activeTemplateID, "builtin.split-50-50");

    app->layoutSelection.lastByDisplay["D2"] = "layout.kept";
    app->displayWorkbenches.workbenches["D2"] = DisplayWorkbench{"D2", "layout.bench", std::nullopt};
    EXPECT_TRUE(app->createDisplayRecord(" D2 "));
    EXPECT_EQ(app->displayWorkbenches.workbenches.at("D2").activeTemplateID, "layout.bench");
    EXPECT_EQ(app->layoutSelection.lastByDisplay.at("D2"), "layout.kept");
    EXPECT_EQ(refreshes.size(), 2u);
}

TEST_F(AppTest, aNewLayoutThatCannotBeWrittenIsOnlyLogged) {
    auto app = makeApp();
    write(layouts(), "not a folder");
    app->createNewLayout(std::string("D1"));
    EXPECT_TRUE(logged("[app] Failed to create new layout: "));
    EXPECT_TRUE(app->displayWorkbenches.workbenches.empty());
    EXPECT_FALSE(logged("Reloaded"));
}

TEST_F(AppTest, aNewLayoutNeverReplacesAnExistingFile) {
    auto app = makeApp();
    write(layouts() / "layout.aaaaaaaa.json", "keep me");
    desktop->process().enqueueUUID("AAAAAAAA-0000-4000-8000-000000000000");
    desktop->process().enqueueUUID("BBBBBBBB-0000-4000-8000-000000000000");
    app->createNewLayout(std::nullopt);
    EXPECT_EQ(read(layouts() / "layout.aaaaaaaa.json"), "keep me");
    EXPECT_TRUE(fs::exists(layouts() / "layout.bbbbbbbb.json"));
}
