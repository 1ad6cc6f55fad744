// The model behind the "Preferences" window: mirrors of the stored options, whether the program starts
// at login, the drag-to-zone exclusion list with the names and icons of its running applications, and a
// working copy of the hot-key table with the rows of the shortcuts page and the recording of a shortcut.
// It reaches the rest of the system only through the callbacks its owner gives it.
#pragma once

#include "input/DragSnapController.h"
#include "input/HotkeyCenter.h"
#include "input/HotkeyConfig.h"
#include "input/HotkeyManager.h"
#include "platform/Time.h"
#include "platform/Workspace.h"
#include "ui/scene_editor/ModelObservers.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

class SDPController;
struct WMScene;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// The pages of the window, in their order.
enum class SettingsTab { general, hotkeys };
// "General", "Shortcuts": a page's identity.
const char* settingsTabRawValue(SettingsTab tab);

// One row of the shortcuts page.
struct HotkeyBindingViewModel {
    std::string action; // the row's identity
    std::string displayName;
    std::string key;                    // as stored; may be empty
    std::vector<std::string> modifiers; // as stored, in stored order
    bool isDynamic = false;             // the key is "digits": the binding stands for the keys 1 to 9

    friend bool operator==(const HotkeyBindingViewModel&, const HotkeyBindingViewModel&) = default;
};

// A combination the shortcuts page would not take, and why, in a line shown under the action's row.
struct ShortcutRefusal {
    std::string action;
    std::string reason;

    friend bool operator==(const ShortcutRefusal&, const ShortcutRefusal&) = default;
};

// A key press while a shortcut is recorded: the virtual key code of the ANSI layout (the codes the hot-key
// table's key names stand for) and the modifier flags (platform::kEventFlag...).
struct RecordingKeyEvent {
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    // The combination is one the X server keeps for itself (Ctrl+Alt+F1 to F12 switch to another virtual
    // terminal, Ctrl+Alt with the keypad's + and - change the video mode, with its * and / end grabs):
    // it reaches no program as itself, so it cannot be held.
    bool keptByServer = false;
};

// Main thread only. The fields are read by the pages; they change only through the operations below,
// which tell the observers after a change and never after a write that keeps a value.
class SettingsViewModel {
  public:
    // Told, at any later time, why something the owner was asked to do could not be done.
    using FailureHandler = std::function<void(const std::string& reason)>;

    struct Callbacks {
        std::function<bool()> isLaunchAtLoginProvider{};
        // Switches start at login; answers why in words where it could not, nothing once done.
        std::function<std::optional<std::string>(bool)> setLaunchAtLoginHandler{};
        std::function<HotkeyConfig()> loadHotkeyConfigHandler{};
        std::function<void(const HotkeyConfig&)> updateHotkeyConfigHandler{};
        std::function<HotkeyConfig()> resetHotkeyConfigHandler{};
        // Shows the hot-key file; the handler it is given hears why where nothing could show it.
        std::function<void(FailureHandler)> openHotkeyConfigHandler{};
        // Keeps the program's own keys from acting while the suspension lives, so that every combination
        // reaches the recording, also those the program holds; held from the start of a recording to its
        // end.
        std::function<std::unique_ptr<HotkeyCenter::Suspension>()> suspendHotkeysHandler{};
        // The bindings of the table last handed over that the system does not let the program hold now
        // (another program holds them, or no key of the keyboard types their key).
        std::function<std::vector<HotkeyManager::UnheldBinding>()> unheldBindingsProvider{};
        std::function<void(const WMScene&)> onRestoreScene{};
        std::function<void()> onSaveScene{};
        std::function<void()> onOpenSceneManager{};
        // The gesture controller the SDP switch turns on and off at once; nothing when there is none.
        std::function<std::shared_ptr<SDPController>()> sdpController{};
    };

    // A running application of the exclusion list as its row shows it: its name, and the process whose
    // picture the application icon cache gives, so that the row shows what the switcher's tiles and the
    // scene editor's chips show for it.
    struct AppInfo {
        pid_t pid = 0;
        std::string name;

        friend bool operator==(const AppInfo&, const AppInfo&) = default;
    };

    // Takes the hot-key table from the owner, then loads the settings.
    SettingsViewModel(platform::Platform& platform, Callbacks callbacks);
    ~SettingsViewModel();
    SettingsViewModel(const SettingsViewModel&) = delete;
    SettingsViewModel& operator=(const SettingsViewModel&) = delete;

