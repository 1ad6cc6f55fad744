// Display records on the simulated desktop: the focused window and its display, the display the user
// works on, new display records, and the start-up move of layout descriptors to workbenches.
#include "DisplayFixture.h"

#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";
constexpr const char* kFlag = "Korvane.LayoutTemplateMigrationCompleted";

class DisplayRecordsTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080});
        addDisplay(kSide, Rect{1920, 0, 1440, 900});
    }
};

} // namespace

TEST_F(DisplayRecordsTest, focusedWindowCarriesItsFrameElseTheWindowListsElseItsMappingElseTheActiveDisplay) {
    EXPECT_FALSE(records->focusedWindow());
    const auto n = openFocusedWindow(Rect{2000, 100, 600, 400});
    auto focused = records->focusedWindow();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->element, desktop->windows().element(n));
    EXPECT_EQ(focused->frame, (Rect{2000, 100, 600, 400}));
    EXPECT_EQ(focused->displayUUID, kSide);

    // The position cannot be read: the window list's frame, flipped.
    desktop->accessibility().scriptAXFailure(
        n, "AXPosition", std::vector<platform::AXError>(30, platform::AXError::attributeUnsupported));
    EXPECT_EQ(records->focusedWindow()->frame, (Rect{2000, 100, 600, 400}));

    // No frame at all: the pointer's display, stored as the active one, until a state maps the window.
    desktop->windowServer().setAvailable(false);
    desktop->screens().setMouseLocation({2500, 500});
    auto unmapped = records->focusedWindow();
    EXPECT_FALSE(unmapped->frame);
    EXPECT_EQ(unmapped->displayUUID, kSide);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);
    ASSERT_TRUE(displayLayouts->ensureState(kMain));
    stateOf(kMain)->attach(WinRef{n, 0, desktop->windows().element(n), std::nullopt, std::nullopt}, 2);
    EXPECT_EQ(records->focusedWindow()->displayUUID, kMain);
}

TEST_F(DisplayRecordsTest, theActiveDisplayIsStoredOnlyWhenFocusOrPointerDecides) {
    multiState->activeDisplayUUID = "BEFORE";
    // One of our own windows, mostly on the side display.
    EXPECT_EQ(records->resolveActiveDisplayUUID(Rect{1800, 100, 400, 300}), kSide);
    EXPECT_EQ(multiState->activeDisplayUUID, "BEFORE");

    // A window of ours off every screen says nothing; the pointer decides.
    desktop->screens().setMouseLocation({100, 100});
    EXPECT_EQ(records->resolveActiveDisplayUUID(Rect{-900, -900, 100, 100}), kMain);
    EXPECT_EQ(multiState->activeDisplayUUID, kMain);

    openFocusedWindow(Rect{2000, 100, 600, 400});
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), kSide);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);
}

TEST_F(DisplayRecordsTest, ourKeyWindowDecidesAfterTheFocusedWindowAndBeforeThePointer) {
    multiState->activeDisplayUUID = "BEFORE";
    desktop->screens().setMouseLocation({100, 100});
    desktop->screens().setKeyWindowFrame(Rect{1800, 100, 400, 300}); // mostly on the side display

    // A window given still wins, and still leaves the active display alone.
    EXPECT_EQ(records->resolveActiveDisplayUUID(Rect{100, 100, 400, 300}), kMain);
    EXPECT_EQ(multiState->activeDisplayUUID, "BEFORE");

    // Nothing focused elsewhere: the key window, not the pointer, and it is stored.
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), kSide);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);

    // A readable focused window on the main display comes first.
    const auto n = openFocusedWindow(Rect{100, 100, 600, 400});
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), kMain);

    // Its frame cannot be read: the key window again.
    desktop->accessibility().scriptAXFailure(
        n, "AXPosition", std::vector<platform::AXError>(30, platform::AXError::attributeUnsupported));
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), kSide);
    EXPECT_EQ(multiState->activeDisplayUUID, kSide);

    // A key window off every screen says nothing; the pointer decides.
    desktop->accessibility().scriptAXFailure(
        n, "AXPosition", std::vector<platform::AXError>(30, platform::AXError::attributeUnsupported));
    desktop->screens().setKeyWindowFrame(Rect{-900, -900, 100, 100});
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), kMain);
    EXPECT_EQ(multiState->activeDisplayUUID, kMain);
}

