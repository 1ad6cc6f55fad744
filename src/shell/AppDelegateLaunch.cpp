// Start-up: the steps from the layout memory to the permissions, in their order, and the services that
// start once both grants hold.
#include "shell/AppDelegate.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayIdentity.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "app/DisplayObserver.h"
#include "app/DisplayRecords.h"
#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "app/NewWindowPlacement.h"
#include "app/PermissionManager.h"
#include "app/StatusBarEventBus.h"
#include "app/V3MigrationCheck.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/Rescuer.h"
#include "core/WMState.h"
#include "input/DragSnapController.h"
#include "input/MouseEventTap.h"
#include "input/SDPController.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/LayoutDirectoryWatcher.h"
#include "layouts/LayoutLibrary.h"
#include "platform/Platform.h"
#include "scenes/SceneMigration.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "tracking/WindowTracker.h"
#include "ui/switchers/SceneCardSwitcherController.h"
#include "ui/switchers/StatusBarController.h"
#include "ui/switchers/TrayStatusItem.h"

namespace korvane {

namespace {

// The name the main display's state goes under when no screen is connected at launch.
constexpr const char* kNoScreenDisplayUUID = "main-0";
// Set by the unit-test runner in the processes it starts.
constexpr const char* kUnitTestEnvironmentKey = "XCTestConfigurationFilePath";

} // namespace

bool AppDelegate::isRunningUnitTests() const {
    return platform_.processInfo().environment(kUnitTestEnvironmentKey).has_value();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (isRunningUnitTests()) {
        Log::app.info("Unit test mode detected; skipping app runtime bootstrap");
        return;
    }

    layoutMemory_->clearLayoutMemoryIfRequested();
    layoutMemory_->loadLayoutMemory();
    layoutMemory_->rebuildMemoryScopes();

    const std::string mainDisplayUUID = makeMainDisplayState();
    wireControllerCallbacks();

    displayIdentity_->migrateDisplayIdentity("app-launch");
    // The displays' records name user layouts: read before the displays get their states, or each would
    // be given a stand-in and then its own layout moments later. The housekeeping below reads them again
    // once their ids are migrated.
    layoutLibrary_->reloadUserLayouts();
    displayLayouts_->initializeAllDisplays();
    displayLayouts_->rememberLastUsedRegion(mainDisplayUUID);

    startStatusItem();

    // Only now: the corner button that stands in for a missing tray has just reserved its strip along
    // the main screen's top, and the rescued windows go below it, where the main screen's visible frame
    // begins. The one strong capture: the rescue is worth finishing even if start-up were to fail after
    // it. The last reference comes back to the main thread, which alone releases the application.
    platform::RunLoop& loop = platform_.runLoop();
    loop.dispatchGlobal(platform::QueueQoS::Background, [self = shared_from_this(), &loop]() mutable {
        self->rescueWindows();
        loop.post([done = std::move(self)] {});
    });

    hotkeyConfig_ = HotkeyConfig::load(platform_.runLoop().wallClock());
    registerHotkeys();

    startMouseTapAndGestures();
    startObservers();

    displayIdentity_->cleanupInvalidDisplayRecords();
    layoutLibrary_->migrateLayoutIDsIfNeeded();
    layoutLibrary_->reloadUserLayouts();
    displayRecords_->migrateLayoutTemplatesIfNeeded();
    layoutDirectoryWatcher_->startLayoutDirectoryWatcher();

    applyStartupLayouts(mainDisplayUUID);
    prepareSceneEditorWhenIdle();

    // Last: with both grants the services start before this returns; otherwise the permission window
    // shows on a later turn and the poll starts them.
    PermissionManager::shared()->requestPermissions(
        [weak = weak_from_this()] { startServicesAfterPermission(weak); });
}

std::string AppDelegate::makeMainDisplayState() {
    auto& screens = platform_.screens();
    const auto main = screens.mainScreen();
    const auto all = screens.screens();
    const std::string uuid = main ? DisplayUtil::displayUUID(*main) : kNoScreenDisplayUUID;

    Layout layout;
    layout.screenId = uuid;
    layout.gridSpec = GridSpec{2, 2, 0, 0};
    if (main)
        layout.zones = LayoutBuilder::grid(*main, 2, 2, 0, 0);
    else if (!all.empty())
        layout.zones = LayoutBuilder::grid(all.front(), 2, 2, 0, 0);
    else
        // Nothing to cut zones from: the display starts without any, and the display pass gives zones
        // to the screens as they come.
        Log::app.error("No screen at launch; display %s starts without zones", uuid);

    multiState_->states[uuid] = std::make_shared<WMState>(std::move(layout));
    multiState_->activeDisplayUUID = uuid;
    return uuid;
}

void AppDelegate::startStatusItem() {
    // The item shows where widgets can; the controller keeps its menu and title all the same.
    auto item = TrayStatusItem::makeIfWidgets(platform_);
    status_ = StatusBarController::create(platform_, DisplayObserver::shared(), item);
    if (item)
        item->onClick = [weak = std::weak_ptr<StatusBarController>(status_)] {
            if (auto status = weak.lock()) status->statusItemClicked();
        };
    status_->bind(statusBarEventBus_);
    startStatusBarActionSubscription();
    startDisplayLayoutProbeSubscription();

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    status_->terminate = [weak] {
        if (auto self = weak.lock(); self && self->terminate) self->terminate();
    };
    status_->scenesProvider = [weak]() {
        std::vector<StatusBarController::SceneEntry> entries;
        auto self = weak.lock();
        auto store = self ? self->sceneStore() : nullptr;
        if (!store) return entries;
        for (const auto& scene : store->loadAllScenes(ScreenContext::capture(self->platform_.screens())))
            entries.push_back({scene.id, scene.name});
        return entries;
    };
    status_->activeSceneIDProvider = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->activeSceneID() : std::nullopt;
    };
}

