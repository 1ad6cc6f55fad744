// What the menus, controllers and windows reach the application through: the status-bar actions, the
// global switcher, the "Preferences" window with the callbacks of its model, the hot-key table, and
// toasts.
#include "shell/AppDelegate.h"

#include "app/DisplayRecords.h"
#include "app/LaunchAgent.h"
#include "app/StatusBarEventBus.h"
#include "core/FileUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/HotkeyActions.h"
#include "input/HotkeyCenter.h"
#include "input/HotkeyManager.h"
#include "input/HotkeyPushActions.h"
#include "platform/Logging.h"
#include "platform/Platform.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace korvane {

namespace {

// The menu closes before the window it asked for opens, so the window takes the focus from the menu.
constexpr Nanos kMenuWindowDelay = milliseconds(150);

// This program ahead of the others.
void activateOwnApplication(platform::Platform& platform) {
    platform.workspace().activate(::getpid(), platform::kActivateIgnoringOtherApps);
}

} // namespace

void AppDelegate::startStatusBarActionSubscription() {
    if (statusBarActionSubscription_) statusBarActionSubscription_->cancel();
    statusBarActionSubscription_ =
        statusBarEventBus_->subscribeActions([weak = weak_from_this()](StatusBarActionEvent action) {
            if (auto self = weak.lock()) self->handleStatusBarAction(action);
        });
}

void AppDelegate::handleStatusBarAction(StatusBarActionEvent action) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    platform::Platform& platform = platform_;
    switch (action) {
    case StatusBarActionEvent::saveScene:
        showSaveSceneSheet();
        break;
    case StatusBarActionEvent::updateActiveScene:
        updateActiveScene();
        break;
    case StatusBarActionEvent::openSceneManager:
        platform_.runLoop().postAfter(kMenuWindowDelay, [weak, &platform] {
            if (auto self = weak.lock()) self->showSceneManager(std::nullopt);
            activateOwnApplication(platform);
        });
        break;
    case StatusBarActionEvent::openSettings:
        platform_.runLoop().postAfter(kMenuWindowDelay, [weak, &platform] {
            if (auto self = weak.lock()) self->showSettingsWindow();
            activateOwnApplication(platform);
        });
        break;
    case StatusBarActionEvent::quit:
        if (terminate) terminate();
        break;
    }
}

void AppDelegate::toggleGlobalSwitcherFromHotkey() {
    const std::string target = displayRecords_->resolveActiveDisplayUUID(std::nullopt);
    auto screen = displayRecords_->connectedScreen(target);
    if (!screen) screen = platform_.screens().mainScreen();
    if (!screen) {
        const auto all = platform_.screens().screens();
        if (all.empty()) return;
        screen = all.front();
    }
    toggleGlobalSwitcher(*screen);
}

void AppDelegate::toggleGlobalSwitcher(const platform::ScreenInfo& screen) {
    if (!globalSwitcherWC_)
        globalSwitcherWC_ =
            std::make_shared<GlobalSwitcherWindowController>(platform_, screen, tracker_, controller_, ax_);
    if (globalSwitcherWC_->isWindowVisible())
        globalSwitcherWC_->hide();
    else
        globalSwitcherWC_->show(screen);
}

void AppDelegate::showSettingsWindow() {
    if (!settingsWC_) {
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        platform::Platform& platform = platform_;
        SettingsViewModel::Callbacks callbacks;
        callbacks.isLaunchAtLoginProvider = [&platform] {
            try {
                std::error_code ec;
                return std::filesystem::exists(LaunchAgent(platform).plistURL(), ec);
            } catch (const std::exception&) {
                return false;
            }
        };
        callbacks.setLaunchAtLoginHandler = [weak](bool enabled) -> std::optional<std::string> {
            if (auto self = weak.lock()) return self->setLaunchAtLogin(enabled);
            return std::nullopt;
        };
        callbacks.loadHotkeyConfigHandler = [weak, &platform] {
            if (auto self = weak.lock()) return self->currentHotkeyConfig();
            return HotkeyConfig::load(platform.runLoop().wallClock());
        };
        callbacks.updateHotkeyConfigHandler = [weak](const HotkeyConfig& config) {
            if (auto self = weak.lock()) self->saveHotkeyConfig(config);
        };
        callbacks.resetHotkeyConfigHandler = [weak, &platform] {
            if (auto self = weak.lock()) return self->resetHotkeyConfig();
            return HotkeyConfig::defaults(platform.runLoop().wallClock());
        };
        callbacks.openHotkeyConfigHandler = [weak](SettingsViewModel::FailureHandler failed) {
            if (auto self = weak.lock()) self->revealHotkeyConfig(std::move(failed));
        };
        callbacks.suspendHotkeysHandler = [weak]() -> std::unique_ptr<HotkeyCenter::Suspension> {
            if (auto self = weak.lock()) return self->hotkeyManager_->center()->suspend();
            return nullptr;
        };
        callbacks.unheldBindingsProvider = [weak] {
            if (auto self = weak.lock()) return self->hotkeyManager_->unheldBindings();
            return std::vector<HotkeyManager::UnheldBinding>{};
        };
        callbacks.onRestoreScene = [weak](const WMScene& scene) {
            if (auto self = weak.lock()) self->restoreAndReport(scene);
        };
        callbacks.onSaveScene = [weak, &platform] {
            platform.runLoop().post([weak] {
                if (auto self = weak.lock()) self->showSaveSceneSheet();
            });
        };
        callbacks.onOpenSceneManager = [weak, &platform] {
            platform.runLoop().post([weak] {
                if (auto self = weak.lock()) self->showSceneManager(std::nullopt);
            });
        };
        callbacks.sdpController = [weak]() -> std::shared_ptr<SDPController> {
            if (auto self = weak.lock()) return self->sdpController();
            return nullptr;
        };
        // The model takes the hot-key table from its callback and loads the stored options as it is made.
        auto model = std::make_shared<SettingsViewModel>(platform_, std::move(callbacks));
        settingsWC_ = std::make_shared<SettingsWindowController>(platform_, std::move(model));
    }
    platform::consoleSink()->writeLine("[AppDelegate] About to show settings window");
    settingsWC_->viewModel->loadSettings();
    activateApplication();
    settingsWC_->showWindow();
    platform::consoleSink()->writeLine(std::string("[AppDelegate] Settings window shown, isVisible: ") +
                                       (settingsWC_->isWindowVisible() ? "true" : "false"));
}

