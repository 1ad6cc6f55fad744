// The application object on the simulated desktop: what it reads and makes when made (and what it does
// not start), that the components it makes share the stores the launch steps rewrite, and that they reach
// each other (and the status-bar menu) through their callbacks only while it lives.
#include "shell/AppDelegate.h"

#include "app/DisplayIdentity.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "app/DisplayObserver.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "app/NewWindowPlacement.h"
#include "app/StatusBarEventBus.h"
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/HotkeyCenter.h"
#include "input/HotkeyManager.h"
#include "layouts/LayoutDirectoryWatcher.h"
#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/model/WMScene.h"
#include "support/FileEvents.h"
#include "support/RestoreAwaited.h"
#include "support/SupportFolderFixture.h"
#include "tracking/MappingTransaction.h"
#include "tracking/WindowTracker.h"

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

TEST_F(AppDelegateTest, makingItReadsTheStoresInOrderTakesTheSharedInstancesAndStartsNothing) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    write(home / "layout-selection.json", "{\"lastByDisplay\":");
    write(home / "display-workbenches.json",
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"builtin.daily"}}})");
    write(home / "hotkeys.json", R"({"version":3,"bindings":[],"disabled":[]})");
    write(home / "layout-templates.json", R"({"templates":[]})");
    write(home / "layout-memory.json", R"({"schemaVersion":2,"entries":{},"slotClaimSnapshots":{}})");
    write(layouts() / "mine.json", R"({"id":"layout.mine","name":"Mine"})");
    const auto files = snapshot(home);

    desktop->loop().runUntilIdle();

    korvane::testing::FileEvents events({home, layouts()});
    auto app = AppDelegate::create(*desktop);

    // The three stores are read in the order they are made, and nothing else is opened: not the hot keys,
    // not the layout memory, not the Layouts folder.
    EXPECT_EQ(events.opened(),
              (std::vector<fs::path>{home / "layout-selection.json", home / "layout-templates.json",
                                     home / "display-workbenches.json"}));
    EXPECT_TRUE(app->layoutSelection()->lastByDisplay.empty());
    EXPECT_EQ(app->displayWorkbenches()->workbenches.at("D1").activeTemplateID, "builtin.daily");
    // The hot keys start from the defaults; the stored table is read at start-up.
    EXPECT_EQ(app->hotkeyConfig(), HotkeyConfig::defaults(desktop->loop().wallClock()));
    EXPECT_EQ(app->ax(), AXUtil::shared());
    EXPECT_EQ(app->hotkeyManager()->center(), HotkeyCenter::shared());

    // Nothing shown, observed, watched, scheduled, tracked or written; no display has zones yet.
    EXPECT_FALSE(app->status() || app->sdpController() || app->sceneCardSwitcherController() ||
                 app->dragSnapController() || app->globalSwitcherWC() || app->settingsWC());
    for (const char* notice : {DisplayObserver::screenParametersChangedNotification, platform::kDidWake,
                               platform::kDidLaunchApplication, platform::kDidActivateApplication})
        EXPECT_EQ(desktop->notifications().observerCount(notice), 0u) << notice;
    EXPECT_EQ(desktop->folders().activeWatchCount(layouts().string()), 0u);
    EXPECT_EQ(desktop->loop().pendingCount(), 0u);
    EXPECT_TRUE(app->tracker()->axObservers().empty());
    EXPECT_TRUE(app->multiState()->states.empty());
    EXPECT_EQ(app->mappingTransactions()->currentEpoch("D1"), 0);
    EXPECT_EQ(snapshot(home), files);
    EXPECT_TRUE(capture.log().lines().empty());
}

