// Lookup of the active display's zone state.
#include "core/MultiDisplayState.h"

#include "core/WMState.h"

namespace korvane {

std::shared_ptr<WMState> MultiDisplayState::activeState() const {
    if (activeDisplayUUID.empty()) return nullptr;
    auto found = states.find(activeDisplayUUID);
    if (found == states.end()) return nullptr;
    return found->second;
}

} // namespace korvane
