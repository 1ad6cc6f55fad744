// The settings model's shortcuts: the rows of the page with their text, and the recording of a shortcut
// into the hot-key table.
#include "ui/settings/SettingsViewModel.h"

#include "input/KeyCodes.h"
#include "input/KeyNames.h"
#include "platform/Format.h"
#include "platform/HotKeys.h"
#include "platform/Logging.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <climits>
#include <set>
#include <string_view>

namespace korvane {

namespace {

// Actions that stand in older tables but have no row; "cycle.backward" has a title yet is one of them.
const std::set<std::string>& obsoleteActionNames() {
    static const std::set<std::string> names = {
        "scene.picker",         "gather.unassigned", "gather.unassigned.global",
        "layout.prev",          "layout.next",       "overlay.toggle",
        "focus.region.dynamic", "focus.region.next", "focus.region.prev",
        "display.prev",         "display.next",      "cycle.backward"};
    return names;
}

struct ActionTitle {
    std::string_view action;
    std::string_view title;
};

// The page's order; a row's position here is its sort key.
constexpr std::array kActionTitles = {
    ActionTitle{"cycle.forward", "Stack Cycle Forward"},
    ActionTitle{"cycle.backward", "Stack Cycle Backward"},
    ActionTitle{"push.region.dynamic", "Push Window to Zone (1-9)"},
    ActionTitle{"push.left", "Push Window Left"},
    ActionTitle{"push.right", "Push Window Right"},
    ActionTitle{"push.display.prev", "Move to Previous Display"},
    ActionTitle{"push.display.next", "Move to Next Display"},
    ActionTitle{"focus.left", "Focus Zone Left"},
    ActionTitle{"focus.right", "Focus Zone Right"},
    ActionTitle{"globalSwitcher.toggle", "Global Window Switcher"},
    ActionTitle{"sceneSwitcher.toggle", "Scene Card Switcher"},
    ActionTitle{"scene.save", "Add Scene"},
    ActionTitle{"scene.update", "Update Active Scene"},
};

int position(const std::string& action) {
    for (std::size_t i = 0; i < kActionTitles.size(); ++i)
        if (kActionTitles[i].action == action) return static_cast<int>(i);
    return INT_MAX;
}

std::string title(const std::string& action) {
    for (const auto& entry : kActionTitles)
        if (entry.action == action) return std::string(entry.title);
    return action;
}

// F1 to F24 and Pause: keys no program types with, which a shortcut may take alone.
bool typesNothing(const std::string& key) {
    const std::string name = asciiLowercased(key);
    if (name == "pause") return true;
    for (int n = 1; n <= 24; ++n)
        if (name == "f" + std::to_string(n)) return true;
    return false;
}

// The plain log lines of the settings.
void say(const std::string& line) {
    platform::consoleSink()->writeLine(line);
}

} // namespace

std::string SettingsViewModel::keyName(int keyCode) {
    if (keyCode < 0 || keyCode > 0xFFFF) return "";
    return KeyCodes::name(static_cast<std::uint16_t>(keyCode));
}

std::string SettingsViewModel::displayText(const HotkeyBindingViewModel& row) {
    if (!row.isDynamic && row.key.empty()) return kNotSet;
    return KeyNames::combination(row.modifiers, row.key);
}

std::optional<std::string> SettingsViewModel::shortcutRefusal(const std::string& key,
                                                              const std::vector<std::string>& modifiers) {
    const bool keepsToItself = std::any_of(modifiers.begin(), modifiers.end(), [](const std::string& name) {
        const std::string canonical = KeyNames::canonicalModifier(name);
        return canonical == "ctrl" || canonical == "alt" || canonical == "cmd";
    });
    // A key without a name could be neither stored nor held, whatever is held with it.
    if (key != kDigitsKey && !KeyCodes::code(key))
        return "Korvane has no name for this key, so it cannot keep it as a shortcut: choose another key";
    if (keepsToItself || typesNothing(key)) return std::nullopt;
    std::string combination = KeyNames::combination(modifiers, key);
    if (combination == KeyNames::key(key)) combination += " alone";
    return combination + " would reach no program but Korvane: hold Ctrl, Alt or Super with it";
}

std::vector<HotkeyBindingViewModel> SettingsViewModel::buildHotkeyRows() const {
    std::vector<const HotkeyConfig::HotkeyBinding*> shown;
    for (const auto& binding : hotkeyConfig.bindings) {
        if (obsoleteActionNames().count(binding.action)) continue;
        if (binding.action.rfind("scene.switch.", 0) == 0) continue;
        shown.push_back(&binding);
    }
    std::stable_sort(shown.begin(), shown.end(), [](const auto* a, const auto* b) {
        const int pa = position(a->action), pb = position(b->action);
        if (pa != pb) return pa < pb;
        return a->action < b->action;
    });
    std::vector<HotkeyBindingViewModel> rows;
    for (const auto* binding : shown)
        rows.push_back({binding->action, title(binding->action), binding->key, binding->modifiers,
                        binding->key == kDigitsKey});
    return rows;
}

std::optional<std::string>
SettingsViewModel::unheldReason(const HotkeyBindingViewModel& row,
                                const std::vector<HotkeyManager::UnheldBinding>& unheld) {
    std::vector<std::string> heldElsewhere, notTyped;
    for (const auto& binding : unheld) {
        if (binding.action != row.action) continue;
        std::vector<std::string> modifiers;
        if (binding.modifiers & platform::kHotKeyControl) modifiers.push_back("ctrl");
        if (binding.modifiers & platform::kHotKeyOption) modifiers.push_back("alt");
        if (binding.modifiers & platform::kHotKeyShift) modifiers.push_back("shift");
        if (binding.modifiers & platform::kHotKeyCommand) modifiers.push_back("cmd");
        const std::string combination = KeyNames::combination(modifiers, KeyCodes::name(binding.keyCode));
        auto& list = binding.status == platform::kEventHotKeyInvalidErr ? notTyped : heldElsewhere;
        if (std::find(list.begin(), list.end(), combination) == list.end()) list.push_back(combination);
    }
    auto joined = [](const std::vector<std::string>& list) {
        std::string out;
        for (const auto& item : list)
            out += (out.empty() ? "" : ", ") + item;
        return out;
    };
    // A row stands for one combination, except the zone keys', whose refused keys are named.
    if (!heldElsewhere.empty())
        return std::string(kHeldByAnotherProgram) +
               (row.isDynamic ? " (" + joined(heldElsewhere) + ")" : "") +
               ", so Korvane cannot act on it: record another combination" +
               (row.isDynamic ? " or choose other modifiers" : "");
    if (!notTyped.empty())
        return "No key of the keyboard types " + (row.isDynamic ? joined(notTyped) : std::string("it")) +
               " in the layouts in use; it acts once a layout that has the key is in use";
    return std::nullopt;
}

void SettingsViewModel::refreshUnheldShortcuts() {
    // While the program's keys are suspended nothing is held, for want of asking.
    if (hotkeySuspension_) return;
    const auto unheld = callbacks_.unheldBindingsProvider ? callbacks_.unheldBindingsProvider()
                                                          : std::vector<HotkeyManager::UnheldBinding>{};
    std::map<std::string, std::string> lines;
    for (const auto& row : hotkeyBindings)
        if (auto reason = unheldReason(row, unheld)) {
            if (auto shown = unheldShortcuts.find(row.action);
                shown == unheldShortcuts.end() || shown->second != *reason)
                say("[Settings] Not held: " + row.action + ": " + *reason);
            lines[row.action] = std::move(*reason);
        }
    assign(unheldShortcuts, std::move(lines));
}

void SettingsViewModel::startRecording(const std::string& action) {
    assign(refusedShortcut, std::optional<ShortcutRefusal>());
    setRecordingAction(action);
}

void SettingsViewModel::stopRecording() {
    setRecordingAction(std::nullopt);
}

void SettingsViewModel::setRecordingAction(std::optional<std::string> action) {
    // Suspended before the recorder shows, so that no press typed for it can reach an action; a table
    // handed over meanwhile is registered as the suspension ends.
    if (action && !hotkeySuspension_ && callbacks_.suspendHotkeysHandler)
        hotkeySuspension_ = callbacks_.suspendHotkeysHandler();
    const bool resumed = !action && hotkeySuspension_;
    if (!action) hotkeySuspension_.reset();
    assign(recordingAction, std::move(action));
    // The keys held again: the table handed over meanwhile is registered, and the system has answered.
    if (resumed) refreshUnheldShortcuts();
}

bool SettingsViewModel::handleRecordingKeyEvent(const RecordingKeyEvent& event) {
    if (!recordingAction) return false;
    const std::string action = *recordingAction;
    const std::uint64_t flags = event.modifierFlags;
    const bool bare = (flags & platform::kEventFlagModifierMask) == 0;
    if (event.keyCode == kEscapeKeyCode) {
        // Cancelled: the binding stays as it was.
    } else if (bare && (event.keyCode == kDeleteKeyCode || event.keyCode == kForwardDeleteKeyCode)) {
        // As the page's footer promises: Delete clears. Recorded, a bare Delete would become a global
        // shortcut that takes Backspace from every application.
        clearBinding(action);
    } else {
        std::vector<std::string> modifiers;
        if (flags & platform::kEventFlagControl) modifiers.push_back("ctrl");
        if (flags & platform::kEventFlagOption) modifiers.push_back("alt");
        if (flags & platform::kEventFlagShift) modifiers.push_back("shift");
        if (flags & platform::kEventFlagCommand) modifiers.push_back("cmd");
        if (event.keptByServer)
            refuse(action,
                   KeyNames::combination(modifiers, keyName(event.keyCode)) +
                       " is the X server's own key and reaches no program: choose another combination");
        else
            updateBinding(action, keyName(event.keyCode), modifiers);
    }
    stopRecording();
    return true;
}

void SettingsViewModel::updateBinding(const std::string& action, const std::string& key,
                                      const std::vector<std::string>& modifiers) {
    say("[Settings] updateBinding called: action=" + action + " key=" + key +
        " modifiers=" + platform::describeList(modifiers));
    const auto it = std::find_if(hotkeyConfig.bindings.begin(), hotkeyConfig.bindings.end(),
                                 [&](const auto& b) { return b.action == action; });
    if (it == hotkeyConfig.bindings.end()) {
        say("[Settings] ERROR: action " + action + " not found in config");
        return;
    }
    if (auto reason = shortcutRefusal(key, modifiers)) {
        refuse(action, std::move(*reason));
        return;
    }
    it->key = key;
    it->modifiers = modifiers;
    it->enabled = true;
    say("[Settings] Calling updateHotkeyConfigHandler");
    handConfigToOwner();
}

void SettingsViewModel::refuse(const std::string& action, std::string reason) {
    say("[Settings] Refused for " + action + ": " + reason);
    assign(refusedShortcut, std::optional<ShortcutRefusal>(ShortcutRefusal{action, std::move(reason)}));
}

void SettingsViewModel::clearBinding(const std::string& action) {
    const auto it = std::find_if(hotkeyConfig.bindings.begin(), hotkeyConfig.bindings.end(),
                                 [&](const auto& b) { return b.action == action; });
    if (it == hotkeyConfig.bindings.end()) return;
    it->key.clear();
    it->modifiers.clear();
    it->enabled = false;
    handConfigToOwner();
}

void SettingsViewModel::handConfigToOwner() {
    if (callbacks_.updateHotkeyConfigHandler)
        callbacks_.updateHotkeyConfigHandler(HotkeyConfig(hotkeyConfig));
    assign(refusedShortcut, std::optional<ShortcutRefusal>());
    assign(hotkeyBindings, buildHotkeyRows());
    refreshUnheldShortcuts();
}

void SettingsViewModel::resetHotkeys() {
    if (callbacks_.resetHotkeyConfigHandler) hotkeyConfig = callbacks_.resetHotkeyConfigHandler();
    assign(refusedShortcut, std::optional<ShortcutRefusal>());
    assign(hotkeyBindings, buildHotkeyRows());
    refreshUnheldShortcuts();
    say("[Settings] Hotkeys reset to defaults.");
}

} // namespace korvane
