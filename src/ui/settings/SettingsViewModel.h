// The model behind the "Preferences" window: mirrors of the stored options, whether the program starts
// at login, and a working copy of the hot-key table. It reaches the rest of the system only through the
// callbacks its owner gives it.
#pragma once

#include "input/HotkeyConfig.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct WMScene;

namespace platform {
class UserDefaults;
}

// The pages of the window, in their order.
enum class SettingsTab { general, hotkeys };

// Main thread only.
class SettingsViewModel {
  public:
    struct Callbacks {
        std::function<bool()> isLaunchAtLoginProvider{};
        std::function<void(bool)> setLaunchAtLoginHandler{};
        std::function<HotkeyConfig()> loadHotkeyConfigHandler{};
        std::function<void(const HotkeyConfig&)> updateHotkeyConfigHandler{};
        std::function<HotkeyConfig()> resetHotkeyConfigHandler{};
        std::function<void()> openHotkeyConfigHandler{};
        std::function<void(const WMScene&)> onRestoreScene{};
        std::function<void()> onSaveScene{};
        std::function<void()> onOpenSceneManager{};
    };

    // Takes the hot-key table from the owner, then loads the settings.
    SettingsViewModel(platform::UserDefaults& defaults, Callbacks callbacks);

    // Reads every option again: start at login from the owner, the options from the user defaults (the
    // value each key has when absent), the hot-key table from the owner. The page shown stays.
    void loadSettings();

    const Callbacks& callbacks() const { return callbacks_; }

    bool isLaunchAtLogin = false;
    bool showUnconfiguredDisplayPrompt = true;
    SettingsTab selectedTab = SettingsTab::general;
    std::vector<std::string> dragSnapBlacklist; // bundle identifiers
    bool sdpEnabled = true;
    bool sdpInvertScroll = false;
    bool parkUnmanagedWindows = false;
    HotkeyConfig hotkeyConfig;

    static constexpr const char* kShowUnconfiguredDisplayPromptKey = "ShowUnconfiguredDisplayPrompt";
    static constexpr const char* kSDPEnabledKey = "SDPEnabled";
    static constexpr const char* kSDPInvertScrollKey = "SDPInvertScroll";
    static constexpr const char* kParkUnmanagedWindowsKey = "ParkUnmanagedWindowsOnRestore";
    static constexpr const char* kDragSnapBlacklistKey = "DragSnapBlacklist";
    // The exclusion list while the defaults hold no list of text under its key.
    static std::vector<std::string> defaultDragSnapBlacklist();

  private:
    platform::UserDefaults& defaults_;
    Callbacks callbacks_;
};

} // namespace korvane
