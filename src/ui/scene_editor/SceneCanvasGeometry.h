// What the scene canvas draws of a layout tree: zone rectangles, dividers with the bands they are grabbed
// by, zones as fractions of the canvas, paths through the tree, and the snapping of every ratio the pointer
// chooses.
//
// Canvas coordinates: origin at the top-left corner, y growing downward. A horizontal split with ratio r
// gives its first child the left r of the width; a vertical split gives its first child the top r of the
// height, which is the share a display gives the stored tree's first child too.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

using SceneCanvasPath = std::vector<int>; // child indexes from the root: 0 first child, 1 second; empty: root

// One divider: the split node at `path`, in its own rectangle.
struct SceneCanvasSplitLine {
    std::string id; // the path in decimal joined by "-"; "" for the root split
    SceneCanvasPath path;
    SplitAxis axis = SplitAxis::horizontal;
    double ratio = 0.5;         // the node's own ratio, a share of `bounds`
    double absoluteRatio = 0.5; // the divider's position as a share of the whole canvas along the axis
    Rect bounds;                // the split node's rectangle
    Rect hitFrame;              // the band centred on the divider in which it is grabbed

    friend bool operator==(const SceneCanvasSplitLine&, const SceneCanvasSplitLine&) = default;

    // The ratio of this split that puts its divider at `location` (canvas coordinates), not clamped.
    double proposedRatio(Point location) const;
};

struct SceneCanvasZoneRect {
    std::int64_t zoneID = 0;
    Rect frame; // canvas coordinates

    friend bool operator==(const SceneCanvasZoneRect&, const SceneCanvasZoneRect&) = default;
};

struct SceneCanvasZoneFrame {
    std::int64_t zoneID = 0;
    Rect normalizedFrame; // fractions of the canvas, y measured up from the bottom edge

    friend bool operator==(const SceneCanvasZoneFrame&, const SceneCanvasZoneFrame&) = default;
};

// The bands are wider on the overlay, where the canvas fills a display.
inline constexpr double kOverlayDividerBand = 24;
inline constexpr double kInlineDividerBand = 14;

// The two children's rectangles of a split of `rect`.
std::pair<Rect, Rect> sceneCanvasChildRects(SplitAxis axis, double ratio, const Rect& rect);

// Regions in tree order, first child before second.
std::vector<SceneCanvasZoneRect> zoneFrames(const LayoutNode& node, const Rect& in);
// Pre-order: a split's own line, then its first child's lines, then its second's.
std::vector<SceneCanvasSplitLine> splitLines(const LayoutNode& node, const SceneCanvasPath& path,
                                             const Rect& in, const Rect& canvas, double band);
// By zone id ascending; equal ids keep their order.
void sortByZoneID(std::vector<SceneCanvasZoneRect>& frames);
SceneCanvasZoneFrame normalizedZoneFrame(const SceneCanvasZoneRect& zone, Size canvas);

// Clamped to [0.1, 0.9] (NaN gives 0.9), then taken to the first of 0.25, 0.333, 0.5, 0.666 and 0.75 that
// lies less than 0.015 away.
double snapRatio(double value);

// The path of the region with that id, depth first, first child before second; nothing when absent.
std::optional<SceneCanvasPath> regionPath(std::int64_t zoneID, const LayoutNode& node,
                                          const SceneCanvasPath& prefix);
// The path of the region reached by always taking the first child.
SceneCanvasPath firstRegionPath(const LayoutNode& node, const SceneCanvasPath& prefix);

} // namespace korvane
