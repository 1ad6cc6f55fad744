// The action table of the hot-key manager and the modifier names it reads; key names are KeyCodes'.
#include "input/HotkeyManager.h"

#include "core/Log.h"
#include "input/HotkeyCenter.h"
#include "input/KeyCodes.h"
#include "platform/Format.h"
#include "platform/HotKeys.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace korvane {

namespace {

// Actions that are retired but may still stand in older tables: skipped without a word.
constexpr std::array<std::string_view, 11> kRetiredActions = {
    "scene.picker", "gather.unassigned", "gather.unassigned.global", "layout.prev",
    "layout.next",  "overlay.toggle",    "focus.region.dynamic",     "display.prev",
    "display.next", "focus.region.next", "focus.region.prev"};

// The names of the zone-number keys begin so.
constexpr const char* kPushRegionPrefix = "push-region";

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

std::optional<std::uint16_t> HotkeyManager::keyCode(const std::string& name) {
    return KeyCodes::code(name);
}

std::vector<HotkeyManager::UnheldBinding> HotkeyManager::unheldBindings() const {
    std::vector<UnheldBinding> out;
    for (const auto& refusal : center_->refusals()) {
        // The zone keys go by the family's prefix, every other registration by its action.
        const std::string action = refusal.name.starts_with(kPushRegionPrefix + std::string("-"))
                                       ? std::string("push.region.dynamic")
                                       : refusal.name;
        out.push_back(
            {action, static_cast<std::uint16_t>(refusal.keyCode), refusal.modifiers, refusal.status});
    }
    return out;
}

void HotkeyManager::registerBinding(const HotkeyConfig::HotkeyBinding& binding,
                                    std::function<void()> handler) {
    const std::uint32_t mask = parseModifiers(binding.modifiers);
    const auto code = keyCode(binding.key);
    if (!code) {
        // Named once as the table was read; the table is applied again at every change of the layouts.
        Log::hotkey.debug("HotkeyManager: keyCode missing for key=%s action=%s", binding.key, binding.action);
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
    // Applied again whenever the layouts change: the keys kept stay held throughout.
    center_->replaceAll([&] { registerTable(config, zoneCount, handlers); });
}

void HotkeyManager::registerTable(const HotkeyConfig& config, int zoneCount,
                                  const HotkeyActionHandlers& handlers) {
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
                                               parseModifiers(binding.modifiers), kPushRegionPrefix);
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
