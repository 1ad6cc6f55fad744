// The one place that decides how a stored layout tree enters the scene canvas and how it leaves it.
//
// A stored tree gives a vertical split's first child, the top part, `ratio` of the height; the canvas draws
// a vertical split's first child on top with the same share. So the canvas edits the stored proportions as
// they stand, and what a user sees on the canvas is what the display gets. Flipping vertical ratios on the
// way in would show a stored 30 % top zone as 70 % and save a dragged 30 % as 70 %.
#pragma once

#include "layouts/LayoutNode.h"

namespace korvane {

// The stored tree with every split ratio held within [0.05, 0.95], where a divider can still be dragged.
LayoutNode canvasTreeFromStored(const LayoutNode& stored);
// The tree to store for a canvas's tree: as it stands.
LayoutNode storedTreeFromCanvas(const LayoutNode& canvas);

} // namespace korvane