void AppDelegate::startMouseTapAndGestures() {
    auto tap = MouseEventTap::shared();
    tap->start();

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    sdpController_ = std::make_shared<SDPController>(platform_, controller_, multiState_);
    tap->delegate = sdpController_;
    sdpController_->showToast = [weak](const std::string& message, const std::string& displayUUID,
                                       double duration) {
        if (auto self = weak.lock()) self->showToast(message, displayUUID, duration);
    };
    sdpController_->configureGlobalSwitcher(
        [weak]() -> std::shared_ptr<GlobalSwitcherWindowController> {
            auto self = weak.lock();
            return self ? self->globalSwitcherWC_ : nullptr;
        },
        [weak](const platform::ScreenInfo& screen) {
            if (auto self = weak.lock()) self->toggleGlobalSwitcher(screen);
        });

    platform::RunLoop& loop = platform_.runLoop();
    auto cards = std::make_shared<SceneCardSwitcherController>(platform_);
    cards->sceneStore = sceneStore();
    cards->layoutTemplateResolver = layoutLibrary_;
    cards->onRestoreScene = [weak](const WMScene& scene) {
        if (auto self = weak.lock()) self->restoreAndReport(scene, "SceneCardSwitcher.onRestoreScene");
    };
    cards->onSaveScene = [weak, &loop] {
        loop.post([weak] {
            if (auto self = weak.lock()) self->showSaveSceneSheet();
        });
    };
    cards->onEditScene = [weak, &loop](const WMScene& scene) {
        loop.post([weak, id = scene.id] {
            if (auto self = weak.lock()) self->showSceneManager(id);
        });
    };
    cards->activeSceneID = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->activeSceneID() : std::nullopt;
    };
    sceneCardSwitcherController_ = std::move(cards);

    dragSnapController_ = std::make_shared<DragSnapController>(platform_, controller_, multiState_);
    dragSnapController_->onGestureActivated = [weak] {
        if (auto self = weak.lock())
            self->displayLayoutEventBus_->publish({DisplayLayoutProbeReason::dragSnap,
                                                   "DragSnapController.onGestureActivated", false,
                                                   std::nullopt});
    };
    dragSnapController_->onBeforeSnap = [weak](const std::string& displayUUID) {
        if (auto self = weak.lock())
            self->displayLayoutEventBus_->publish(
                {DisplayLayoutProbeReason::dragSnap, "DragSnapController.onBeforeSnap", true, displayUUID});
    };
    // The card switcher is a mouse handler too, but it opens on the option key alone: not registered.
    tap->addHandler(dragSnapController_);
}

void AppDelegate::startObservers() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    displayObserverToken_ = platform_.notificationCenter().addObserver(
        DisplayObserver::screenParametersChangedNotification,
        platform::NotificationCenter::Delivery::mainQueue,
        [weak](const std::string&, const nlohmann::json& userInfo) {
            if (auto self = weak.lock()) self->handleDisplayObserverNotification(userInfo);
        });
    // Its first post, made while it starts, already reaches the observer above.
    DisplayObserver::shared()->start();
    wakeObserverToken_ = platform_.notificationCenter().addObserver(
        platform::kDidWake, platform::NotificationCenter::Delivery::mainQueue,
        [weak](const std::string&, const nlohmann::json&) {
            if (auto self = weak.lock()) self->handleSystemWake();
        });
}

void AppDelegate::applyStartupLayouts(const std::string& mainDisplayUUID) {
    auto store = sceneStore();
    if (store) SceneMigration(platform_, ScreenContext::capture(platform_.screens())).runIfNeeded(*store);
    checkV3MigrationPostponement(platform_);

    const auto active =
        store ? store->loadActiveScene(ScreenContext::capture(platform_.screens())) : std::nullopt;
    if (active) {
        displayLayouts_->applyLayoutsFromScene(*active);
        Log::app.info("P1: Applied layouts from active scene '%s'", active->name);
        return;
    }
    if (displayLayouts_->restoreLayoutsAtStartup()) {
        Log::app.info("Restored layout from descriptor for display=%s", mainDisplayUUID);
        return;
    }
    Log::app.info("Korvane initialized with default split 50:50");
    // The display the user works on had nothing to restore; the main display may be another one, and
    // one with a remembered layout has just been given it.
    if (displayWorkbenches_->workbenches.count(mainDisplayUUID)) return;
    displayLayouts_->setActiveTemplate(mainDisplayUUID, kBuiltinSplit5050ID);
    // It still holds the launch grid: its zones become those of the layout it now records.
    displayLayouts_->ensureDisplayLayoutSynced(mainDisplayUUID);
}

void AppDelegate::rescueWindows() {
    Rescuer(ax_).rescueParkedWindows();
}

void AppDelegate::startServicesAfterPermission(const std::weak_ptr<AppDelegate>& app) {
    Log::app.info("Permissions granted, starting services...");
    auto self = app.lock();
    if (!self) return;
    self->tracker_->delegate = self->newWindowPlacement_;
    self->tracker_->startObserving();
    self->sceneRestoreEngine()->restoreActiveSceneOnLaunch();
}

std::optional<std::string> AppDelegate::activeSceneID() {
    auto store = sceneStore();
    if (!store) return std::nullopt;
    const auto state = store->readActiveState();
    return state ? state->activeSceneID : std::nullopt;
}

} // namespace korvane
