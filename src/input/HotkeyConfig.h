// The hot-key table: which global key combination runs which action. The running system starts from the
// default table until the stored one ("hotkeys.json") is read at start-up.
#pragma once

#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
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

    // "hotkeys.json" in the application-support folder; throws when the folder cannot be had.
    static std::filesystem::path fileURL();
    // The stored table, `now` being the wall clock:
    // - no folder: the defaults, nothing written;
    // - no file: the defaults, written;
    // - a file that cannot be read or decoded: the defaults, logged with the file and why, the file left
    //   as it is (a later save keeps its bytes aside before writing over it);
    // - a version below 3: the defaults, written over it once its bytes are kept beside it as
    //   "hotkeys.json.unreadable-<UTC stamp>" (the copy logged); left as it is when no copy can be made;
    // - otherwise the stored table, with every default binding whose action it lacks appended in
    //   default order, stamped `now` and written; as read when nothing was missing. An enabled binding of
    //   an action the defaults have (but the zone-number keys) whose key is empty or names no key is
    //   logged here and kept as stored; it is never held.
    static HotkeyConfig load(Nanos now);
    // Writes a copy stamped `now` compact and atomically; this value keeps its own stamp. A failure is
    // logged, not reported.
    void save(Nanos now) const;

    // Every key but "lastModified" is required, in the table and in each binding; unknown keys are
    // ignored. "lastModified" is seconds since 2001-01-01 00:00:00 UTC. Throws on anything else.
    static HotkeyConfig fromJSON(const nlohmann::json& json);
    nlohmann::ordered_json toJSON() const;

    static constexpr const char* kFileName = "hotkeys.json";
    static constexpr std::int64_t kCurrentVersion = 3;
};

} // namespace korvane
