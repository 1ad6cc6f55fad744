// Making the components in start-up order and wiring them to each other.
#include "shell/AppDelegate.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayIdentity.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "app/DisplayObserver.h"
#include "app/DisplayRecords.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LaunchAgent.h"
#include "app/LayoutMemory.h"
#include "app/NewWindowPlacement.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "app/TransactionalPush.h"
#include "app/WakeRecovery.h"
#include "app/WakeSlotReplay.h"
#include "app/WindowMappingClassifier.h"
#include "app/WindowMappingRebuild.h"
#include "app/ZoneMemberships.h"
#include "core/AXUtil.h"
#include "core/FileUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "input/DragSnapController.h"
#include "input/HotkeyActions.h"
#include "input/HotkeyCenter.h"
#include "input/HotkeyManager.h"
#include "input/HotkeyPushActions.h"
#include "input/SDPController.h"
#include "layouts/LayoutDirectoryWatcher.h"
#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateSet.h"
#include "platform/Platform.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"
#include "scenes/SceneStore.h"
#include "scenes/model/SceneFileRewriter.h"
#include "scenes/model/ScreenContext.h"
#include "tracking/MappingTransaction.h"
#include "tracking/WindowTracker.h"
#include "ui/overlays/KeyboardHeld.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_manager/SceneRestoreHUDController.h"
#include "ui/scene_manager/SceneSaveWindowController.h"
#include "ui/scene_manager/UnconfiguredDisplayPrompts.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SceneCardSwitcherController.h"
#include "ui/switchers/StatusBarController.h"

#include <functional>

