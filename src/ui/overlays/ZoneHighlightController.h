// The zone highlight: a translucent accent-coloured rounded rectangle over the zone a dragged window would
// drop into. Each owner (drag snapping, pick and drop) has its own and keeps it for its lifetime.
#pragma once

#include "platform/Geometry.h"

#include <memory>

class QWidget;

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only. Shows nothing where no widget application runs. The window is made on the first
// show and kept, shown and ordered out, until the controller goes, or until it appears again after a
// compositing manager started or stopped; it never takes the pointer, so a drag under it keeps reaching
// the window being dragged.
class ZoneHighlightController {
  public:
    explicit ZoneHighlightController(platform::Platform& platform);
    ~ZoneHighlightController();
    ZoneHighlightController(const ZoneHighlightController&) = delete;
    ZoneHighlightController& operator=(const ZoneHighlightController&) = delete;

    // Shows the highlight over the zone's rectangle (bottom-left global), or moves it there, with a new
    // fill in place of the previous one. Where no compositing manager runs as it appears, only its
    // outline is left of it.
    void show(const Rect& frame);
    // Orders the highlight out; nothing before the first show.
    void hide();

    // The highlight window; nullptr before the first show.
    QWidget* window() const;

    static constexpr double kCornerRadius = 12.0;

  private:
    class Window;

    platform::Platform& platform_;
    std::unique_ptr<Window> window_;
};

} // namespace korvane
