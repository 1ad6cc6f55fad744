// Stored layout trees in and out of the scene canvas.
#include "ui/scene_editor/SceneCanvasTree.h"

#include <algorithm>

namespace korvane {

LayoutNode canvasTreeFromStored(const LayoutNode& stored) {
    const auto* split = stored.asSplit();
    if (!split) return stored;
    return LayoutNode::split(split->axis, std::clamp(split->ratio, 0.05, 0.95),
                             canvasTreeFromStored(split->left()), canvasTreeFromStored(split->right()));
}

LayoutNode storedTreeFromCanvas(const LayoutNode& canvas) {
    return canvas;
}

} // namespace korvane