namespace korvane {

namespace {

// Publishes a refresh of the status-bar menu while the bus lives.
std::function<void(const std::string&)> refreshPublisher(const std::shared_ptr<StatusBarEventBus>& bus) {
    return [weak = std::weak_ptr<StatusBarEventBus>(bus)](const std::string& source) {
        if (auto bus = weak.lock())
            bus->publish(StatusBarInvalidationEvent::refreshRequested(
                StatusBarInvalidationReason::externalStateChanged, source));
    };
}

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(platform::Platform& platform) {
    auto app = std::shared_ptr<AppDelegate>(new AppDelegate(platform));
    app->wire();
    return app;
}

AppDelegate::AppDelegate(platform::Platform& platform)
    : platform_(platform), statusBarEventBus_(StatusBarEventBus::create(platform)),
      displayLayoutEventBus_(DisplayLayoutEventBus::create(platform)), ax_(AXUtil::shared()),
      tracker_(WindowTracker::create(platform, ax_)),
      layoutSelection_(std::make_shared<LayoutSelection>(LayoutSelectionStore::load())),
      layoutTemplates_(std::make_shared<LayoutTemplateSet>(LayoutTemplateSet::load())),
      displayWorkbenches_(std::make_shared<DisplayWorkbenchSet>(DisplayWorkbenchSet::load())),
      layoutMemory_(
          std::make_shared<LayoutMemory>(platform.processInfo(), displayWorkbenches_, layoutSelection_)),
      hotkeyManager_(std::make_shared<HotkeyManager>(HotkeyCenter::shared())),
      hotkeyConfig_(HotkeyConfig::defaults(platform.runLoop().wallClock())),
      mappingTransactions_(std::make_shared<MappingTransactionCoordinator>()),
      multiState_(std::make_shared<MultiDisplayState>()),
      controller_(std::make_shared<WMController>(multiState_, ax_)),
      layoutLibrary_(std::make_shared<LayoutLibrary>(platform.userDefaults())),
      layoutDirectoryWatcher_(
          LayoutDirectoryWatcher::create(platform.runLoop(), platform.folderWatcher(),
                                         [library = std::weak_ptr<LayoutLibrary>(layoutLibrary_),
                                          refresh = refreshPublisher(statusBarEventBus_)]() -> std::size_t {
                                             auto layouts = library.lock();
                                             if (!layouts) return 0;
                                             layouts->reloadUserLayouts();
                                             refresh("AppDelegate+Persistence.scheduleLayoutDirectoryReload");
                                             return layouts->regionSets().size();
                                         })),
      displayRecords_(std::make_shared<DisplayRecords>(
          platform, ax_, multiState_,
          DisplayRecords::Stores{displayWorkbenches_, layoutSelection_, layoutTemplates_},
          statusBarEventBus_)),
      displayIdentity_(std::make_shared<DisplayIdentity>(
          DisplayIdentity::Stores{displayWorkbenches_, layoutSelection_, layoutMemory_})),
      windowMappingClassifier_(std::make_shared<WindowMappingClassifier>(platform, ax_, tracker_)),
      zoneMemberships_(std::make_shared<ZoneMemberships>(
          platform, ZoneMemberships::Dependencies{multiState_, layoutMemory_, ax_, tracker_,
                                                  windowMappingClassifier_})),
      displayLayouts_(std::make_shared<DisplayLayouts>(
          platform, DisplayLayouts::Dependencies{multiState_, controller_, ax_, layoutLibrary_,
                                                 displayRecords_, layoutMemory_, displayWorkbenches_,
                                                 layoutSelection_, mappingTransactions_, zoneMemberships_})),
      transactionalPush_(TransactionalPush::create(
          platform, TransactionalPush::Dependencies{mappingTransactions_, displayLayoutEventBus_, controller_,
                                                    multiState_, tracker_, ax_, windowMappingClassifier_})),
      newWindowPlacement_(NewWindowPlacement::create(
          platform, NewWindowPlacement::Dependencies{mappingTransactions_, controller_, ax_,
                                                     windowMappingClassifier_})),
      windowMappingRebuild_(std::make_shared<WindowMappingRebuild>(platform, multiState_, layoutMemory_)),
      displayChangeHandler_(DisplayChangeHandler::create(
          platform, DisplayChangeHandler::Dependencies{displayLayoutEventBus_, DisplayObserver::shared(),
                                                       multiState_, mappingTransactions_, displayWorkbenches_,
                                                       layoutSelection_, layoutLibrary_, displayRecords_,
                                                       displayLayouts_, windowMappingRebuild_, ax_})),
      wakeSlotReplay_(std::make_shared<WakeSlotReplay>(
          platform,
          WakeSlotReplay::Dependencies{multiState_, layoutMemory_, tracker_, windowMappingClassifier_,
                                       windowMappingRebuild_, statusBarEventBus_})),
      wakeRecovery_(WakeRecovery::create(
          platform, WakeRecovery::Dependencies{tracker_, ax_, displayLayoutEventBus_, controller_,
                                               windowMappingRebuild_, wakeSlotReplay_, zoneMemberships_})),
      hotkeyActions_(std::make_shared<HotkeyActions>(
          HotkeyActions::Dependencies{multiState_, controller_, ax_, displayRecords_, displayLayouts_})),
      pushActions_(std::make_shared<HotkeyPushActions>(
          platform,
          HotkeyPushActions::Dependencies{multiState_, displayRecords_, displayLayouts_, hotkeyActions_,
                                          transactionalPush_, statusBarEventBus_})) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::wire() {
    layoutLibrary_->onUserLayoutsChanged = refreshPublisher(statusBarEventBus_);
    layoutLibrary_->onLayoutCreatedForDisplay =
        [records = std::weak_ptr<DisplayRecords>(displayRecords_),
         workbenches = std::weak_ptr<DisplayWorkbenchSet>(displayWorkbenches_)](const std::string& uuid) {
            auto recordsNow = records.lock();
            auto workbenchesNow = workbenches.lock();
            if (recordsNow && workbenchesNow && !workbenchesNow->workbenches.count(uuid))
                recordsNow->createDisplayRecord(uuid);
        };
    // The scenes name layouts by id; they follow the layouts that moved.
    layoutLibrary_->rewriteLayoutReferences = [&platform =
                                                   platform_](const LayoutLibrary::IDMapping& mapping) {
        rewriteSceneLayoutIDs(mapping, ScreenContext::capture(platform.screens()),
                              platform.runLoop().wallClock());
    };

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    unconfiguredDisplayPrompts_ = std::make_shared<UnconfiguredDisplayPrompts>(platform_, [weak] {
        auto self = weak.lock();
        return self ? self->sceneStore() : nullptr;
    });
    unconfiguredDisplayPrompts_->onApply = [weak](const WMScene& scene, const std::string& displayUUID) {
        if (auto self = weak.lock()) self->applySceneToNewDisplay(scene, displayUUID);
    };
    unconfiguredDisplayPrompts_->onSetUp = [weak](const WMScene& scene, const std::string& displayUUID) {
        if (auto self = weak.lock()) self->setUpSceneForNewDisplay(scene, displayUUID);
    };
    pushActions_->showToast = [weak](const std::string& message, const std::string& displayUUID,
                                     double duration) {
        if (auto self = weak.lock()) self->showToast(message, displayUUID, duration);
    };
    pushActions_->keyboardHeld = keyboardHeldByProgram;
    displayLayouts_->wireControllerCallbacks = [weak] {
        if (auto self = weak.lock()) self->wireControllerCallbacks();
    };
    displayLayouts_->registerHotkeys = [weak] {
        if (auto self = weak.lock()) self->registerHotkeys();
    };
    displayLayouts_->dropSwitcherSnapshot = [weak] {
        if (auto self = weak.lock(); self && self->globalSwitcherWC_)
            self->globalSwitcherWC_->dataSource.dropWarmSnapshot();
    };
    hotkeyActions_->showToast = [weak](const std::string& message, const std::string& displayUUID,
                                       double duration) {
        if (auto self = weak.lock()) self->showToast(message, displayUUID, duration);
    };
    windowMappingRebuild_->isWakeRecoveryInProgress = [recovery =
                                                           std::weak_ptr<WakeRecovery>(wakeRecovery_)] {
        auto wake = recovery.lock();
        return wake && wake->wakeRecoveryInProgress();
    };
    // The status item is made at start-up, after this; the menu is asked for as it is then.
    displayChangeHandler_->isMenuOpen = [weak] {
        auto self = weak.lock();
        return self && self->status_ && (self->status_->isMenuOpen || self->status_->isMenuWindowVisible());
    };
    displayChangeHandler_->forceCancelMenu = [weak] {
        if (auto self = weak.lock(); self && self->status_) self->status_->forceCancelMenu();
    };
}

const std::shared_ptr<SceneRestoreEngine>& AppDelegate::sceneRestoreEngine() {
    if (!sceneRestoreEngine_) {
        sceneRestoreServices_ = SceneRestoreServices::create(
            platform_, {multiState_, displayLayouts_, layoutLibrary_, mappingTransactions_});
        sceneRestoreEngine_ = sceneRestoreServices_->makeEngine(SceneStore::shared(), ax_);
        sceneRestoreEngine_->onLaunchRestoreFailed = [](const SceneRestoreResult& result) {
            SceneRestoreHUDController::shared()->show(result, std::nullopt);
        };
        // The report counts the windows of applications the restore started as they land, and those
        // that will not come, and stays until the last has.
        sceneRestoreServices_->onLaunchedWindowPlaced = [] {
            SceneRestoreHUDController::shared()->addPlacedWindow();
        };
        sceneRestoreServices_->onLaunchedAppNotStarted = [](const std::string& bundleID) {
            SceneRestoreHUDController::shared()->addUnstartedApp(bundleID);
        };
        sceneRestoreServices_->onLaunchesEnded = [] { SceneRestoreHUDController::shared()->launchesEnded(); };
    }
    return sceneRestoreEngine_;
}

std::optional<std::string> AppDelegate::transactionalPush(const platform::AXElement& window, int zoneID,
                                                          const std::string& displayUUID,
                                                          MappingIntentSource source,
                                                          const std::string& context,
                                                          MoveActivation activation, double timeToLive,
                                                          std::optional<std::int64_t> requiredEpoch) {
    return transactionalPush_->transactionalPush(window, zoneID, displayUUID, source, context, activation,
                                                 timeToLive, requiredEpoch);
}

void AppDelegate::wireControllerCallbacks() {
    auto refresh = refreshPublisher(statusBarEventBus_);
    controller_->onLayoutChange = [refresh] { refresh("WMController.onLayoutChange"); };
    controller_->onWindowFocus = [layouts = std::weak_ptr<DisplayLayouts>(displayLayouts_)](WindowID wid) {
        if (auto displayLayouts = layouts.lock()) displayLayouts->onWindowFocusSync(wid);
    };
    controller_->onCycleBounce = [weak = weak_from_this()](const std::string& displayUUID) {
        if (auto self = weak.lock()) self->showToast("No other windows in this zone", displayUUID, 0.7);
    };
}

std::optional<std::string> AppDelegate::setLaunchAtLogin(bool enabled) {
    try {
        LaunchAgent agent(platform_);
        if (enabled)
            agent.install();
        else
            agent.uninstall();
        Log::app.info("Launch-at-login toggled enabled=%{bool}d", enabled);
        return std::nullopt;
    } catch (const std::exception& e) {
        Log::app.error("Failed to toggle launch-at-login: %s", e.what());
        return std::string(enabled ? "Korvane could not add its autostart entry: "
                                   : "Korvane could not remove its autostart entry: ") +
               failureInWords(e) + ".";
    }
}

void AppDelegate::rebuildWindowRegionMappings(bool allowPrune, const std::string& reason) {
    windowMappingRebuild_->rebuildWindowRegionMappings(allowPrune, reason);
}

std::vector<std::string> AppDelegate::availableDisplayUUIDs() const {
    return displayChangeHandler_->availableDisplayUUIDs();
}

void AppDelegate::startDisplayLayoutProbeSubscription() {
    displayChangeHandler_->startDisplayLayoutProbeSubscription();
}

void AppDelegate::handleSystemWake() {
    wakeRecovery_->handleSystemWake();
}

} // namespace korvane
