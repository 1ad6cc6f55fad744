// Lookup of the active display's zone state, and a window kept to the zones of one display.
#include "core/MultiDisplayState.h"

#include "core/WMState.h"

namespace korvane {

std::shared_ptr<WMState> MultiDisplayState::activeState() const {
    if (activeDisplayUUID.empty()) return nullptr;
    auto found = states.find(activeDisplayUUID);
    if (found == states.end()) return nullptr;
    return found->second;
}

void MultiDisplayState::keepOnlyOn(WindowID wid, const std::string& displayUUID) {
    for (auto& [uuid, state] : states) {
        if (uuid == displayUUID || !state) continue;
        // Unmapped first, so that each zone lets go of every entry of it; a mapping to a zone the layout
        // lacks has no stack to leave and goes all the same.
        state->zoneOf.erase(wid);
        for (const auto& [id, zone] : state->layout.zones)
            state->detach(wid, id);
        state->wins.erase(wid);
    }
}

} // namespace korvane
