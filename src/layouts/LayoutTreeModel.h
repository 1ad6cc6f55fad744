// One layout tree with the display and layout it belongs to: region rectangles, validation, grid trees
// from split lists, and renumbering of regions in reading order.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

struct ConfigZoneSet;

// Region id to rectangle. Ordered by id, so iteration (and the renumbering that starts from it) is
// deterministic.
using RegionFrames = std::map<std::int64_t, Rect>;
// Old region id to new region id.
using RegionIDMap = std::map<std::int64_t, std::int64_t>;

// Main thread only.
class LayoutTreeModel {
  public:
    LayoutNode root;
    std::string displayUUID; // empty when none
    std::string id;
    std::string name;

    LayoutTreeModel(LayoutNode root, std::string displayUUID, std::string id, std::string name);

    // Geometry is bottom-left with y up: a vertical split's left child is the top part.
    RegionFrames zones(const Rect& in) const;
    void computeZones(const LayoutNode& node, RegionFrames& into, int depth, const Rect& rect) const;

    // Problems of `root`, in a fixed order; empty when the tree is valid.
    std::vector<std::string> validate() const;
    void validateRatios(const LayoutNode& node, std::vector<std::string>& problems, int depth) const;

    // The stored user-layout record of this tree.
    ConfigZoneSet toConfigZoneSet(const std::string& displayUUID, const std::string& id,
                                  const std::string& name) const;

    // Renumbers the regions 1…n in reading order within `in`, replaces `root` and returns old → new
    // (every region, changed or not); empty, with `root` untouched, when there are fewer than two.
    // Reaches every region of a tree as deep as LayoutNode reads back; zones() stops far sooner.
    RegionIDMap normalizedRegionIDMap(const Rect& in);
    // `node` sits at `depth`; subtrees deeper than a stored tree can be are kept as they are, each with a
    // line on standard output.
    LayoutNode remapIDs(const LayoutNode& node, const RegionIDMap& map, int depth) const;

    // Each value is the share of what the earlier splits left, not a position in the whole. Ids run
    // row by row from the top, left to right within a row, from `startID`. Callers sort both lists.
    static LayoutNode gridTree(const std::vector<double>& columns, const std::vector<double>& rows,
                               std::int64_t startID);
};

// Reading order: column by column from the left, then from the top within a column; exactly equal
// frames by id. Not a strict weak order near the tolerance: use it only through
// sortInReadingOrder, never with std::sort.
bool regionPositionPrecedes(const std::pair<std::int64_t, Rect>& a, const std::pair<std::int64_t, Rect>& b,
                            double tolerance);

// Stable merge sort, by insertion within runs of 32, that only ever asks whether one element precedes
// another: O(n log n) calls, and a list of at most 32 comes out as the insertion sort alone leaves it.
void sortInReadingOrder(std::vector<std::pair<std::int64_t, Rect>>& pairs, double tolerance);

// "[1: 2, 2: 1]", in ascending old id.
std::string describeRegionIDMap(const RegionIDMap& map);

} // namespace korvane
