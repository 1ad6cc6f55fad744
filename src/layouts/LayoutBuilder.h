// Turns a layout into the zones of one display: the start-up grid, layout trees, and stored user
// layouts in any of their three forms. Stateless; every zone it makes has an empty stack.
#pragma once

#include "core/ZoneModel.h"
#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <map>
#include <vector>

namespace korvane {

struct ConfigZone;
struct ConfigZoneSet;

namespace LayoutBuilder {

using Zones = std::map<int, Zone>;

// A rows × columns grid in the visible frame shrunk by `inset`, ids column by column from the top
// left. Inner edges lie on device pixels of the screen's backing scale. Counts below 1 count as 1.
Zones grid(const platform::ScreenInfo& screen, int rows, int columns, double gap, double inset);

// The zones of a user layout in the screen's visible frame; a tree (or split lists) is renumbered
// 1…n in reading order first, and the renumbering is reported on standard output.
Zones normalizedRegionIDs(const ConfigZoneSet& set, const platform::ScreenInfo& screen);

// One zone per region of the tree in `in`.
Zones zones(const LayoutNode& tree, const Rect& in);

// One zone per entry, its frame a fraction of `in` measured from the bottom-left corner; a later
// entry with the same id replaces the earlier one.
Zones zones(const std::vector<ConfigZone>& configZones, const Rect& in);

} // namespace LayoutBuilder

} // namespace korvane