TEST_F(AppDelegateTest, launchStepsOnTheSharedStoresGiveCanonicalKeysAndZonesAndASecondLaunchMovesNothing) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
    write(home / "display-workbenches.json", R"({"workbenches":{
        " D1#1":{"displayUUID":" D1#1","activeTemplateID":"builtin.fullscreen"},
        " ":{"displayUUID":" ","activeTemplateID":"builtin.daily"}}})");
    write(home / "layout-selection.json", R"({"lastByDisplay":{"D2#2 ":"builtin.daily"}})");
    auto launch = [this] {
        auto app = makeApp();
        app->layoutMemory().loadLayoutMemory();
        app->displayIdentity().migrateDisplayIdentity("app-launch");
        app->displayLayouts().initializeAllDisplays();
        app->displayIdentity().cleanupInvalidDisplayRecords();
        return app;
    };

    auto app = launch();
    // The migrated workbench gives D1 its template; D2 is made from its migrated selection.
    EXPECT_EQ(app->multiState()->states.at("D1")->layout.zones.size(), 1u);
    EXPECT_EQ(app->multiState()->states.at("D2")->layout.zones.size(),
              app->displayLayouts().expectedZoneCount("builtin.daily", "D2"));
    auto stored = DisplayWorkbenchSet::load().workbenches;
    EXPECT_EQ(stored.at("D1").activeTemplateID, "builtin.fullscreen");
    EXPECT_FALSE(stored.count(" ") || stored.count(" D1#1"));
    EXPECT_EQ(LayoutSelectionStore::load().lastByDisplay.at("D2"), "builtin.daily");

    // The next launch finds the keys canonical: no move, nothing dropped, the same records.
    app.reset();
    capture.log().clear();
    desktop->loop().advance(seconds(60));
    const auto workbenchesBefore = DisplayWorkbenchSet::load().workbenches;
    const auto selectionBefore = LayoutSelectionStore::load().lastByDisplay;
    app = launch();
    EXPECT_EQ(capture.log().count("[DisplayIdentity]"), 0u);
    EXPECT_FALSE(logged("cleanupInvalidDisplayRecords"));
    EXPECT_EQ(DisplayWorkbenchSet::load().workbenches.size(), workbenchesBefore.size());
    for (const auto& [key, workbench] : DisplayWorkbenchSet::load().workbenches)
        EXPECT_EQ(workbench.activeTemplateID, workbenchesBefore.at(key).activeTemplateID);
    EXPECT_EQ(LayoutSelectionStore::load().lastByDisplay, selectionBefore);
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

TEST_F(AppDelegateTest, probesOnItsBusRunTheDisplayChangePassOnceSubscribedAndNoneAfterItIsGone) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D0"});
    auto app = makeApp();
    auto bus = app->displayLayoutEventBus();
    const DisplayLayoutProbeEvent probe{DisplayLayoutProbeReason::manual, "test", false, std::nullopt};
    bus->publish(probe);
    desktop->loop().advance(seconds(1));
    EXPECT_TRUE(app->multiState()->states.empty()) << "nobody listens before the subscription starts";

    app->startDisplayLayoutProbeSubscription();
    app->startDisplayLayoutProbeSubscription(); // the second replaces the first
    bus->publish(probe);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(capture.log().count("[DisplayChange] handle start reason=probe:manual:test"), 1u);
    EXPECT_EQ(app->multiState()->states.size(), 2u);
    EXPECT_EQ(app->availableDisplayUUIDs(), (std::vector<std::string>{"D0", "D1"}));

    bus->publish(probe); // pending when the application goes
    app.reset();
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(capture.log().count("[DisplayChange] handle start"), 1u);
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

TEST_F(AppDelegateTest, asTheTrackersDelegateItPlacesALaunchedApplicationsWindowInTheZonesItMade) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    auto app = makeApp();
    app->displayLayouts().initializeAllDisplays();
    const WMState& state = *app->multiState()->states.at("D1");
    const int zone = state.layout.zones.rbegin()->first;
    app->tracker()->delegate = app->newWindowPlacement();
    app->tracker()->startObserving();

    auto& coordinator = *app->mappingTransactions();
    MappingIntent launchIntent;
    launchIntent.id = "AUTO-1";
    launchIntent.source = MappingIntentSource::autoLaunch;
    launchIntent.targetDisplayUUID = "D1";
    launchIntent.targetZoneID = zone;
    launchIntent.bundleID = "com.example.mail";
    launchIntent.createdAt = coordinator.nowProvider();
    launchIntent.expiresAt = launchIntent.createdAt + seconds(8.0);
    coordinator.intents[launchIntent.id] = launchIntent;
    const pid_t mail = desktop->workspace().launch({.bundleID = "com.example.mail"});
    desktop->loop().runUntilIdle();
    const WindowID inbox = desktop->windows().open(mail, {.frame = Rect{10, 10, 300, 200}, .title = "Inbox"});
    desktop->loop().advance(milliseconds(100));

    EXPECT_EQ(state.layout.zones.at(zone).stack.back(), inbox);
    EXPECT_EQ(coordinator.intent("AUTO-1")->stage, MappingIntentStage::committed);
    app->tracker()->stopObserving();
}

