// The hot-key table: which global key combination runs which action. The running system starts from the
// default table until the stored one ("hotkeys.json") is read at start-up.
#pragma once

#include "platform/Time.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct HotkeyConfig {
    struct HotkeyBinding {
        std::string action;                 // an action name of the hot-key manager
        std::string key;                    // a key name, "digits" for the zone-number family, or empty
        std::vector<std::string> modifiers; // "ctrl", "alt", "shift", "cmd" and their aliases
        bool enabled = true;                // a disabled binding is never registered

        friend bool operator==(const HotkeyBinding&, const HotkeyBinding&) = default;
    };

    std::int64_t version = kCurrentVersion;
    std::vector<HotkeyBinding> bindings; // in the order they are registered
    std::vector<std::string> disabled;   // carried through unchanged
    std::optional<Nanos> lastModified;   // wall clock

    friend bool operator==(const HotkeyConfig&, const HotkeyConfig&) = default;

    // The thirteen default bindings, version 3, nothing disabled, last modified `now`.
    static HotkeyConfig defaults(Nanos now);

    static constexpr std::int64_t kCurrentVersion = 3;
};

} // namespace korvane
