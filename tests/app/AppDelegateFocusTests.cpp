// The focused window and its display, the active display, memory scopes, and the last used zone kept
// in step with the focus, on the simulated desktop.
#include "DisplayFixture.h"

#include "core/AXUtil.h"
#include "core/WMController.h"
#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";

class FocusTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080});
        addDisplay(kSide, Rect{1920, 0, 1440, 900});
        app = makeLayoutApp();
        app->controller = std::make_shared<WMController>(app->multiState, app->ax);
    }

    // An application in front whose focused window is a new window with this frame.
    std::uint32_t openFocusedWindow(const Rect& frame) {
        editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        const auto n = desktop->windows().open(editor, {.frame = frame, .title = "Notes"});
        desktop->workspace().bringToFront(editor);
        desktop->loop().runUntilIdle();
        return n;
    }
    // Maps the real window into the zone, as a placement would.
    void map(WMState& state, std::uint32_t n, int zone) {
        state.attach(
            WinRef{n, editor, desktop->windows().element(n), std::nullopt, desktop->windows().frame(n)},
            zone);
    }

    std::shared_ptr<AppDelegate> app;
    pid_t editor = 0;
};

TEST_F(FocusTest, focusedWindowCarriesItsFrameAndDisplayElseTheWindowListsFrameFlipped) {
    EXPECT_FALSE(app->focusedWindow());
    const auto n = openFocusedWindow(Rect{2000, 100, 600, 400});
    for (bool positionReadable : {true, false}) {
        if (!positionReadable)
            desktop->accessibility().scriptAXFailure(
                n, "AXPosition", std::vector<platform::AXError>(6, platform::AXError::attributeUnsupported));
        auto focused = app->focusedWindow();
        ASSERT_TRUE(focused);
        EXPECT_EQ(focused->element, desktop->windows().element(n));
        EXPECT_EQ(focused->frame, (Rect{2000, 100, 600, 400})) << positionReadable;
        EXPECT_EQ(focused->displayUUID, kSide);
    }
}

TEST_F(FocusTest, withoutAnyFrameTheMappingElseTheActiveDisplayDecides) {
    ASSERT_TRUE(app->ensureState(kMain));
    const auto n = openFocusedWindow(Rect{2000, 100, 600, 400});
    desktop->windowServer().setAvailable(false);
    const std::vector<platform::AXError> failures(12, platform::AXError::attributeUnsupported);
    desktop->accessibility().scriptAXFailure(n, "AXPosition", failures);

    desktop->screens().setMouseLocation({2500, 500});
    auto unmapped = app->focusedWindow();
    ASSERT_TRUE(unmapped);
    EXPECT_FALSE(unmapped->frame);
    EXPECT_EQ(unmapped->displayUUID, kSide);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kSide);

    map(*stateOf(*app, kMain), n, 2);
    auto mapped = app->focusedWindow();
    ASSERT_TRUE(mapped);
    EXPECT_FALSE(mapped->frame);
    EXPECT_EQ(mapped->displayUUID, kMain);
}

TEST_F(FocusTest, theActiveDisplayIsStoredOnlyWhenFocusOrPointerDecides) {
    app->multiState->activeDisplayUUID = "BEFORE";
    // One of our own windows, mostly on the side display.
    EXPECT_EQ(app->resolveActiveDisplayUUID(Rect{1800, 100, 400, 300}), kSide);
    EXPECT_EQ(app->multiState->activeDisplayUUID, "BEFORE");

    // A window of ours off every screen says nothing; the pointer decides.
    desktop->screens().setMouseLocation({100, 100});
    EXPECT_EQ(app->resolveActiveDisplayUUID(Rect{-900, -900, 100, 100}), kMain);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kMain);

    openFocusedWindow(Rect{2000, 100, 600, 400});
    EXPECT_EQ(app->resolveActiveDisplayUUID(std::nullopt), kSide);
    EXPECT_EQ(app->multiState->activeDisplayUUID, kSide);
}

TEST_F(DisplayTest, withoutScreensTheActiveDisplayStaysAsItWas) {
    auto app = makeLayoutApp();
    app->multiState->activeDisplayUUID = "BEFORE";
    EXPECT_EQ(app->resolveActiveDisplayUUID(std::nullopt), "BEFORE");
    EXPECT_EQ(app->resolveActiveDisplayUUID(Rect{0, 0, 100, 100}), "BEFORE");

    // A focused window with a readable frame but no screen to put it on names no display: the active
    // display must not become the empty string.
    const int only = addDisplay("ONLY", Rect{0, 0, 1920, 1080});
    const pid_t pid = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    desktop->windows().open(pid, {.frame = Rect{100, 100, 600, 400}, .title = "Notes"});
    desktop->workspace().bringToFront(pid);
    desktop->screens().removeDisplay(only);
    desktop->loop().runUntilIdle();
    ASSERT_TRUE(app->ax->focusedWindow());
    EXPECT_EQ(app->resolveActiveDisplayUUID(std::nullopt), "BEFORE");
    EXPECT_EQ(app->multiState->activeDisplayUUID, "BEFORE");
}