// Mail's window in the zone closes, and the window a later start of Mail opens gets its number, from the
// same process or another: the zone holds the new window alone, placed as the later start asked, its
// record the new window's.
TEST_F(AppDelegateTest, aWindowOpenedUnderAClosedWindowsNumberIsANewWindowAndTheClosedOneLeftItsZone) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    auto app = makeApp();
    app->displayLayouts().initializeAllDisplays();
    const WMState& state = *app->multiState()->states.at("D1");
    const int zone = state.layout.zones.rbegin()->first;
    app->tracker()->delegate = app->newWindowPlacement();
    app->tracker()->startObserving();
    auto& coordinator = *app->mappingTransactions();
    auto expectMail = [&](const std::string& id) {
        MappingIntent intent;
        intent.id = id;
        intent.source = MappingIntentSource::autoLaunch;
        intent.targetDisplayUUID = "D1";
        intent.targetZoneID = zone;
        intent.bundleID = "com.example.mail";
        intent.createdAt = coordinator.nowProvider();
        intent.expiresAt = intent.createdAt + seconds(8.0);
        coordinator.intents[intent.id] = intent;
    };

    for (bool sameProcess : {true, false}) {
        SCOPED_TRACE(sameProcess ? "the same process" : "another process");
        expectMail("AUTO-1");
        const pid_t mail = desktop->workspace().launch({.bundleID = "com.example.mail"});
        desktop->loop().runUntilIdle();
        const WindowID inbox =
            desktop->windows().open(mail, {.frame = Rect{10, 10, 300, 200}, .title = "Inbox"});
        desktop->loop().advance(milliseconds(100));
        ASSERT_EQ(state.layout.zones.at(zone).stack.back(), inbox);

        desktop->windows().close(inbox);
        desktop->loop().advance(milliseconds(100));
        expectMail("AUTO-2");
        pid_t later = mail;
        if (!sameProcess) {
            desktop->workspace().quit(mail);
            later = desktop->workspace().launch({.bundleID = "com.example.mail"});
            desktop->loop().runUntilIdle();
        }
        const WindowID drafts = desktop->windows().open(
            later, {.frame = Rect{10, 10, 300, 200}, .title = "Drafts", .number = inbox});
        desktop->loop().advance(milliseconds(100));

        EXPECT_EQ(state.layout.zones.at(zone).stack, std::vector<WindowID>{drafts});
        EXPECT_EQ(desktop->windows().frame(drafts), state.layout.zones.at(zone).frame);
        EXPECT_EQ(coordinator.intent("AUTO-2")->stage, MappingIntentStage::committed);
        EXPECT_EQ(state.wins.at(drafts).ax, desktop->windows().element(drafts));
        desktop->windows().close(drafts);
        desktop->workspace().quit(later);
        desktop->loop().advance(milliseconds(100));
        coordinator.intents.clear();
    }
    app->tracker()->stopObserving();
}

TEST_F(AppDelegateTest,
       itsOneRestoreEngineSweepsIntoItsZonesAndLaunchesIntoThemThroughItsNewWindowPlacement) {
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    auto app = makeApp();
    const auto engine = app->sceneRestoreEngine();
    app->tracker()->delegate = app->newWindowPlacement();
    app->tracker()->startObserving();
    const pid_t editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    const WindowID notes =
        desktop->windows().open(editor, {.frame = Rect{10, 10, 800, 600}, .title = "Notes"});
    desktop->workspace().install({.bundleID = "com.example.mail", .name = "Mail"});
    WMScene scene;
    scene.id = "33333333-4444-4555-8666-777777777777";
    scene.name = "Two";
    scene.layoutRefsByDisplay = {{"D1", "builtin.split-50-50"}};
    scene.windowHints = {{"D1",
                          {WindowHint{"com.example.editor", 2, std::nullopt},
                           WindowHint{"com.example.mail", 1, std::nullopt}}}};

    const SceneRestoreResult result = korvane::testing::restoreAwaited(*desktop, *engine, scene);
    desktop->loop().advance(milliseconds(200));
    pid_t mail = 0;
    for (const auto& running : desktop->workspace().runningApplications())
        if (running.bundleID == "com.example.mail") mail = running.pid;
    ASSERT_NE(mail, 0);
    const WindowID inbox = desktop->windows().open(mail, {.frame = Rect{10, 10, 300, 200}, .title = "Inbox"});
    desktop->loop().advance(milliseconds(200));

    // The same engine serves every restore; its callbacks lead into the application's zones.
    EXPECT_EQ(app->sceneRestoreEngine(), engine);
    EXPECT_EQ(result.placedWindows, 1);
    const WMState& state = *app->multiState()->states.at("D1");
    EXPECT_EQ(state.layout.zones.at(2).stack, std::vector<WindowID>{notes});
    EXPECT_EQ(desktop->windows().frame(notes), state.layout.zones.at(2).frame);
    EXPECT_EQ(state.layout.zones.at(1).stack, std::vector<WindowID>{inbox});
    EXPECT_EQ(desktop->windows().frame(inbox), state.layout.zones.at(1).frame);
    app->tracker()->stopObserving();
}
