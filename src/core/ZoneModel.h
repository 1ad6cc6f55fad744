// The zones of one display: the value records `Zone` and `Layout` that the zone state and the layouts share.
#pragma once

#include "core/WinRef.h"
#include "platform/Geometry.h"

#include <map>
#include <string>
#include <vector>

namespace korvane {

struct Zone {
    int id = 0;
    Rect frame; // bottom-left global coordinates, y up
    // Bottom first: the last element is the top of the stack.
    std::vector<WindowID> stack;
    // Index into `stack` of the current entry; 0 when the stack is empty.
    int active = 0;

    friend bool operator==(const Zone&, const Zone&) = default;
};

// How the zones were laid out when they came from a grid.
struct GridSpec {
    int rows = 0;
    int cols = 0;
    double gap = 0;
    double pad = 0;

    friend bool operator==(const GridSpec&, const GridSpec&) = default;
};

struct Layout {
    std::string screenId; // display UUID
    // Ordered by id: callers walk zones in ascending id order.
    std::map<int, Zone> zones;
    GridSpec gridSpec;

    friend bool operator==(const Layout&, const Layout&) = default;
};

} // namespace korvane
