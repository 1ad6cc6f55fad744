// The zone states of all displays, keyed by display UUID, and the display that actions address by default.
#pragma once

#include "core/WinRef.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

class WMState;

class MultiDisplayState {
  public:
    // The state of the active display, or nothing; never creates one (that is the work of whoever
    // initialises or applies a layout to a display).
    std::shared_ptr<WMState> activeState() const;
    // A window is in the zones of one display at a time: placed on this one, it leaves the zone stack,
    // the mapping and the record of every other display.
    void keepOnlyOn(WindowID wid, const std::string& displayUUID);
    // A window that ended leaves the zones and the records of every display, so that a later window given
    // its number starts as a new one. The zones it was in, by display.
    std::vector<std::pair<std::string, int>> forget(WindowID wid);

    std::map<std::string, std::shared_ptr<WMState>> states;
    std::string activeDisplayUUID; // empty when no display is active
};

} // namespace korvane
