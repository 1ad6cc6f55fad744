// What travels on the display-layout event bus: a probe, the request to examine the connected displays
// again, with its reason and where it came from.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

enum class DisplayLayoutProbeReason {
    topologyChanged,
    systemWake,
    appDidBecomeActive,
    dragSnap,
    prePush,
    manual
};

// "topology.changed", "system.wake", "app.did-become-active", "drag-snap", "pre-push", "manual".
std::string_view toString(DisplayLayoutProbeReason reason);
// Exact, case-sensitive; nothing for any other text.
std::optional<DisplayLayoutProbeReason> displayLayoutProbeReasonFrom(std::string_view text);

struct DisplayLayoutProbeEvent {
    DisplayLayoutProbeReason reason = DisplayLayoutProbeReason::manual;
    std::string source;                              // the type and function, or context, that raised it
    bool forceImmediate = false;                     // examine at once instead of after the debounce
    std::optional<std::string> preferredDisplayUUID; // the display the publisher is about to act on

    friend bool operator==(const DisplayLayoutProbeEvent&, const DisplayLayoutProbeEvent&) = default;
};

} // namespace korvane