    // Reads every option again: start at login from the owner, the options from the user defaults (the
    // value each key has when absent), the hot-key table from the owner and the rows from it, and drops the
    // line of a combination refused. The page shown, the recording and the application cache stay.
    void loadSettings();

    const Callbacks& callbacks() const { return callbacks_; }
    platform::Platform& platform() const { return platform_; }

    // Told after every change of a field; ends with the token.
    [[nodiscard]] std::unique_ptr<platform::ObserverToken> observeChanges(std::function<void()> changed);

    // ---- Options ----

    // Each writes its user default first, also when the value stays, then takes the value.
    void setShowUnconfiguredDisplayPrompt(bool value);
    void setParkUnmanagedWindows(bool value);
    // Also switches the gesture controller, when there is one, at once.
    void setSDPEnabled(bool value);
    void setSDPInvertScroll(bool value);
    // What a page's own binding does: takes the value and stores nothing. Another page ends a recording.
    void setSelectedTab(SettingsTab tab);
    void setIsLaunchAtLogin(bool value);
    // Asks the owner to switch start at login, then shows the outcome: the value asked for; where the
    // owner could not switch it, the state the owner reports and its reason in launchAtLoginFailure.
    void switchLaunchAtLogin(bool on);
    // Asks the owner to show the hot-key file; a reason it gives, now or later, that nothing could show
    // it lands in openConfigFailure.
    void openHotkeyConfig();

    // An empty identifier or one already listed (exact text) changes nothing and posts nothing; any other
    // is appended, the whole list written and "DragSnapBlacklistChanged" posted.
    void addToDragSnapBlacklist(const std::string& bundleID);
    // Drops every equal entry, writes the list and posts "DragSnapBlacklistChanged", also when nothing
    // matched.
    void removeFromDragSnapBlacklist(const std::string& bundleID);
    // The running application's process and name, from the cache, refreshed first once it is more than
    // 5.0 s old; nothing for an application that is not running or has no name. Every running application
    // has a picture: its windows', else its installed application's, else the desktop's generic one.
    std::optional<AppInfo> cachedAppInfo(const std::string& bundleID);
    // Fills the cache anew from the running applications of the list, in list order.
    void refreshRunningAppsCache();

    // ---- Shortcuts ----

    // The name of a virtual key code as the hot-key table stores it (KeyCodes::name()): lower-case letters
    // and digits, "left", "delete", "f5", "insert", "kp_1" and the other named keys; "" for every code
    // without a name.
    static std::string keyName(int keyCode);
    // A row's text, the combination as KeyNames writes it: "Ctrl+Alt+Left", "Q", "Ctrl+Alt+1-9", "1-9", or
    // "Not Set" for a key that is empty.
    static std::string displayText(const HotkeyBindingViewModel& row);
    static constexpr const char* kNotSet = "Not Set";

    // The table's bindings as rows: obsolete actions and "scene.switch." ones left out, in the page's order,
    // actions the page does not know last by name.
    std::vector<HotkeyBindingViewModel> buildHotkeyRows() const;
    // Starts recording the action's shortcut, moving a recording of another row to it, and takes back the
    // line of a combination refused before. The program's keys are suspended until the recording stops.
    void startRecording(const std::string& action);
    void stopRecording();
    // While recording: Escape only stops; Delete or Forward Delete without modifiers clears the binding;
    // a combination the X server keeps is refused with its reason; any other key is recorded with its
    // modifiers, unless updateBinding() refuses it. Each ends the recording and answers true (consumed).
    // While idle nothing changes and the answer is false.
    bool handleRecordingKeyEvent(const RecordingKeyEvent& event);
    // Sets the first binding of the action to the key and modifiers and enables it, hands the table to the
    // owner and rebuilds the rows; an action the table lacks is only logged. A combination that
    // shortcutRefusal() turns down changes nothing: its reason becomes `refusedShortcut`.
    void updateBinding(const std::string& action, const std::string& key,
                       const std::vector<std::string>& modifiers);
    // Empties the first binding of the action and disables it (it stays in the table), hands the table to
    // the owner and rebuilds the rows; nothing for an action the table lacks.
    void clearBinding(const std::string& action);
    // The owner's default table and its rows; a recording goes on.
    void resetHotkeys();

