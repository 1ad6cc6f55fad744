// Restoring a scene's layouts and the launch restore of the active scene on the simulated desktop.
#include "support/RestoreAwaited.h"
#include "support/SupportFolderFixture.h"

#include "core/AXUtil.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::restoreAwaited;
using korvane::testing::SupportFolderTest;

namespace {

constexpr const char* kSceneID = "11111111-2222-4333-8444-555555555555";

class SceneRestoreEngineTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        store = std::make_shared<SceneStore>(*desktop, ScreenContext{});
        engine = makeEngine();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
        scene.id = kSceneID;
        scene.name = "Desk";
        scene.layoutRefsByDisplay = {{"D1", "layout.known"}, {"D2", " scene-apply-3 "}};
        engine->onAfterRestore = [this](const WMScene& restored) { applied.push_back(restored.name); };
    }
    ScreenContext screens() { return ScreenContext::capture(desktop->screens()); }
    std::shared_ptr<SceneRestoreEngine> makeEngine() {
        // Every reference but the placeholders names a layout this resolver knows of only "layout.known".
        return SceneRestoreEngine::create(
            *desktop, store, AXUtil::shared(), [](const std::string& ref, const platform::ScreenInfo&) {
                return ref == "layout.known" ? std::optional(Layout{}) : std::nullopt;
            });
    }

    sim::ScopedLogCapture capture;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<SceneRestoreEngine> engine;
    WMScene scene;
    std::vector<std::string> applied;
};

} // namespace

TEST_F(SceneRestoreEngineTest, aRestoreRecordsTheSceneAppliesItAndReportsTheDisplaysItCouldNotResolve) {
    desktop->accessibility().setProcessTrusted(false);
    const SceneRestoreResult denied = restoreAwaited(*desktop, *engine, scene);
    EXPECT_EQ(denied, (SceneRestoreResult{.sceneName = "Desk", .failedCount = 1, .permissionDenied = true}));
    EXPECT_TRUE(
        capture.log().contains("[sceneManager] Scene Restore denied: no EWMH window manager running"));
    EXPECT_FALSE(store->loadActiveScene(screens()));
    EXPECT_TRUE(applied.empty());

    desktop->accessibility().setProcessTrusted(true);
    store->save(scene, screens());
    const SceneRestoreResult result = restoreAwaited(*desktop, *engine, scene);
    EXPECT_EQ(result.totalDisplays, 2);
    EXPECT_EQ(result.appliedDisplays, 1);
    EXPECT_EQ(result.failedCount, 1);
    EXPECT_EQ(result.unresolvedDisplays, std::vector<std::string>{"D2"});
    EXPECT_FALSE(result.permissionDenied);
    ASSERT_TRUE(store->loadActiveScene(screens()));
    EXPECT_EQ(store->loadActiveScene(screens())->id, kSceneID);
    EXPECT_EQ(applied, std::vector<std::string>{"Desk"});
    EXPECT_TRUE(capture.log().contains(
        "[sceneManager] Scene Restore complete (layout-only): 'Desk' displays=1/2 unresolved=1 time=0ms"));
}

// A scene that names applications for a connected display it gives no layout (as a drop onto its "No
// Config" canvas once stored them): no zone of theirs exists there, and the restore says so rather than
// passing them over. Those of a display not connected wait for it.
TEST_F(SceneRestoreEngineTest, hintsOfAConnectedDisplayTheSceneGivesNoLayoutAreReportedWithoutTheirZones) {
    scene.layoutRefsByDisplay = {{"D1", "layout.known"}};
    scene.windowHints = {
        {"D2", {{"org.example.mail", 1, std::nullopt}, {"org.example.notes", 1, std::nullopt}}},
        {"D3", {{"org.example.chat", 1, std::nullopt}}}};
    store->save(scene, screens());
    const SceneRestoreResult result = restoreAwaited(*desktop, *engine, scene);
    EXPECT_EQ(result.unresolvedDisplays, std::vector<std::string>{"D2"});
    EXPECT_EQ(result.appsWithoutZone, 2);
    EXPECT_EQ(result.totalHints, 2);
    EXPECT_EQ(result.placedWindows, 0);
}

