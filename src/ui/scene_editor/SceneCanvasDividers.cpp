// The scene canvas's derived geometry, the pointer over it and the dragging of dividers.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "layouts/LayoutTreeEditorModel.h"

#include <cmath>

namespace korvane {

void SceneGeometryCanvasModel::refreshGeometry(bool announceMovedApps) {
    if (!treeEditor_ || !(canvasSize_.width > 0) || !(canvasSize_.height > 0)) return;
    const Rect canvas{0, 0, canvasSize_.width, canvasSize_.height};
    const LayoutNode& root = treeEditor_->root();

    std::vector<SceneCanvasZoneRect> frames = korvane::zoneFrames(root, canvas);
    sortByZoneID(frames);
    zoneFrames_ = std::move(frames);
    splitLines_ = korvane::splitLines(root, {}, canvas, canvas,
                                      inputs_.overlayMode ? kOverlayDividerBand : kInlineDividerBand);
    zoneFramesNormalized_.clear();
    for (const auto& zone : zoneFrames_)
        zoneFramesNormalized_.push_back(normalizedZoneFrame(zone, canvasSize_));

    reconcileZoneApps(announceMovedApps);
    changed();
}

std::optional<std::int64_t> SceneGeometryCanvasModel::zoneID(const Path& atPath) const {
    if (!treeEditor_) return std::nullopt;
    const auto node = treeEditor_->node(atPath);
    if (!node || !node->isRegion()) return std::nullopt;
    return node->asRegion()->id;
}

void SceneGeometryCanvasModel::handleMouseMove(Point at, const Rect& canvas) {
    lastMouseLocation_ = at;
    if (treeEditor_) {
        Path path = treeEditor_->findNodePath(at, canvas);
        const std::optional<std::int64_t> zone = zoneID(path);
        if (!hoverPath_ || *hoverPath_ != path) hoverPath_ = std::move(path);
        if (hoveredZoneID_ != zone) hoveredZoneID_ = zone;
    }
    // A template shows where its dividers are but proposes no split of its own.
    if (!currentGeometrySource().isTemplate() && splitPreviewMode_ && treeEditor_ && hoverPath_) {
        const Rect bounds = treeEditor_->bounds(*hoverPath_, canvas);
        double raw = 0.5;
        if (*splitPreviewMode_ == SplitAxis::vertical) {
            if (bounds.height() > 0) raw = (at.y - bounds.minY()) / bounds.height();
        } else if (bounds.width() > 0) {
            raw = (at.x - bounds.minX()) / bounds.width();
        }
        const double proposed = snapRatio(raw);
        if (std::fabs(splitPreviewRatio_ - proposed) > 0.005) splitPreviewRatio_ = proposed;
    }
    changed();
}

void SceneGeometryCanvasModel::dragDivider(const Path& path, double ratio) {
    if (currentGeometrySource().isTemplate() && !forceInlineEditing_) customizeLayout();
    if (!treeEditor_) return;
    const Rect canvas{0, 0, canvasSize_.width, canvasSize_.height};
    if (!treeEditor_->moveDivider(path, snapRatio(ratio), canvas)) return;
    setGeometryDirty(true);
    refreshGeometry(false);
}

} // namespace korvane