    // Why the combination cannot be a shortcut, in words for its row; nothing when it can. A key without
    // a name (empty, or none the hot keys know) can be neither stored nor held, with any modifiers. A
    // global shortcut takes its combination from every program, so a key that types, edits or moves the
    // caret (a letter, a digit or the digit range, punctuation, Space, Tab, Return, Backspace, the arrows,
    // Home, Insert, the keypad, ...) keeps Ctrl, Alt or Super under any of their spellings; Shift alone
    // still types. Only a key that types nothing, F1 to F24 or Pause, may stand alone.
    static std::optional<std::string> shortcutRefusal(const std::string& key,
                                                      const std::vector<std::string>& modifiers);
    // The line under a row whose combinations the program cannot hold: "Held by another program" where
    // another program holds them, and why else; nothing when every combination of the row is held. The
    // zone keys' row names the keys of its family that are not held.
    static std::optional<std::string> unheldReason(const HotkeyBindingViewModel& row,
                                                   const std::vector<HotkeyManager::UnheldBinding>& unheld);
    static constexpr const char* kHeldByAnotherProgram = "Held by another program";
    // Asks the owner again which bindings the program cannot hold and brings unheldShortcuts up to date;
    // done on every load, and once the table handed over is registered.
    void refreshUnheldShortcuts();

    // The key of the binding that stands for the digit keys 1 to 9.
    static constexpr const char* kDigitsKey = "digits";

    // The virtual key codes the recording treats apart.
    static constexpr std::uint16_t kEscapeKeyCode = 53;
    static constexpr std::uint16_t kDeleteKeyCode = 51;
    static constexpr std::uint16_t kForwardDeleteKeyCode = 117;

    // ---- Fields ----

    bool isLaunchAtLogin = false;
    // Why the last switch of start at login did not take, until the next switch or load.
    std::optional<std::string> launchAtLoginFailure;
    // Why the hot-key file could not be shown, until the next try or load.
    std::optional<std::string> openConfigFailure;
    bool showUnconfiguredDisplayPrompt = true;
    std::vector<HotkeyBindingViewModel> hotkeyBindings;
    SettingsTab selectedTab = SettingsTab::general;
    std::vector<std::string> dragSnapBlacklist; // bundle identifiers
    bool sdpEnabled = true;
    bool sdpInvertScroll = false;
    bool parkUnmanagedWindows = false;
    std::map<std::string, AppInfo> runningAppsCache;
    std::optional<Nanos> lastAppCacheUpdate; // monotonic; nothing: never refreshed
    HotkeyConfig hotkeyConfig;
    std::optional<std::string> recordingAction;
    // The last combination refused, until a recording starts, the table changes or the settings load.
    std::optional<ShortcutRefusal> refusedShortcut;
    // For each row whose combination the program cannot hold, the line that says why (unheldReason()).
    std::map<std::string, std::string> unheldShortcuts;

    static constexpr const char* kShowUnconfiguredDisplayPromptKey = "ShowUnconfiguredDisplayPrompt";
    static constexpr const char* kSDPEnabledKey = "SDPEnabled";
    static constexpr const char* kSDPInvertScrollKey = "SDPInvertScroll";
    static constexpr const char* kParkUnmanagedWindowsKey = "ParkUnmanagedWindowsOnRestore";
    static constexpr const char* kDragSnapBlacklistKey = "DragSnapBlacklist";
    static constexpr const char* kDragSnapBlacklistChanged = DragSnapController::kBlacklistChanged;
    static constexpr Nanos kAppCacheLifetime = 5 * kNanosPerSecond;
    // The exclusion list while the defaults hold no list of text under its key.
    static std::vector<std::string> defaultDragSnapBlacklist();

  private:
    // Takes the value and tells the observers, unless the field holds it already.
    template <class T> void assign(T& field, T value) {
        if (field == value) return;
        field = std::move(value);
        notifyChanged();
    }
    void notifyChanged();
    void writeFlag(const char* key, bool value);
    void handConfigToOwner();
    // The combination typed for the action's row is not taken: the reason goes under the row.
    void refuse(const std::string& action, std::string reason);
    void setRecordingAction(std::optional<std::string> action);

    platform::Platform& platform_;
    Callbacks callbacks_;
    ModelObservers<> observers_;
    std::unique_ptr<HotkeyCenter::Suspension> hotkeySuspension_;
    // Held weakly by what the owner may call back later, which does nothing once the model is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

} // namespace korvane
