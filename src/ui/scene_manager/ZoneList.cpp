// Zone lists of layouts for the save-scene window.
#include "ui/scene_manager/ZoneList.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTreeModel.h"

#include <algorithm>

namespace korvane {

namespace {

std::vector<ZoneListEntry> zonesOfTree(const LayoutNode& root) {
    const LayoutTreeModel model(root, "", "", "");
    RegionFrames frames;
    model.computeZones(root, frames, 0, Rect{0, 0, 1, 1});
    std::vector<ZoneListEntry> out;
    out.reserve(frames.size());
    for (const auto& [id, frame] : frames) // a std::map: ascending ids already
        out.push_back({id, frame});
    return out;
}

} // namespace

std::vector<ZoneListEntry> zoneList(const ConfigZoneSet& layout) {
    if (layout.layoutTree) return zonesOfTree(*layout.layoutTree);
    if (layout.xSplits && layout.ySplits) {
        // The grid takes each split as a share of what the earlier ones left, so the lists' order
        // matters to it; a layout file may list them in any order.
        std::vector<double> columns = *layout.xSplits;
        std::vector<double> rows = *layout.ySplits;
        std::sort(columns.begin(), columns.end());
        std::sort(rows.begin(), rows.end());
        return zonesOfTree(LayoutTreeModel::gridTree(columns, rows, 1));
    }
    if (!layout.zones) return {};
    std::vector<ZoneListEntry> out;
    out.reserve(layout.zones->size());
    for (const auto& zone : *layout.zones)
        out.push_back({zone.id, zone.frame});
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
}

} // namespace korvane
