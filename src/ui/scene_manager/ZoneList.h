// The zones of a layout as the save-scene window draws them and assigns windows to them: one rectangle per
// region in the unit square, whatever form the layout was stored in.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <vector>

namespace korvane {

struct ConfigZoneSet;

struct ZoneListEntry {
    std::int64_t id = 0;
    Rect frame; // fractions of the display's visible frame, bottom-left with y up

    friend bool operator==(const ZoneListEntry&, const ZoneListEntry&) = default;
};

// By region id ascending. The layout's tree when it has one; else, when it has both split lists, the grid
// they make (each list sorted first, regions numbered from 1); else its explicit zones with their stored
// frames taken as they stand; else nothing. Equal ids among explicit zones keep their stored order.
std::vector<ZoneListEntry> zoneList(const ConfigZoneSet& layout);

} // namespace korvane