TEST_F(DisplayTest, withoutScreensTheActiveDisplayStaysAsItWas) {
    multiState->activeDisplayUUID = "BEFORE";
    EXPECT_EQ(records->resolveActiveDisplayUUID(Rect{0, 0, 100, 100}), "BEFORE");

    // A focused window with a readable frame but no screen to put it on names no display: the active
    // display must not become the empty string.
    const int only = addDisplay("ONLY", Rect{0, 0, 1920, 1080});
    openFocusedWindow(Rect{100, 100, 600, 400});
    desktop->screens().removeDisplay(only);
    desktop->loop().runUntilIdle();
    ASSERT_TRUE(ax->focusedWindow());
    EXPECT_EQ(records->resolveActiveDisplayUUID(std::nullopt), "BEFORE");
    EXPECT_EQ(multiState->activeDisplayUUID, "BEFORE");
}

TEST_F(DisplayRecordsTest, aNewRecordTakesTheActiveDisplaysTemplateAndNeverOverwrites) {
    EXPECT_FALSE(records->createDisplayRecord(" \n"));
    EXPECT_TRUE(refreshes.empty());

    EXPECT_TRUE(records->createDisplayRecord("D1"));
    EXPECT_EQ(workbenches->workbenches.at("D1").activeTemplateID, kBuiltinSplit5050ID);

    workbenches->workbenches[kSide] = DisplayWorkbench{kSide, kBuiltinDailyID, std::nullopt};
    desktop->screens().setMouseLocation({2500, 500});
    ASSERT_TRUE(records->createDisplayRecord("\tNEW\n"));
    EXPECT_EQ(workbenches->workbenches.at("NEW"),
              (DisplayWorkbench{"NEW", kBuiltinDailyID, desktop->loop().wallClock()}));
    EXPECT_EQ(storedSelection("NEW"), kBuiltinDailyID);
    EXPECT_EQ(DisplayWorkbenchSet::load(), *workbenches);

    selection->lastByDisplay["D2"] = "layout.kept";
    workbenches->workbenches["D2"] = DisplayWorkbench{"D2", "layout.bench", std::nullopt};
    EXPECT_TRUE(records->createDisplayRecord(" D2 "));
    EXPECT_EQ(workbenches->workbenches.at("D2").activeTemplateID, "layout.bench");
    EXPECT_EQ(storedSelection("D2"), "layout.kept");
    EXPECT_EQ(refreshes, std::vector<std::string>(3, "AppDelegate+Display.createDisplayRecord"));
}

TEST_F(DisplayTest, templateMigrationTurnsDescriptorsIntoWorkbenchesOnceTheyAreMissing) {
    const fs::path benchFile = home / "display-workbenches.json";
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D1":{"displayUUID":"ignored","kind":"builtin","layoutID":"builtin.daily"}}})");
    records->migrateLayoutTemplatesIfNeeded();
    const DisplayWorkbench expected{"D1", kBuiltinDailyID, desktop->loop().wallClock()};
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches.at("D1"), expected);
    EXPECT_EQ(LayoutTemplateSet::load().templates.size(), 3u); // the built-ins
    EXPECT_EQ(desktop->defaults().boolValue(kFlag), true);
    EXPECT_EQ(*templates, LayoutTemplateSet::load());

    // An empty workbench file is rebuilt despite the flag; an unreadable descriptor file gives none.
    write(benchFile, R"({"workbenches":{}})");
    records->migrateLayoutTemplatesIfNeeded();
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches.size(), 1u);
    write(benchFile, R"({"workbenches":{}})");
    write(home / "layout-descriptors.json",
          R"({"byDisplay":{"D2":{"displayUUID":"D2","kind":"grid","layoutID":"layout.def"}}})");
    records->migrateLayoutTemplatesIfNeeded();
    EXPECT_TRUE(workbenches->workbenches.empty());
    EXPECT_EQ(read(benchFile), "{\n  \"workbenches\": {}\n}");
}

TEST_F(DisplayTest, aMissingBuiltinIsAddedInMemoryAtEveryStart) {
    LayoutTemplateSet stored;
    stored.upsert(LayoutTemplate{"user.t", "Mine", LayoutNode::region(1), "2.0", std::nullopt, std::nullopt});
    stored.save();
    DisplayWorkbenchSet benches;
    benches.workbenches["D1"] = DisplayWorkbench{"D1", "user.t", std::nullopt};
    benches.save();
    desktop->defaults().set(kFlag, true);

    records->migrateLayoutTemplatesIfNeeded();
    ASSERT_EQ(templates->templates.size(), 4u);
    EXPECT_EQ(templates->templates[0].id, "user.t");
    EXPECT_EQ(LayoutTemplateSet::load().templates.size(), 1u); // not written
    EXPECT_EQ(*workbenches, benches);
}
