// The scene canvas's splitting and merging of zones: the keys, the split line that follows the pointer
// until a click places it, and the merge of a zone with its sibling. Every refusal is a hint and leaves
// the tree as it was.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "layouts/LayoutTreeEditorModel.h"
#include "platform/TextCase.h"

namespace korvane {

namespace {

constexpr const char* kNoZoneToSplit = "No zone available to split";
constexpr const char* kCannotSplit = "Cannot split selected zone";

} // namespace

bool SceneGeometryCanvasModel::handleKeyDown(const std::string& characters) {
    if (characters == "\x1b") {
        if (splitPreviewMode_) {
            splitPreviewMode_.reset();
            splitPreviewRatio_ = 0.5;
            changed();
            return true;
        }
        if (!inputs_.overlayMode) return false;
        if (inputs_.onDone) inputs_.onDone();
        return true;
    }
    const std::string key = asciiLowercased(characters);
    if (key == "v" || key == "h") {
        if (!ensureEditableGeometry()) return false;
        // "v" draws a vertical divider, so the parts lie side by side.
        startSplitPreview(key == "v" ? SplitAxis::horizontal : SplitAxis::vertical);
        return true;
    }
    if (characters == "\x7f" || characters == "\x08") {
        if (!ensureEditableGeometry()) return false;
        return mergeHoveredOrSelectedZone();
    }
    return false;
}

void SceneGeometryCanvasModel::startSplitPreview(SplitAxis axis) {
    if (!ensureEditableGeometry()) return;
    if (!treeEditor_) {
        showHint(kNoZoneToSplit);
        return;
    }
    std::optional<Path> path = hoverPath_ ? hoverPath_ : selectedPath_;
    if (!path) path = firstRegionPath(treeEditor_->root(), {});
    const auto isRegion = [this](const Path& at) {
        const auto node = treeEditor_->node(at);
        return node && node->isRegion();
    };
    if (!isRegion(*path)) {
        path = firstRegionPath(treeEditor_->root(), {});
        if (!isRegion(*path)) {
            showHint(kNoZoneToSplit);
            return;
        }
    }
    selectedPath_ = *path;
    splitPreviewMode_ = axis;
    splitPreviewRatio_ = 0.5;
    if (lastMouseLocation_) {
        const Rect r = treeEditor_->bounds(*path, Rect{0, 0, canvasSize_.width, canvasSize_.height});
        double raw = 0.5;
        if (axis == SplitAxis::horizontal) {
            if (r.width() > 0) raw = (lastMouseLocation_->x - r.minX()) / r.width();
        } else if (r.height() > 0) {
            raw = (lastMouseLocation_->y - r.minY()) / r.height();
        }
        splitPreviewRatio_ = snapRatio(raw);
    }
    changed();
}

void SceneGeometryCanvasModel::confirmSplit(Point at, const Rect& canvas) {
    if (!ensureEditableGeometry()) return;
    if (!splitPreviewMode_) return;
    std::optional<Path> path;
    if (treeEditor_)
        path = treeEditor_->findNodePath(at, canvas);
    else
        path = hoverPath_ ? hoverPath_ : selectedPath_;
    if (!path || !treeEditor_ || !zoneID(*path)) {
        showHint(kNoZoneToSplit);
        return;
    }
    if (!splitPreviewedAt(*path)) return;
    hoveredZoneID_.reset();
    refreshGeometry(true);
    changed();
}

bool SceneGeometryCanvasModel::splitPreviewedAt(const Path& path) {
    if (!treeEditor_->splitRegion(path, *splitPreviewMode_, splitPreviewRatio_)) {
        showHint(kCannotSplit);
        return false;
    }
    setGeometryDirty(true);
    splitPreviewMode_.reset();
    splitPreviewRatio_ = 0.5;
    selectedPath_.reset();
    hoverPath_.reset();
    return true;
}

void SceneGeometryCanvasModel::handleZoneTap(std::int64_t zoneID) {
    if (!treeEditor_) return;
    const std::optional<Path> path = regionPath(zoneID, treeEditor_->root(), {});
    if (!path) return;
    if (ensureEditableGeometry() && splitPreviewMode_) {
        if (!splitPreviewedAt(*path)) return;
        refreshGeometry(true);
    } else {
        selectedPath_ = *path;
    }
    changed();
}

bool SceneGeometryCanvasModel::mergeHoveredOrSelectedZone() {
    if (!ensureEditableGeometry()) return false;
    const std::optional<Path> path = hoverPath_ ? hoverPath_ : selectedPath_;
    if (!path) {
        showHint("Hover or select a zone to merge");
        return true;
    }
    if (path->empty()) {
        showHint("Cannot delete root zone");
        return true;
    }
    const Path parent(path->begin(), path->end() - 1);
    if (treeEditor_ && treeEditor_->removeRegion(parent)) {
        setGeometryDirty(true);
        splitPreviewMode_.reset();
        selectedPath_.reset();
        hoverPath_.reset();
        refreshGeometry(true);
        changed();
        return true;
    }
    showHint("Cannot merge selected split");
    return true;
}

void SceneGeometryCanvasModel::clearHover() {
    hoverPath_.reset();
    hoveredZoneID_.reset();
    changed();
}

} // namespace korvane
