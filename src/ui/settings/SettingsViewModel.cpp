// Loading the stored options into the settings model.
#include "ui/settings/SettingsViewModel.h"

#include "platform/UserDefaults.h"

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

// The stored list when every entry is text, else nothing: a list with anything else in it is no list
// of bundle identifiers at all.
std::optional<std::vector<std::string>> storedTextList(platform::UserDefaults& defaults, const char* key) {
    const auto value = defaults.object(key);
    if (!value || !value->is_array()) return std::nullopt;
    std::vector<std::string> list;
    for (const auto& entry : *value) {
        if (!entry.is_string()) return std::nullopt;
        list.push_back(entry.get<std::string>());
    }
    return list;
}

} // namespace

std::vector<std::string> SettingsViewModel::defaultDragSnapBlacklist() {
    return {"ru.keepcoder.Telegram"};
}

SettingsViewModel::SettingsViewModel(platform::UserDefaults& defaults, Callbacks callbacks)
    : defaults_(defaults), callbacks_(std::move(callbacks)) {
    if (callbacks_.loadHotkeyConfigHandler) hotkeyConfig = callbacks_.loadHotkeyConfigHandler();
    loadSettings();
}

void SettingsViewModel::loadSettings() {
    isLaunchAtLogin = callbacks_.isLaunchAtLoginProvider ? callbacks_.isLaunchAtLoginProvider() : false;
    showUnconfiguredDisplayPrompt = storedFlag(defaults_, kShowUnconfiguredDisplayPromptKey, true);
    if (callbacks_.loadHotkeyConfigHandler) hotkeyConfig = callbacks_.loadHotkeyConfigHandler();
    dragSnapBlacklist = storedTextList(defaults_, kDragSnapBlacklistKey).value_or(defaultDragSnapBlacklist());
    sdpEnabled = storedFlag(defaults_, kSDPEnabledKey, true);
    sdpInvertScroll = storedFlag(defaults_, kSDPInvertScrollKey, false);
    parkUnmanagedWindows = storedFlag(defaults_, kParkUnmanagedWindowsKey, false);
}

} // namespace korvane
