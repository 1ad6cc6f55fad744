// Where the scene canvas puts things: zone cells at their zones' fractions of the canvas, the canvas's
// proportions for a display, and the rectangles of the small read-only drawing of a layout tree.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"
#include "ui/scene_editor/SceneCanvasGeometry.h"

#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Screens;
}

// Cell k takes zone k; zone fractions are measured up from the bottom, the placements are top-left
// rectangles within `bounds` less `inset` on every edge (never negative).
struct SceneZoneCanvasLayout {
    std::vector<SceneCanvasZoneFrame> zones;
    double inset = 0;

    std::vector<Rect> placements(const Rect& bounds) const;
};

// Width over height of the display's screen, at least 1.0 (portrait screens draw square); a display UUID
// with a "#" suffix is the screen before it. 1.6 when no screen matches.
double canvasAspectRatio(platform::Screens& screens, const std::string& displayUUID);

// The regions of `layoutNode` in a drawing area of `size` (top-left origin): laid out in the unit square,
// then scaled as one to fit the area less 2 pt on each edge, keeping proportions, centred. Nothing when
// the regions have no extent.
std::vector<Rect> layoutGeometryPreviewRects(const LayoutNode& layoutNode, Size size);

} // namespace korvane
