// The action table and the key and modifier name tables of the hot-key manager.
#include "input/HotkeyManager.h"

#include "core/Log.h"
#include "input/HotkeyCenter.h"
#include "platform/Format.h"
#include "platform/HotKeys.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace korvane {

namespace {

struct NamedKey {
    std::string_view name;
    std::uint16_t code;
};

// Virtual key codes of the ANSI layout.
constexpr std::array kNamedKeys = {
    NamedKey{"tab", 48},
    NamedKey{"[", 33},
    NamedKey{"left_bracket", 33},
    NamedKey{"bracket_left", 33},
    NamedKey{"]", 30},
    NamedKey{"right_bracket", 30},
    NamedKey{"bracket_right", 30},
    NamedKey{",", 43},
    NamedKey{"comma", 43},
    NamedKey{".", 47},
    NamedKey{"period", 47},
    NamedKey{";", 41},
    NamedKey{"semicolon", 41},
    NamedKey{"/", 44},
    NamedKey{"slash", 44},
    NamedKey{"\\", 42},
    NamedKey{"backslash", 42},
    NamedKey{"-", 27},
    NamedKey{"minus", 27},
    NamedKey{"=", 24},
    NamedKey{"equal", 24},
    NamedKey{"'", 39},
    NamedKey{"quote", 39},
    NamedKey{"`", 50},
    NamedKey{"grave", 50},
    NamedKey{"space", 49},
    NamedKey{"return", 36},
    NamedKey{"enter", 36},
    NamedKey{"delete", 51},
    NamedKey{"backspace", 51},
    NamedKey{"escape", 53},
    NamedKey{"esc", 53},
    NamedKey{"left", 123},
    NamedKey{"right", 124},
    NamedKey{"down", 125},
    NamedKey{"up", 126},
};
constexpr std::uint16_t kFunctionKeys[12] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};
// "1" to "9", then "0".
constexpr std::uint16_t kDigitKeys[10] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};

// Actions that are retired but may still stand in older tables: skipped without a word.
constexpr std::array<std::string_view, 11> kRetiredActions = {
    "scene.picker", "gather.unassigned", "gather.unassigned.global", "layout.prev",
    "layout.next",  "overlay.toggle",    "focus.region.dynamic",     "display.prev",
    "display.next", "focus.region.next", "focus.region.prev"};

} // namespace

HotkeyManager::HotkeyManager(std::shared_ptr<HotkeyCenter> center) : center_(std::move(center)) {}

std::uint32_t HotkeyManager::parseModifiers(const std::vector<std::string>& names) {
    std::uint32_t mask = 0;
    for (const auto& raw : names) {
        const std::string name = asciiLowercased(raw);
        if (name == "ctrl" || name == "control")
            mask |= platform::kHotKeyControl;
        else if (name == "alt" || name == "option")
            mask |= platform::kHotKeyOption;
        else if (name == "shift")
            mask |= platform::kHotKeyShift;
        else if (name == "cmd" || name == "command")
            mask |= platform::kHotKeyCommand;
    }
    return mask;
}

std::optional<std::uint16_t> HotkeyManager::keyCode(const std::string& raw) {
    const std::string name = asciiLowercased(raw);
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z')
        return static_cast<std::uint16_t>(HotkeyCenter::kLetterKeyCodes[name[0] - 'a']);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return kDigitKeys[name[0] - '0'];
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f' &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        name[1] != '0') {
        const int n = std::stoi(name.substr(1));
        if (n >= 1 && n <= 12) return kFunctionKeys[n - 1];
        return std::nullopt;
    }
    for (const auto& key : kNamedKeys)
        if (key.name == name) return key.code;
    return std::nullopt;
}

