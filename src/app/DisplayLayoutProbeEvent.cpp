// Text forms of the display-layout probe reasons.
#include "app/DisplayLayoutProbeEvent.h"

namespace korvane {

std::string_view toString(DisplayLayoutProbeReason reason) {
    switch (reason) {
    case DisplayLayoutProbeReason::topologyChanged:
        return "topology.changed";
    case DisplayLayoutProbeReason::systemWake:
        return "system.wake";
    case DisplayLayoutProbeReason::appDidBecomeActive:
        return "app.did-become-active";
    case DisplayLayoutProbeReason::dragSnap:
        return "drag-snap";
    case DisplayLayoutProbeReason::prePush:
        return "pre-push";
    case DisplayLayoutProbeReason::manual:
        return "manual";
    }
    return "manual";
}

std::optional<DisplayLayoutProbeReason> displayLayoutProbeReasonFrom(std::string_view text) {
    for (auto reason : {DisplayLayoutProbeReason::topologyChanged, DisplayLayoutProbeReason::systemWake,
                        DisplayLayoutProbeReason::appDidBecomeActive, DisplayLayoutProbeReason::dragSnap,
                        DisplayLayoutProbeReason::prePush, DisplayLayoutProbeReason::manual})
        if (toString(reason) == text) return reason;
    return std::nullopt;
}

} // namespace korvane
