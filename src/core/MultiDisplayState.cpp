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

namespace {

void drop(WMState& state, WindowID wid) {
    // Unmapped first, so that each zone lets go of every entry of it; a mapping to a zone the layout lacks
    // has no stack to leave and goes all the same.
    state.zoneOf.erase(wid);
    for (const auto& [id, zone] : state.layout.zones)
        state.detach(wid, id);
    state.wins.erase(wid);
}

} // namespace

void MultiDisplayState::keepOnlyOn(WindowID wid, const std::string& displayUUID) {
    for (auto& [uuid, state] : states)
        if (uuid != displayUUID && state) drop(*state, wid);
}

std::vector<std::pair<std::string, int>> MultiDisplayState::forget(WindowID wid) {
    std::vector<std::pair<std::string, int>> left;
    for (auto& [uuid, state] : states) {
        if (!state) continue;
        if (auto zone = state->zoneOf.find(wid); zone != state->zoneOf.end())
            left.emplace_back(uuid, zone->second);
        drop(*state, wid);
    }
    return left;
}

} // namespace korvane
