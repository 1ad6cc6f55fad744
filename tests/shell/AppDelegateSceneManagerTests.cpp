// The scene manager as the application opens it on the simulated desktop: one window, brought to the
// requested scene and display on every request and forgotten when it closes; its displays named as the
// screens are, its presets stored as user layouts, and a restore asked of it shown and announced.
#include "LaunchFixture.h"

#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutLibrary.h"
#include "scenes/SceneStore.h"
#include "ui/scene_manager/SceneManagerPanelController.h"
#include "ui/scene_manager/SceneManagerViewModel.h"
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

namespace {

class AppDelegateSceneManagerTest : public korvane::testing::LaunchTest {
  protected:
    void SetUp() override {
        LaunchTest::SetUp();
        markScenesConverted();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .name = "Studio", .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{1920, 0, 1280, 800}, .name = "Side", .uuid = "D2"});
        desktop->loop().runUntilIdle();
    }
    void TearDown() override {
        SceneRestoreHUDController::setShared(nullptr);
        app.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::string storeScene(const std::string& name, WMScene::LayoutRefMap refs) {
        WMScene scene;
        scene.id = desktop->process().makeUUID();
        scene.name = name;
        scene.createdAt = scene.updatedAt = 1'700'000'000LL * kNanosPerSecond;
        scene.layoutRefsByDisplay = refs;
        SceneStore::shared()->save(scene, ScreenContext::capture(desktop->screens()));
        return scene.id;
    }
    SceneManagerViewModel& model() { return *app->sceneManagerPanelController()->viewModel; }
};

TEST_F(AppDelegateSceneManagerTest, aSecondRequestReusesTheOpenWindowAndAClosedOneIsMadeAfresh) {
    launch();
    const std::string home = storeScene("Home", {{"D1", kBuiltinDailyID}});
    const std::string work = storeScene("Work", {{"D1", kBuiltinDailyID}});
    app->showSceneManager(std::nullopt);
    desktop->loop().runUntilIdle();
    const auto first = app->sceneManagerPanelController();
    ASSERT_TRUE(first);
    QWidget* window = first->window();
    EXPECT_EQ(window->windowTitle().toStdString(), "Scene Manager");
    EXPECT_TRUE(first->isWindowVisible());
    EXPECT_EQ(model().selectedSceneID(), home);
    EXPECT_EQ(model().availableDisplays(),
              (std::vector<SceneManagerDisplay>{{"D1", "Studio"}, {"D2", "Side"}}));

    // The prompt's "Set Up Display": another scene and a display that scene does not configure.
    app->showSceneManager(work, "D2");
    desktop->loop().runUntilIdle();
    EXPECT_EQ(app->sceneManagerPanelController(), first);
    EXPECT_EQ(first->window(), window);
    EXPECT_EQ(model().selectedSceneID(), work);
    EXPECT_EQ(model().selectedDisplayUUID(), "D2");
    EXPECT_FALSE(model().isDisplayConfigured("D2"));

    window->close();
    EXPECT_FALSE(app->sceneManagerPanelController());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app->showSceneManager(std::nullopt);
    ASSERT_TRUE(app->sceneManagerPanelController());
    EXPECT_NE(app->sceneManagerPanelController(), first);
    EXPECT_TRUE(model().isLoading()) << "a new window starts again from its loading state";
}

// The scene editor saved or closed: an open manager lists what it wrote; a closed one is not made for it.
TEST_F(AppDelegateSceneManagerTest, anOpenManagerReloadsWhenAskedAndNoneIsMadeForIt) {
    launch();
    app->reloadOpenSceneManager();
    EXPECT_FALSE(app->sceneManagerPanelController());
    storeScene("Home", {});
    app->showSceneManager(std::nullopt);
    desktop->loop().runUntilIdle();
    ASSERT_EQ(model().scenes().size(), 1u);
    storeScene("Work", {});
    app->reloadOpenSceneManager();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(model().scenes().size(), 2u);
}

