// Turns the hot-key table into registrations in the hot-key center: each binding's action name picks a
// closure the application supplies, its modifier and key names become a modifier mask and a key code.
#pragma once

#include "input/HotkeyConfig.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class HotkeyCenter;

// What each action does, supplied by the application for every application of the table. An empty
// optional closure leaves its action unregistered (logged).
struct HotkeyActionHandlers {
    std::function<void(int zone)> pushRegion;  // "push.region.dynamic"
    std::function<void(int direction)> cycle;  // "cycle.forward" (+1), "cycle.backward" (-1)
    std::function<void()> globalSwitcher;      // "globalSwitcher.toggle"
    std::function<void()> sceneSave;           // "scene.save"
    std::function<void()> sceneUpdate;         // "scene.update"
    std::function<void()> sceneSwitcherToggle; // "sceneSwitcher.toggle"
    std::function<void()> pushLeft;            // "push.left"
    std::function<void()> pushRight;           // "push.right"
    std::function<void()> pushDisplayPrev;     // "push.display.prev"
    std::function<void()> pushDisplayNext;     // "push.display.next"
    std::function<void()> focusLeft;           // "focus.left"
    std::function<void()> focusRight;          // "focus.right"
};

// Main thread only. The application object makes one over the process-wide center. It keeps no state:
// the registrations live in the center.
class HotkeyManager {
  public:
    explicit HotkeyManager(std::shared_ptr<HotkeyCenter> center);

    const std::shared_ptr<HotkeyCenter>& center() const { return center_; }

    // Replaces every registration with the enabled bindings, in order: the zone-number family for
    // "push.region.dynamic" (letters up to `zoneCount`), one combination for every other known action
    // with a closure. Obsolete and retired actions are skipped; unknown actions and keys are logged and
    // skipped. A combination registered before and again stays held throughout; the others held before
    // are let go. Runs to its end before any press is handled.
    void apply(const HotkeyConfig& config, int zoneCount, const HotkeyActionHandlers& handlers);

    void registerTable(const HotkeyConfig& config, int zoneCount, const HotkeyActionHandlers& handlers);
    // Registers one binding with the closure under the action's name; a key without a code registers
    // nothing (a debug line: reading the table named it already).
    void registerBinding(const HotkeyConfig::HotkeyBinding& binding, std::function<void()> handler);

    // A binding of the last table applied that the system would not let this program hold: its action,
    // the combination refused (for "push.region.dynamic" each zone key refused, in zone order) and what
    // the system answered (platform::kEventHotKeyExistsErr: another program holds it;
    // kEventHotKeyInvalidErr: no key of the keyboard as it is mapped now types it). Nothing while the
    // keys are suspended.
    struct UnheldBinding {
        std::string action;
        std::uint16_t keyCode = 0;
        std::uint32_t modifiers = 0;
        int status = 0;
    };
    std::vector<UnheldBinding> unheldBindings() const;

    // The OR of the modifiers named (any case): ctrl/control, alt/option, shift, cmd/command. Other names
    // add nothing.
    static std::uint32_t parseModifiers(const std::vector<std::string>& names);
    // The virtual key code of a key name (any case), as KeyCodes::code() reads it. Nothing for any other
    // name, "digits" and the empty name included.
    static std::optional<std::uint16_t> keyCode(const std::string& name);

  private:
    std::shared_ptr<HotkeyCenter> center_;
};

} // namespace korvane
