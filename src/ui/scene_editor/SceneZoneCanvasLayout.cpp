// Placement arithmetic of the scene canvas and its read-only layout drawing.
#include "ui/scene_editor/SceneZoneCanvasLayout.h"

#include "app/DisplayUtil.h"
#include "platform/Screens.h"
#include "ui/scene_editor/ZoneCanvasPlacement.h"

#include <algorithm>

namespace korvane {

std::vector<Rect> SceneZoneCanvasLayout::placements(const Rect& bounds) const {
    std::vector<Rect> out;
    out.reserve(zones.size());
    for (const auto& zone : zones)
        out.push_back(zoneCanvasPlacement(bounds, inset, zone.normalizedFrame));
    return out;
}

double canvasAspectRatio(platform::Screens& screens, const std::string& displayUUID) {
    const auto hash = displayUUID.find('#');
    const std::string base = hash == std::string::npos ? displayUUID : displayUUID.substr(0, hash);
    for (const auto& screen : screens.screens()) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        if (uuid == displayUUID || (hash != std::string::npos && uuid == base))
            return std::max(screen.frame.width() / std::max(screen.frame.height(), 1.0), 1.0);
    }
    return 1.6;
}

std::vector<Rect> layoutGeometryPreviewRects(const LayoutNode& layoutNode, Size size) {
    std::vector<SceneCanvasZoneRect> zones = zoneFrames(layoutNode, Rect{0, 0, 1, 1});
    if (zones.empty()) return {};
    double x0 = zones.front().frame.minX(), y0 = zones.front().frame.minY();
    double x1 = zones.front().frame.maxX(), y1 = zones.front().frame.maxY();
    for (const auto& zone : zones) {
        x0 = std::min(x0, zone.frame.minX());
        y0 = std::min(y0, zone.frame.minY());
        x1 = std::max(x1, zone.frame.maxX());
        y1 = std::max(y1, zone.frame.maxY());
    }
    const Rect box{x0, y0, x1 - x0, y1 - y0};
    const double bw = box.width();
    const double bh = box.height();
    if (!(bw > 0) || !(bh > 0)) return {};
    const double s = std::min((size.width - 4) / bw, (size.height - 4) / bh);
    const double left = (size.width - 4 - bw * s) / 2 + 2;
    const double top = (size.height - 4 - bh * s) / 2 + 2;
    std::vector<Rect> out;
    out.reserve(zones.size());
    for (const auto& zone : zones)
        out.push_back(Rect{left + s * (zone.frame.minX() - box.minX()),
                           top + s * (zone.frame.minY() - box.minY()), s * zone.frame.width(),
                           s * zone.frame.height()});
    return out;
}

} // namespace korvane