void AppDelegate::saveHotkeyConfig(const HotkeyConfig& config) {
    hotkeyConfig_ = config;
    hotkeyConfig_.save(platform_.runLoop().wallClock());
    registerHotkeys();
}

HotkeyConfig AppDelegate::resetHotkeyConfig() {
    const HotkeyConfig defaults = HotkeyConfig::defaults(platform_.runLoop().wallClock());
    defaults.save(platform_.runLoop().wallClock());
    hotkeyConfig_ = defaults;
    registerHotkeys();
    return defaults;
}

void AppDelegate::revealHotkeyConfig(std::function<void(const std::string& reason)> failed) {
    std::filesystem::path file;
    try {
        file = HotkeyConfig::fileURL();
    } catch (const std::exception& e) {
        Log::hotkey.error("Failed to open hotkey config: %s", e.what());
        if (failed)
            failed(std::string("Could not open ") + HotkeyConfig::kFileName + ": " + failureInWords(e) + ".");
        return;
    }
    platform_.workspace().revealFile(file.string(), [failed](const std::string& reason) {
        if (failed) failed(std::string("Could not open ") + HotkeyConfig::kFileName + ": " + reason + ".");
    });
}

void AppDelegate::registerHotkeys() {
    int zoneCount = 1;
    for (const auto& [uuid, state] : multiState_->states)
        if (state) zoneCount = std::max(zoneCount, static_cast<int>(state->layout.zones.size()));

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    std::weak_ptr<HotkeyActions> actions = hotkeyActions_;
    platform::RunLoop& loop = platform_.runLoop();
    // A window or sheet opened from inside the key's delivery would open before the key is answered:
    // the switchers and the scene actions start on a later turn of the main queue.
    auto later = [weak, &loop](void (AppDelegate::*action)()) {
        return [weak, &loop, action] {
            loop.post([weak, action] {
                if (auto self = weak.lock()) (self.get()->*action)();
            });
        };
    };
    std::weak_ptr<HotkeyPushActions> pushes = pushActions_;
    auto push = [pushes](void (HotkeyPushActions::*action)()) {
        return [pushes, action] {
            if (auto p = pushes.lock()) (p.get()->*action)();
        };
    };
    auto pushToDisplay = [pushes](int direction) {
        return [pushes, direction] {
            if (auto p = pushes.lock()) p->handlePushDisplayHotkey(direction);
        };
    };

    HotkeyActionHandlers handlers;
    handlers.pushRegion = [pushes](int zone) {
        if (auto p = pushes.lock()) p->handlePushRegionHotkey(zone);
    };
    handlers.cycle = [actions](int direction) {
        if (auto a = actions.lock()) a->handleCycleInZoneHotkey(direction);
    };
    handlers.globalSwitcher = later(&AppDelegate::toggleGlobalSwitcherFromHotkey);
    handlers.sceneSave = [save = later(&AppDelegate::showSaveSceneSheet)] {
        Log::app.info("Scene save hotkey triggered");
        save();
    };
    handlers.sceneUpdate = [update = later(&AppDelegate::updateActiveScene)] {
        Log::app.info("Scene update hotkey triggered");
        update();
    };
    handlers.sceneSwitcherToggle = later(&AppDelegate::toggleSceneCardSwitcher);
    handlers.pushLeft = push(&HotkeyPushActions::handlePushLeftHotkey);
    handlers.pushRight = push(&HotkeyPushActions::handlePushRightHotkey);
    handlers.pushDisplayPrev = pushToDisplay(-1);
    handlers.pushDisplayNext = pushToDisplay(+1);
    handlers.focusLeft = [actions] {
        if (auto a = actions.lock()) a->handleFocusAdjacentRegionHotkey(-1);
    };
    handlers.focusRight = [actions] {
        if (auto a = actions.lock()) a->handleFocusAdjacentRegionHotkey(+1);
    };
    hotkeyManager_->apply(HotkeyConfig(hotkeyConfig_), zoneCount, handlers);
}

std::optional<platform::ScreenInfo> AppDelegate::toastScreen(const std::string& displayUUID) {
    std::optional<platform::ScreenInfo> screen;
    if (!displayUUID.empty()) screen = displayRecords_->connectedScreen(displayUUID);
    if (!screen) screen = platform_.screens().mainScreen();
    return screen;
}

void AppDelegate::showToast(const std::string& message, const std::string& displayUUID, double duration) {
    if (auto screen = toastScreen(displayUUID))
        ToastHUDController::shared()->show(message, *screen, duration);
}

void AppDelegate::activateApplication() {
    activateOwnApplication(platform_);
}

} // namespace korvane
