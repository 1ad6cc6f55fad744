// What travels on the status-bar event bus: the user's choices in the status-bar menu (actions), and the
// notices that something the menu shows has changed (invalidations).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane {

enum class StatusBarActionEvent { saveScene, updateActiveScene, openSceneManager, openSettings, quit };

// The case name, as log lines print it.
std::string_view toString(StatusBarActionEvent action);

enum class StatusBarInvalidationReason { legacyRefreshMenuCall, externalStateChanged };

// "legacy.refresh-menu-call", "external.state-changed".
std::string_view toString(StatusBarInvalidationReason reason);
// Exact, case-sensitive; nothing for any other text.
std::optional<StatusBarInvalidationReason> statusBarInvalidationReasonFrom(std::string_view text);

struct StatusBarInvalidationEvent {
    // Something the menu shows may have changed; `source` names the type and function that asks.
    struct RefreshRequested {
        StatusBarInvalidationReason reason = StatusBarInvalidationReason::externalStateChanged;
        std::string source;
        friend bool operator==(const RefreshRequested&, const RefreshRequested&) = default;
    };
    // Displays were added or removed (both lists may be empty).
    struct DisplayTopologyChanged {
        std::vector<std::string> addedDisplayUUIDs;
        std::vector<std::string> removedDisplayUUIDs;
        std::string source;
        friend bool operator==(const DisplayTopologyChanged&, const DisplayTopologyChanged&) = default;
    };

    std::variant<RefreshRequested, DisplayTopologyChanged> value;

    friend bool operator==(const StatusBarInvalidationEvent&, const StatusBarInvalidationEvent&) = default;

    static StatusBarInvalidationEvent refreshRequested(StatusBarInvalidationReason reason,
                                                       std::string source);
    static StatusBarInvalidationEvent displayTopologyChanged(std::vector<std::string> added,
                                                             std::vector<std::string> removed,
                                                             std::string source);

    // "refreshRequested(reason=external.state-changed,source=X)" or
    // "displayTopologyChanged(added=3,removed=0,source=X)": counts, never the display UUIDs.
    std::string description() const;
};

} // namespace korvane
