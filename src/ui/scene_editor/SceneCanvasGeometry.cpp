// The derived geometry of the scene canvas and the snapping of ratios.
#include "ui/scene_editor/SceneCanvasGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace korvane {

namespace {

std::string pathID(const SceneCanvasPath& path) {
    std::string id;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i > 0) id += '-';
        id += std::to_string(path[i]);
    }
    return id;
}

SceneCanvasPath extended(const SceneCanvasPath& path, int child) {
    SceneCanvasPath out = path;
    out.push_back(child);
    return out;
}

void collectZones(const LayoutNode& node, const Rect& rect, std::vector<SceneCanvasZoneRect>& out) {
    if (const auto* region = node.asRegion()) {
        out.push_back({region->id, rect});
        return;
    }
    const auto& split = *node.asSplit();
    const auto [first, second] = sceneCanvasChildRects(split.axis, split.ratio, rect);
    collectZones(split.left(), first, out);
    collectZones(split.right(), second, out);
}

void collectLines(const LayoutNode& node, const SceneCanvasPath& path, const Rect& rect, const Rect& canvas,
                  double band, std::vector<SceneCanvasSplitLine>& out) {
    const auto* split = node.asSplit();
    if (!split) return;
    const auto [first, second] = sceneCanvasChildRects(split->axis, split->ratio, rect);
    SceneCanvasSplitLine line;
    line.id = pathID(path);
    line.path = path;
    line.axis = split->axis;
    line.ratio = split->ratio;
    line.bounds = rect;
    if (split->axis == SplitAxis::horizontal) {
        const double x = rect.minX() + split->ratio * rect.width();
        line.absoluteRatio = x / std::max(canvas.width(), 1.0);
        line.hitFrame = Rect{x - band / 2, rect.minY(), band, rect.height()};
    } else {
        const double y = rect.minY() + split->ratio * rect.height();
        line.absoluteRatio = y / std::max(canvas.height(), 1.0);
        line.hitFrame = Rect{rect.minX(), y - band / 2, rect.width(), band};
    }
    out.push_back(std::move(line));
    collectLines(split->left(), extended(path, 0), first, canvas, band, out);
    collectLines(split->right(), extended(path, 1), second, canvas, band, out);
}

} // namespace

double SceneCanvasSplitLine::proposedRatio(Point location) const {
    if (axis == SplitAxis::vertical) return (location.y - bounds.minY()) / std::max(bounds.height(), 1.0);
    return (location.x - bounds.minX()) / std::max(bounds.width(), 1.0);
}

std::pair<Rect, Rect> sceneCanvasChildRects(SplitAxis axis, double ratio, const Rect& rect) {
    const double x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
    if (axis == SplitAxis::horizontal)
        return {Rect{x, y, ratio * w, h}, Rect{x + ratio * w, y, (1 - ratio) * w, h}};
    return {Rect{x, y, w, ratio * h}, Rect{x, y + ratio * h, w, (1 - ratio) * h}};
}

std::vector<SceneCanvasZoneRect> zoneFrames(const LayoutNode& node, const Rect& in) {
    std::vector<SceneCanvasZoneRect> out;
    collectZones(node, in, out);
    return out;
}

std::vector<SceneCanvasSplitLine> splitLines(const LayoutNode& node, const SceneCanvasPath& path,
                                             const Rect& in, const Rect& canvas, double band) {
    std::vector<SceneCanvasSplitLine> out;
    collectLines(node, path, in, canvas, band, out);
    return out;
}

void sortByZoneID(std::vector<SceneCanvasZoneRect>& frames) {
    std::stable_sort(
        frames.begin(), frames.end(),
        [](const SceneCanvasZoneRect& a, const SceneCanvasZoneRect& b) { return a.zoneID < b.zoneID; });
}

SceneCanvasZoneFrame normalizedZoneFrame(const SceneCanvasZoneRect& zone, Size canvas) {
    const Rect& f = zone.frame;
    const double w = canvas.width, h = canvas.height;
    return {zone.zoneID, Rect{f.minX() / w, 1 - (f.minY() + f.height()) / h, f.width() / w, f.height() / h}};
}

double snapRatio(double value) {
    // fmin/fmax would let a NaN through; the comparisons below turn it into the upper bound.
    double clamped = value < 0.9 ? value : 0.9;
    clamped = clamped > 0.1 ? clamped : 0.1;
    static constexpr std::array<double, 5> kSnapPoints{0.25, 0.333, 0.5, 0.666, 0.75};
    for (double point : kSnapPoints)
        if (std::fabs(clamped - point) < 0.015) return point;
    return clamped;
}

std::optional<SceneCanvasPath> regionPath(std::int64_t zoneID, const LayoutNode& node,
                                          const SceneCanvasPath& prefix) {
    if (const auto* region = node.asRegion()) {
        if (region->id == zoneID) return prefix;
        return std::nullopt;
    }
    const auto& split = *node.asSplit();
    if (auto found = regionPath(zoneID, split.left(), extended(prefix, 0))) return found;
    return regionPath(zoneID, split.right(), extended(prefix, 1));
}

SceneCanvasPath firstRegionPath(const LayoutNode& node, const SceneCanvasPath& prefix) {
    SceneCanvasPath path = prefix;
    const LayoutNode* current = &node;
    while (const auto* split = current->asSplit()) {
        path.push_back(0);
        current = &split->left();
    }
    return path;
}

} // namespace korvane