TEST_F(FocusTest, aNewDisplayRecordTakesTheActiveDisplaysTemplate) {
    app->displayWorkbenches.workbenches[kSide] = DisplayWorkbench{kSide, kBuiltinDailyID, std::nullopt};
    desktop->screens().setMouseLocation({2500, 500});
    ASSERT_TRUE(app->createDisplayRecord("NEW"));
    EXPECT_EQ(app->displayWorkbenches.workbenches.at("NEW").activeTemplateID, kBuiltinDailyID);
    EXPECT_EQ(storedSelection("NEW"), kBuiltinDailyID);
}

TEST_F(FocusTest, memoryScopesPreferTheWorkbenchAndAreCached) {
    app->displayWorkbenches.workbenches[kMain] = DisplayWorkbench{kMain, kBuiltinFullscreenID, std::nullopt};
    app->layoutSelection.lastByDisplay[kMain] = kBuiltinSplit5050ID;
    app->layoutSelection.lastByDisplay[kSide] = kBuiltinDailyID;

    EXPECT_EQ(app->memoryScope(kMain), (LayoutMemoryKey{kMain, kBuiltinFullscreenID}));
    EXPECT_EQ(app->memoryScope(kSide), (LayoutMemoryKey{kSide, kBuiltinDailyID}));
    EXPECT_EQ(app->memoryScope("NONE"), std::nullopt);
    EXPECT_FALSE(app->memoryScopes.count("NONE"));

    app->displayWorkbenches.workbenches[kMain].activeTemplateID = kBuiltinSplit6040ID;
    EXPECT_EQ(app->memoryScope(kMain), (LayoutMemoryKey{kMain, kBuiltinFullscreenID}));
}

TEST_F(FocusTest, focusSyncRecordsTheZoneOfTheFirstDisplayThatMapsTheWindow) {
    ASSERT_TRUE(app->ensureState(kMain));
    ASSERT_TRUE(app->ensureState(kSide));
    place(*stateOf(*app, kSide), 21, 2);
    place(*stateOf(*app, kMain), 30, 1);
    place(*stateOf(*app, kSide), 30, 2);
    app->lastUsedRegion = 1;

    app->onWindowFocusSync(21);
    EXPECT_EQ(app->lastUsedRegion, 2);
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kSide), 2);
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kMain), 1);
    EXPECT_TRUE(logged("[app] OnWindowFocusSync: wid=21 rid=2 display=DISPLAY-2"));
    EXPECT_EQ(loggedCount("[PointsOfInterest] begin OnWindowFocusSync"), 1u);
    EXPECT_EQ(loggedCount("[PointsOfInterest] end OnWindowFocusSync"), 1u);

    app->onWindowFocusSync(30);
    EXPECT_EQ(app->lastUsedRegion, 1);
    EXPECT_TRUE(logged("[app] OnWindowFocusSync: wid=30 rid=1 display=DISPLAY-1"));

    const auto before = app->lastUsedRegionByDisplay;
    app->onWindowFocusSync(99);
    EXPECT_TRUE(logged("[app] OnWindowFocusSync: wid=99 not mapped in any display state"));
    EXPECT_EQ(app->lastUsedRegion, 1);
    EXPECT_EQ(app->lastUsedRegionByDisplay, before);
    EXPECT_EQ(loggedCount("[PointsOfInterest] end OnWindowFocusSync"), 3u);
}

TEST_F(FocusTest, controllerCallbacksLeadBackToTheApplicationWhileItLives) {
    ASSERT_TRUE(app->ensureState(kSide));
    place(*stateOf(*app, kSide), 21, 2);
    app->wireControllerCallbacks();
    auto controller = app->controller;
    EXPECT_FALSE(controller->onWindowMoved);

    controller->onWindowFocus(21);
    EXPECT_EQ(app->lastUsedRegion, 2);
    controller->onLayoutChange();
    EXPECT_EQ(refreshes, (std::vector<std::string>{"WMController.onLayoutChange"}));
    controller->onCycleBounce(kSide);

    subscription.reset();
    app.reset();
    capture.log().clear();
    controller->onWindowFocus(21);
    controller->onLayoutChange();
    controller->onCycleBounce(kSide);
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(FocusTest, theFocusedWindowsZoneBecomesTheLastUsedZone) {
    ASSERT_TRUE(app->ensureState(kSide));
    app->lastUsedRegion = 1;
    app->updateLastUsedRegionFromFocus();
    EXPECT_EQ(app->lastUsedRegion, 1);
    EXPECT_FALSE(logged("SyncRegion"));
    EXPECT_EQ(loggedCount("[PointsOfInterest] end UpdateLastUsedRegionFromFocus"), 1u);

    const auto n = openFocusedWindow(Rect{2700, 100, 600, 400});
    map(*stateOf(*app, kSide), n, 2);
    app->updateLastUsedRegionFromFocus();
    EXPECT_EQ(app->lastUsedRegion, 2);
    EXPECT_EQ(app->lastUsedRegionByDisplay.at(kSide), 2);
    EXPECT_TRUE(logged("[app] SyncRegion: confirmed focus rid=2 for wid=" + std::to_string(n)));
}

} // namespace
