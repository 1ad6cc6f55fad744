// The application's events after start-up: becoming active, the display observer's notification with
// the panels of displays gone, and shut-down.
#include "shell/AppDelegate.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayUtil.h"
#include "app/LayoutMemory.h"
#include "app/StatusBarEventBus.h"
#include "app/ZoneMemberships.h"
#include "input/MouseEventTap.h"
#include "layouts/LayoutDirectoryWatcher.h"
#include "platform/NotificationCenter.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SceneCardSwitcherController.h"

namespace korvane {

namespace {

constexpr const char* kNotificationSource = "DisplayObserver.notification";

// The display UUIDs under `key` when that is a list of text; any other shape reads as no display, so a
// malformed notice still refreshes the menu and probes the displays.
std::vector<std::string> displayList(const nlohmann::json& userInfo, const char* key) {
    if (!userInfo.is_object()) return {};
    const auto it = userInfo.find(key);
    if (it == userInfo.end() || !it->is_array()) return {};
    std::vector<std::string> uuids;
    for (const auto& entry : *it) {
        if (!entry.is_string()) return {};
        uuids.push_back(entry.get<std::string>());
    }
    return uuids;
}

} // namespace

void AppDelegate::applicationDidBecomeActive() {
    displayLayoutEventBus_->publish({DisplayLayoutProbeReason::appDidBecomeActive,
                                     "QGuiApplication.applicationStateChanged", false, std::nullopt});
}

void AppDelegate::handleDisplayObserverNotification(const nlohmann::json& userInfo) {
    auto added = displayList(userInfo, "addedDisplayUUIDs");
    auto removed = displayList(userInfo, "removedDisplayUUIDs");
    // Both buses deliver at once on the main thread: the menu and the display pass have heard of the
    // change before the scenes do.
    statusBarEventBus_->publish(StatusBarInvalidationEvent::displayTopologyChanged(
        std::move(added), std::move(removed), kNotificationSource));
    displayLayoutEventBus_->publish(
        {DisplayLayoutProbeReason::topologyChanged, kNotificationSource, false, std::nullopt});
    closePanelsOfDisplaysGone();
    handleDisplaysChangedForScenes(userInfo.is_null() ? std::nullopt
                                                      : std::optional<nlohmann::json>(userInfo));
}

void AppDelegate::closePanelsOfDisplaysGone() {
    // With no screen at all there is nowhere a panel could be moved to: the next change is awaited.
    const auto connected = DisplayUtil::availableDisplayUUIDs(platform_.screens());
    if (connected.empty()) return;
    if (sceneEditorOverlayController_) sceneEditorOverlayController_->closePanelsOfDisplaysGone(connected);
    if (sceneCardSwitcherController_) sceneCardSwitcherController_->closeIfDisplayGone(connected);
    if (globalSwitcherWC_) globalSwitcherWC_->closeIfDisplayGone(connected);
}

void AppDelegate::applicationWillTerminate() {
    if (displayObserverToken_) {
        displayObserverToken_->cancel();
        displayObserverToken_.reset();
    }
    if (wakeObserverToken_) {
        wakeObserverToken_->cancel();
        wakeObserverToken_.reset();
    }
    if (statusBarActionSubscription_) {
        statusBarActionSubscription_->cancel();
        statusBarActionSubscription_.reset();
    }
    displayChangeHandler_->stopDisplayLayoutProbeSubscription();
    MouseEventTap::shared()->stop();
    layoutDirectoryWatcher_->stopLayoutDirectoryWatcher();
    // The other stores were written as they changed; the layout memory as a display last took other
    // zones, and what the zones have held since not even in memory.
    zoneMemberships_->recordAllMemberships();
    layoutMemory_->persistLayoutMemory();
}

} // namespace korvane