void HotkeyManager::registerBinding(const HotkeyConfig::HotkeyBinding& binding,
                                    std::function<void()> handler) {
    const std::uint32_t mask = parseModifiers(binding.modifiers);
    const auto code = keyCode(binding.key);
    if (!code) {
        Log::hotkey.error("HotkeyManager: keyCode missing for key=%s action=%s", binding.key, binding.action);
        return;
    }
    Log::hotkey.info("HotkeyManager: registering %s key=%s keyCode=%u mods=%s", binding.action, binding.key,
                     *code, platform::describeList(binding.modifiers));
    center_->registerHotkey(*code, mask, std::move(handler), binding.action);
}

void HotkeyManager::apply(const HotkeyConfig& config, int zoneCount, const HotkeyActionHandlers& handlers) {
    const auto enabled = std::count_if(config.bindings.begin(), config.bindings.end(),
                                       [](const auto& b) { return b.enabled; });
    Log::hotkey.info("HotkeyManager.apply: %ld bindings, enabled: %ld", config.bindings.size(), enabled);
    center_->unregisterAll();

    // Optional closures: registered when supplied, else the row's line.
    auto optional = [this](const HotkeyConfig::HotkeyBinding& binding, const std::function<void()>& handler,
                           const char* missing, bool asError) {
        if (handler)
            registerBinding(binding, handler);
        else if (asError)
            Log::hotkey.error(missing);
        else
            Log::hotkey.debug(missing);
    };

    for (const auto& binding : config.bindings) {
        if (!binding.enabled) continue;
        Log::hotkey.debug("HotkeyManager.apply: processing %s", binding.action);
        const std::string& action = binding.action;
        if (action == "push.region.dynamic") {
            center_->registerPushRegionHotkeys(zoneCount, handlers.pushRegion,
                                               parseModifiers(binding.modifiers), "push-region");
        } else if (action == "cycle.forward") {
            registerBinding(binding, [cycle = handlers.cycle] {
                if (cycle) cycle(+1);
            });
        } else if (action == "cycle.backward") {
            registerBinding(binding, [cycle = handlers.cycle] {
                if (cycle) cycle(-1);
            });
        } else if (action == "globalSwitcher.toggle") {
            optional(binding, handlers.globalSwitcher,
                     "HotkeyManager: global switcher handler missing, skip registration", true);
        } else if (action == "push.left") {
            optional(binding, handlers.pushLeft, "HotkeyManager: push.left handler missing, skip", false);
        } else if (action == "push.right") {
            optional(binding, handlers.pushRight, "HotkeyManager: push.right handler missing, skip", false);
        } else if (action == "push.display.prev") {
            optional(binding, handlers.pushDisplayPrev,
                     "HotkeyManager: push.display.prev handler missing, skip", false);
        } else if (action == "push.display.next") {
            optional(binding, handlers.pushDisplayNext,
                     "HotkeyManager: push.display.next handler missing, skip", false);
        } else if (action == "focus.left") {
            optional(binding, handlers.focusLeft, "HotkeyManager: focus.left handler missing, skip", false);
        } else if (action == "focus.right") {
            optional(binding, handlers.focusRight, "HotkeyManager: focus.right handler missing, skip", false);
        } else if (action.starts_with("scene.switch.")) {
            Log::hotkey.debug("HotkeyManager: scene.switch.* is obsolete (removed in v2), skip %s", action);
        } else if (action == "sceneSwitcher.toggle") {
            optional(binding, handlers.sceneSwitcherToggle,
                     "HotkeyManager: scene switcher toggle handler missing, skip", false);
        } else if (action == "scene.save") {
            optional(binding, handlers.sceneSave, "HotkeyManager: scene save handler missing, skip", false);
        } else if (action == "scene.update") {
            optional(binding, handlers.sceneUpdate, "HotkeyManager: scene update handler missing, skip",
                     false);
        } else if (std::find(kRetiredActions.begin(), kRetiredActions.end(), action) !=
                   kRetiredActions.end()) {
            continue;
        } else {
            Log::hotkey.error("HotkeyManager: unknown action %s", action);
        }
    }
}

} // namespace korvane