TEST_F(SceneRestoreEngineTest, theActiveSceneIsRestoredOneSecondAfterLaunchWhileTheEngineLives) {
    engine->restoreActiveSceneOnLaunch();
    EXPECT_TRUE(capture.log().contains("[sceneManager] No active scene to restore on launch"));
    desktop->loop().advance(seconds(2));
    EXPECT_TRUE(applied.empty());

    store->save(scene, screens());
    store->setActiveScene(kSceneID);
    engine->restoreActiveSceneOnLaunch();
    EXPECT_TRUE(capture.log().contains("[sceneManager] Will restore scene 'Desk' on launch (after delay)"));
    desktop->loop().advance(milliseconds(999));
    EXPECT_TRUE(applied.empty());
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(applied, std::vector<std::string>{"Desk"});

    // A scene saved and made active within the delay stays the active one: the restore takes it.
    capture.log().clear();
    applied.clear();
    engine->restoreActiveSceneOnLaunch();
    WMScene saved = scene;
    saved.id = "66666666-7777-4888-8999-AAAAAAAAAAAA";
    saved.name = "Saved meanwhile";
    store->save(saved, screens());
    store->setActiveScene(saved.id);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(applied, std::vector<std::string>{"Saved meanwhile"});
    EXPECT_EQ(store->loadActiveScene(screens())->id, saved.id);

    // An engine gone before its timer fires restores nothing.
    capture.log().clear();
    engine->restoreActiveSceneOnLaunch();
    engine.reset();
    desktop->loop().advance(seconds(2));
    EXPECT_FALSE(capture.log().contains("Scene Restore complete"));
}

// A restore the user asks for within the second after launch, its moves still under way when the launch
// restore is due: the launch restore would take it over and its card would never show; it is left out,
// the user's restore having made its scene the active one.
TEST_F(SceneRestoreEngineTest, theLaunchRestoreIsLeftOutWhileTheMovesOfARestoreAskedMeanwhileAreUnderWay) {
    desktop->defaults().set(SceneRestoreEngine::kParkUnmanagedWindowsKey, true);
    const pid_t other = desktop->workspace().launch({.bundleID = "com.example.other", .name = "Other"});
    desktop->windows().open(other, {.frame = Rect{300, 300, 600, 400}, .movesAfter = milliseconds(2000)});
    store->save(scene, screens());
    store->setActiveScene(kSceneID);
    engine->restoreActiveSceneOnLaunch();
    desktop->loop().advance(milliseconds(500));

    std::vector<SceneRestoreResult> reported;
    engine->restore(scene, [&](const SceneRestoreResult& result) { reported.push_back(result); });
    desktop->loop().advance(milliseconds(600));
    EXPECT_TRUE(capture.log().contains("[sceneManager] Launch restore left out: a restore is under way"));
    desktop->loop().advance(seconds(3));

    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].parkedWindows, 1);
    EXPECT_EQ(applied, std::vector<std::string>{"Desk"});
}

TEST_F(SceneRestoreEngineTest, anActiveSceneThatCannotBeReadAtLaunchIsReportedAndNothingIsRestored) {
    std::vector<SceneRestoreResult> reported;
    engine->onLaunchRestoreFailed = [&](const SceneRestoreResult& result) { reported.push_back(result); };
    store->save(scene, screens());
    store->setActiveScene(kSceneID);
    const auto file = store->scenesDirectory / SceneStore::sceneFileName(kSceneID);
    write(file, "{\"id\":");

    engine->restoreActiveSceneOnLaunch();
    EXPECT_TRUE(capture.log().contains("Active scene cannot be restored on launch: " + file.string() +
                                       " does not decode"));
    EXPECT_FALSE(capture.log().contains("No active scene to restore on launch"));
    desktop->loop().advance(seconds(2));
    EXPECT_EQ(reported, (std::vector<SceneRestoreResult>{
                            {.sceneName = "Desk", .failedCount = 1, .sceneUnreadable = true}}));
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ(read(file), "{\"id\":");
}
