// The application object on the simulated desktop: what it reads when made, and that the components it
// makes reach each other (and the status-bar menu) through their callbacks only while it lives.
#include "shell/AppDelegate.h"

#include "app/DisplayLayouts.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "layouts/LayoutDirectoryWatcher.h"
#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class AppDelegateTest : public korvane::testing::SupportFolderTest {
  protected:
    std::shared_ptr<AppDelegate> makeApp() {
        auto app = AppDelegate::create(*desktop);
        subscription =
            app->statusBarEventBus()->subscribeInvalidations([this](const StatusBarInvalidationEvent& e) {
                if (auto* r = std::get_if<StatusBarInvalidationEvent::RefreshRequested>(&e.value))
                    refreshes.push_back(r->source);
            });
        return app;
    }
    bool logged(std::string_view line) { return capture.log().contains(line); }

    sim::ScopedLogCapture capture;
    std::vector<std::string> refreshes;
    std::unique_ptr<StatusBarEventSubscription> subscription;
};

} // namespace

TEST_F(AppDelegateTest, makingItReadsTheStoresAndAnUnreadableSelectionGivesAnEmptyOne) {
    write(home / "layout-selection.json", "{\"lastByDisplay\":");
    write(home / "display-workbenches.json",
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"builtin.daily"}}})");
    auto app = makeApp();
    EXPECT_TRUE(app->layoutSelection()->lastByDisplay.empty());
    EXPECT_EQ(app->displayWorkbenches()->workbenches.at("D1").activeTemplateID, "builtin.daily");
}

TEST_F(AppDelegateTest, controllerCallbacksAreWiredOnActivationAndLeadBackWhileTheApplicationLives) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    auto app = makeApp();
    auto controller = app->controller();
    EXPECT_FALSE(controller->onWindowFocus);
    ASSERT_TRUE(app->displayLayouts().setActiveDisplay("D1", true));
    app->multiState()->states.at("D1")->attach(WinRef{21, 100, {}, std::nullopt, std::nullopt}, 2);

    controller->onWindowFocus(21);
    EXPECT_EQ(app->displayLayouts().lastUsedRegion(), 2);
    controller->onLayoutChange();
    EXPECT_EQ(refreshes, (std::vector<std::string>{"WMController.onLayoutChange"}));
    controller->onCycleBounce("D1");

    subscription.reset();
    app.reset();
    capture.log().clear();
    controller->onWindowFocus(21);
    controller->onLayoutChange();
    controller->onCycleBounce("D1");
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(AppDelegateTest, userLayoutChangesReachTheMenuAndANewDisplaysLayoutGivesItARecordOnce) {
    auto app = makeApp();
    app->displayWorkbenches()->workbenches["ACTIVE"] =
        DisplayWorkbench{"ACTIVE", "builtin.daily", std::nullopt};
    app->multiState()->activeDisplayUUID = "ACTIVE";
    app->layoutLibrary().createNewLayout(std::string("NEW-D"));
    app->layoutLibrary().createNewLayout(std::string("NEW-D"));
    EXPECT_EQ(app->displayWorkbenches()->workbenches.at("NEW-D").activeTemplateID, "builtin.daily");
    EXPECT_EQ(LayoutSelectionStore::load().lastByDisplay.at("NEW-D"), "builtin.daily");

    ConfigZoneSet set;
    set.id = "layout.s";
    set.name = "S";
    app->layoutLibrary().saveUserLayout(set);
    app->layoutDirectoryWatcher().startLayoutDirectoryWatcher();
    desktop->folders().inject(layouts().string(), platform::kFolderWrite);
    desktop->loop().advance(milliseconds(250));
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Display.createDisplayRecord",
                                                   "AppDelegate+Persistence.saveUserLayout",
                                                   "AppDelegate+Persistence.scheduleLayoutDirectoryReload"}));
}

TEST_F(AppDelegateTest, movedLayoutIdsAreCarriedIntoTheScenes) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    write(layouts() / "user.new.7.json", R"({"id":"user.new.7","name":"Old"})");
    const fs::path scene = scenes() / "scene-11111111-2222-4333-8444-555555555555.json";
    write(scene, json{{"id", "11111111-2222-4333-8444-555555555555"},
                      {"name", "Desk"},
                      {"layoutRefsByDisplay", {{"D1", "user.new.7"}}}}
                     .dump());
    auto app = makeApp();
    desktop->process().enqueueUUID("ABCDEF12-0000-4000-8000-000000000000");
    app->layoutLibrary().migrateLayoutIDsIfNeeded();
    EXPECT_EQ(json::parse(read(scene))["layoutRefsByDisplay"]["D1"], "layout.abcdef12");
}

TEST_F(AppDelegateTest, theLaunchAtLoginSwitchLogsSuccessAndFailure) {
    desktop->process().setEnvironment("HOME", (home / "user").string());
    auto app = makeApp();
    app->setLaunchAtLogin(true);
    EXPECT_TRUE(fs::exists(home / "user/Library/LaunchAgents/com.korvane.launch.plist"));
    EXPECT_TRUE(logged("[app] Launch-at-login toggled enabled=true"));
    desktop->process().unsetEnvironment("HOME"); // no home to put the entry in: logged, not thrown
    app->setLaunchAtLogin(false);
    EXPECT_TRUE(logged("[app] Failed to toggle launch-at-login: "));
    EXPECT_FALSE(logged("enabled=false"));
}