TEST_F(AppDelegateSceneManagerTest,
       aPresetIsStoredThroughTheLayoutLibraryAndNothingOnceTheApplicationIsGone) {
    launch();
    const std::string id = storeScene("Desk", {});
    app->showSceneManager(id, "D1");
    desktop->loop().runUntilIdle();
    model().bindPreset(builtinSplit6040Layout());
    const std::string ref = SceneStore::shared()
                                ->loadScene(id, ScreenContext::capture(desktop->screens()))
                                ->layoutRefsByDisplay.at("D1");
    EXPECT_TRUE(app->layoutLibrary().regionSet(ref)) << "the library knows it at once";
    EXPECT_EQ(model().selectedDisplayLayout(), builtinSplit6040Layout().layoutTree);

    const auto save = model().services().onSaveAsUserLayout;
    const auto displays = model().services().availableDisplaysProvider;
    auto controller = app->sceneManagerPanelController();
    app.reset();
    ConfigZoneSet layout = builtinDailyLayout();
    layout.id = "layout.after";
    EXPECT_EQ(save(layout), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(layouts() / "layout.after.json"));
    EXPECT_TRUE(displays().empty());
}

// The active scene's layouts are what its displays show: one bound left the display as it was, refusing
// pushes into the zones the manager drew, and the next "Update" wrote the old layout back over it.
TEST_F(AppDelegateSceneManagerTest, aPresetBoundToTheActiveScenesDisplayShowsAtOnceAndAnUpdateKeepsIt) {
    launch();
    const std::string desk = storeScene("Desk", {{"D1", kBuiltinSplit5050ID}, {"D2", kBuiltinSplit5050ID}});
    const std::string home = storeScene("Home", {{"D2", kBuiltinSplit5050ID}});
    SceneStore::shared()->setActiveScene(desk);
    const auto& states = app->multiState()->states;
    const std::size_t sideZones = states.at("D2")->layout.zones.size();

    app->showSceneManager(home, "D2");
    desktop->loop().runUntilIdle();
    model().bindPreset(builtinDailyLayout());
    EXPECT_EQ(states.at("D2")->layout.zones.size(), sideZones) << "another scene waits for its restore";

    app->showSceneManager(desk, "D1");
    desktop->loop().runUntilIdle();
    model().bindPreset(builtinDailyLayout());
    const ScreenContext screens = ScreenContext::capture(desktop->screens());
    const std::string bound = SceneStore::shared()->loadScene(desk, screens)->layoutRefsByDisplay.at("D1");
    EXPECT_EQ(states.at("D1")->layout.zones.size(), 4u);

    app->updateActiveScene();
    EXPECT_EQ(SceneStore::shared()->loadScene(desk, screens)->layoutRefsByDisplay.at("D1"), bound);
}

TEST_F(AppDelegateSceneManagerTest,
       aRestoreAskedOfTheManagerRecordsTheSceneShowsTheOutcomeAndRefreshesTheMenu) {
    launch();
    const std::string id = storeScene("Desk", {{"D1", kBuiltinDailyID}});
    std::vector<std::string> heard;
    auto subscription = app->statusBarEventBus()->subscribeInvalidations(
        [&](const StatusBarInvalidationEvent& event) { heard.push_back(event.description()); });
    app->showSceneManager(std::nullopt);
    desktop->loop().runUntilIdle();

    model().services().onRestore(*model().selectedScene());
    EXPECT_EQ(SceneStore::shared()->readActiveState()->activeSceneID, id);
    ASSERT_TRUE(SceneRestoreHUDController::shared()->window());
    EXPECT_TRUE(SceneRestoreHUDController::shared()->window()->isVisible());
    EXPECT_EQ(
        std::count(heard.begin(), heard.end(),
                   "refreshRequested(reason=external.state-changed,source=SceneManagerPanel.onRestore)"),
        1);
}

} // namespace
