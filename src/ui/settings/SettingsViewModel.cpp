// The settings model's options, its exclusion list with the running applications' names and processes,
// and the telling of its observers.
#include "ui/settings/SettingsViewModel.h"

#include "input/DragSnapController.h"
#include "input/SDPController.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

// A stored value read as a flag: a boolean as it is, a number as whether it is not zero, anything else
// as false; `absent` when nothing is stored under the key.
bool storedFlag(platform::UserDefaults& defaults, const char* key, bool absent) {
    const auto value = defaults.object(key);
    if (!value || value->is_null()) return absent;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0;
    return false;
}

} // namespace

const char* settingsTabRawValue(SettingsTab tab) {
    return tab == SettingsTab::general ? "General" : "Shortcuts";
}

std::vector<std::string> SettingsViewModel::defaultDragSnapBlacklist() {
    return DragSnapController::defaultBlacklist();
}

SettingsViewModel::SettingsViewModel(platform::Platform& platform, Callbacks callbacks)
    : platform_(platform), callbacks_(std::move(callbacks)) {
    if (callbacks_.loadHotkeyConfigHandler) hotkeyConfig = callbacks_.loadHotkeyConfigHandler();
    loadSettings();
}

SettingsViewModel::~SettingsViewModel() = default;

std::unique_ptr<platform::ObserverToken> SettingsViewModel::observeChanges(std::function<void()> changed) {
    return observers_.subscribe(std::move(changed));
}

void SettingsViewModel::notifyChanged() {
    observers_.notify();
}

void SettingsViewModel::loadSettings() {
    auto& defaults = platform_.userDefaults();
    assign(isLaunchAtLogin,
           callbacks_.isLaunchAtLoginProvider ? callbacks_.isLaunchAtLoginProvider() : false);
    assign(launchAtLoginFailure, std::optional<std::string>());
    assign(openConfigFailure, std::optional<std::string>());
    assign(showUnconfiguredDisplayPrompt, storedFlag(defaults, kShowUnconfiguredDisplayPromptKey, true));
    if (callbacks_.loadHotkeyConfigHandler) assign(hotkeyConfig, callbacks_.loadHotkeyConfigHandler());
    assign(hotkeyBindings, buildHotkeyRows());
    assign(refusedShortcut, std::optional<ShortcutRefusal>());
    refreshUnheldShortcuts();
    assign(dragSnapBlacklist, DragSnapController::storedBlacklist(defaults));
    assign(sdpEnabled, storedFlag(defaults, kSDPEnabledKey, true));
    assign(sdpInvertScroll, storedFlag(defaults, kSDPInvertScrollKey, false));
    assign(parkUnmanagedWindows, storedFlag(defaults, kParkUnmanagedWindowsKey, false));
}

void SettingsViewModel::writeFlag(const char* key, bool value) {
    platform_.userDefaults().set(key, value);
}

void SettingsViewModel::setShowUnconfiguredDisplayPrompt(bool value) {
    writeFlag(kShowUnconfiguredDisplayPromptKey, value);
    assign(showUnconfiguredDisplayPrompt, value);
}

void SettingsViewModel::setParkUnmanagedWindows(bool value) {
    writeFlag(kParkUnmanagedWindowsKey, value);
    assign(parkUnmanagedWindows, value);
}

void SettingsViewModel::setSDPEnabled(bool value) {
    writeFlag(kSDPEnabledKey, value);
    assign(sdpEnabled, value);
    if (!callbacks_.sdpController) return;
    if (auto controller = callbacks_.sdpController()) controller->isEnabled = value;
}

void SettingsViewModel::setSDPInvertScroll(bool value) {
    writeFlag(kSDPInvertScrollKey, value);
    assign(sdpInvertScroll, value);
}

void SettingsViewModel::setSelectedTab(SettingsTab tab) {
    // The recorder is on the Shortcuts page: another page leaves it out of sight, and a key typed there
    // is not meant for it.
    if (tab != selectedTab) stopRecording();
    assign(selectedTab, tab);
}

void SettingsViewModel::setIsLaunchAtLogin(bool value) {
    assign(isLaunchAtLogin, value);
}

void SettingsViewModel::switchLaunchAtLogin(bool on) {
    const auto failure =
        callbacks_.setLaunchAtLoginHandler ? callbacks_.setLaunchAtLoginHandler(on) : std::nullopt;
    // A box ticked over an entry that was never written would promise a start that will not come.
    const bool now = !failure                             ? on
                     : callbacks_.isLaunchAtLoginProvider ? callbacks_.isLaunchAtLoginProvider()
                                                          : !on;
    assign(launchAtLoginFailure, failure);
    assign(isLaunchAtLogin, now);
}

void SettingsViewModel::openHotkeyConfig() {
    assign(openConfigFailure, std::optional<std::string>());
    if (!callbacks_.openHotkeyConfigHandler) return;
    callbacks_.openHotkeyConfigHandler(
        [this, alive = std::weak_ptr<int>(lifetime_)](const std::string& reason) {
            if (alive.lock()) assign(openConfigFailure, std::optional<std::string>(reason));
        });
}

void SettingsViewModel::addToDragSnapBlacklist(const std::string& bundleID) {
    if (bundleID.empty()) return;
    if (std::find(dragSnapBlacklist.begin(), dragSnapBlacklist.end(), bundleID) != dragSnapBlacklist.end())
        return;
    auto list = dragSnapBlacklist;
    list.push_back(bundleID);
    platform_.userDefaults().set(kDragSnapBlacklistKey, list);
    assign(dragSnapBlacklist, std::move(list));
    platform_.notificationCenter().post(kDragSnapBlacklistChanged);
}

void SettingsViewModel::removeFromDragSnapBlacklist(const std::string& bundleID) {
    auto list = dragSnapBlacklist;
    list.erase(std::remove(list.begin(), list.end(), bundleID), list.end());
    platform_.userDefaults().set(kDragSnapBlacklistKey, list);
    assign(dragSnapBlacklist, std::move(list));
    platform_.notificationCenter().post(kDragSnapBlacklistChanged);
}

std::optional<SettingsViewModel::AppInfo> SettingsViewModel::cachedAppInfo(const std::string& bundleID) {
    const Nanos now = platform_.runLoop().now();
    if (!lastAppCacheUpdate || now - *lastAppCacheUpdate > kAppCacheLifetime) refreshRunningAppsCache();
    const auto it = runningAppsCache.find(bundleID);
    if (it == runningAppsCache.end()) return std::nullopt;
    return it->second;
}

void SettingsViewModel::refreshRunningAppsCache() {
    const auto running = platform_.workspace().runningApplications();
    std::map<std::string, AppInfo> cache;
    for (const auto& bundleID : dragSnapBlacklist) {
        const auto app = std::find_if(running.begin(), running.end(), [&](const auto& a) {
            return !a.isTerminated && a.bundleID == bundleID;
        });
        if (app == running.end() || !app->name || app->name->empty()) continue;
        cache[bundleID] = AppInfo{app->pid, *app->name};
    }
    // A change of a name redraws the rows.
    assign(runningAppsCache, std::move(cache));
    assign(lastAppCacheUpdate, std::optional<Nanos>(platform_.runLoop().now()));
}

} // namespace korvane
