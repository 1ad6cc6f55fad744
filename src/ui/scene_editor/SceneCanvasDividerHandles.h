// The divider handles of one scene canvas: one per split line, each kept for as long as its line's id is on
// the canvas.
#pragma once

#include "ui/scene_editor/SceneCanvasGeometry.h"

#include <functional>
#include <vector>

class QWidget;

namespace korvane {

class SceneCanvasSplitHandle;

// A handle is the divider's identity on screen, not a drawing of one state of the tree: when the lines
// change it moves to its line's new place rather than giving way to a new handle. The handle a drag runs in
// holds the pointer until the release, so a drag that moves its own divider on every step goes on for as
// long as the button is held, and the percentage beside the divider moves with it.
class SceneCanvasDividerHandles {
  public:
    using OnDrag = std::function<void(const SceneCanvasPath& path, double proposedRatio)>;

    // The handles are made in `area` (the canvas area, in canvas coordinates).
    SceneCanvasDividerHandles(QWidget* area, bool isLargeCanvas, OnDrag onDrag);

    // One handle per line, in the lines' order: the handle of a line whose id was shown before is moved to
    // the line, a new id gets a new handle, and the handle of an id no longer there goes. The canvas stacks
    // them above its cells.
    void show(const std::vector<SceneCanvasSplitLine>& lines, bool isReadOnly);
    const std::vector<SceneCanvasSplitHandle*>& handles() const { return handles_; }

  private:
    QWidget* area_;
    bool isLargeCanvas_;
    OnDrag onDrag_;
    std::vector<SceneCanvasSplitHandle*> handles_;
};

} // namespace korvane
