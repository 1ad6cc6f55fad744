// Zones of one display from a grid, a layout tree or a stored user layout.
#include "layouts/LayoutBuilder.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/Logger.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace korvane::LayoutBuilder {

namespace {

// Zone ids are plain ints in the zone model; a stored id beyond that range cannot name a zone, and
// narrowing it could make it collide with another zone's id.
std::optional<int> zoneID(std::int64_t regionID) {
    if (regionID < std::numeric_limits<int>::min() || regionID > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(regionID);
}

Zone makeZone(int id, const Rect& frame) {
    Zone zone;
    zone.id = id;
    zone.frame = frame;
    return zone;
}

// To the nearest device pixel, halves away from zero.
double toPixel(double value, double scale) {
    return std::round(scale * value) / scale;
}

Zones zonesOfTreeRenumbered(const ConfigZoneSet& set, LayoutNode tree, const Rect& rect,
                            const char* linePrefix) {
    LayoutTreeModel model(std::move(tree), set.displayUUID.value_or(""), set.id, set.name);
    RegionIDMap map = model.normalizedRegionIDMap(rect);
    if (!map.empty()) platform::printLine(linePrefix + describeRegionIDMap(map));
    return zones(model.root, rect);
}

} // namespace

Zones grid(const platform::ScreenInfo& screen, int rows, int columns, double gap, double inset) {
    rows = std::max(rows, 1);
    columns = std::max(columns, 1);
    const Rect& visible = screen.visibleFrame;
    const Rect frame{visible.minX() + inset, visible.minY() + inset, visible.width() - 2 * inset,
                     visible.height() - 2 * inset};
    // A screen that reports no sensible scale is treated as one pixel per point rather than
    // producing infinite edges.
    const double scale =
        std::isfinite(screen.backingScale) && screen.backingScale > 0 ? screen.backingScale : 1.0;

    const double minX = frame.origin.x, maxX = frame.origin.x + frame.size.width;
    const double minY = frame.origin.y, maxY = frame.origin.y + frame.size.height;

    std::vector<double> xs{minX};
    if (columns > 1) {
        const double cell = (frame.size.width - (columns - 1) * gap) / columns;
        for (int i = 1; i < columns; ++i)
            xs.push_back(toPixel(minX + i * cell + (i - 1) * gap, scale));
    }
    xs.push_back(maxX);

    std::vector<double> ys{maxY}; // from the top
    if (rows > 1) {
        const double cell = (frame.size.height - (rows - 1) * gap) / rows;
        for (int j = 1; j < rows; ++j)
            ys.push_back(toPixel(maxY - j * cell - (j - 1) * gap, scale));
    }
    ys.push_back(minY);

    Zones result;
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < rows; ++r) {
            const int id = c * rows + r + 1;
            const Rect cell{xs[c], ys[r + 1], std::max(xs[c + 1] - xs[c], 0.0),
                            std::max(ys[r] - ys[r + 1], 0.0)};
            result[id] = makeZone(id, cell);
        }
    }
    return result;
}

Zones normalizedRegionIDs(const ConfigZoneSet& set, const platform::ScreenInfo& screen) {
    const Rect rect = screen.visibleFrame;
    if (set.layoutTree) {
        return zonesOfTreeRenumbered(set, *set.layoutTree, rect,
                                     "[LayoutBuilder] normalized region IDs by position: ");
    }
    if (set.xSplits && set.ySplits) {
        std::vector<double> columns = *set.xSplits;
        std::vector<double> rows = *set.ySplits;
        std::sort(columns.begin(), columns.end());
        std::sort(rows.begin(), rows.end());
        return zonesOfTreeRenumbered(set, LayoutTreeModel::gridTree(columns, rows, 1), rect,
                                     "[LayoutBuilder] normalized region IDs from grid by position: ");
    }
    if (set.zones) return zones(*set.zones, rect);
    return {};
}

Zones zones(const LayoutNode& tree, const Rect& in) {
    LayoutTreeModel model(tree, "", "", "");
    Zones result;
    for (const auto& [regionID, frame] : model.zones(in)) {
        if (auto id = zoneID(regionID)) result[*id] = makeZone(*id, frame);
    }
    return result;
}

Zones zones(const std::vector<ConfigZone>& configZones, const Rect& in) {
    const double w = in.width(), h = in.height();
    Zones result;
    for (const ConfigZone& entry : configZones) {
        auto id = zoneID(entry.id);
        if (!id) continue;
        const Rect& f = entry.frame;
        result[*id] = makeZone(*id, Rect{in.minX() + f.origin.x * w, in.minY() + f.origin.y * h,
                                         f.size.width * w, f.size.height * h});
    }
    return result;
}

} // namespace korvane::LayoutBuilder
