// The control+option drag: press on another application's window, drag over a zone, release; the window
// is pushed into that zone, or with Shift held at the release swapped with the zone's top window. The
// window itself stays put during the drag: only the zone highlight follows the cursor. A press on anything
// else in front (one of this program's windows, a panel, a utility or splash window) starts no drag.
#pragma once

#include "input/SDPStateMachine.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvane {

class MultiDisplayState;
class WMController;
class ZoneHighlightController;

namespace platform {
class Platform;
}

// Main thread only. Holds the zone controller and the zone state weakly. Points are top-left global.
class PickAndDropController {
  public:
    PickAndDropController(platform::Platform& platform, const std::shared_ptr<WMController>& controller,
                          const std::shared_ptr<MultiDisplayState>& multiState);
    ~PickAndDropController();

    std::optional<HitResult> detectWindow(Point at);
    // Also keeps the context as the drag in progress.
    std::optional<DragContext> startDrag(Point at);
    void updateDrag(Point to);
    void endDrag(bool swap);
    void cancelDrag();

    // Set by the application: a short notice on the display (empty: the main screen) for this long.
    std::function<void(const std::string& message, const std::string& displayUUID, double duration)>
        showToast;
    static constexpr double kToastDuration = 2.0;

    const std::optional<ZoneIdentifier>& currentHighlightZone() const { return currentHighlightZone_; }
    const std::optional<DragContext>& currentDragContext() const { return currentDragContext_; }

  private:
    void clearHighlight();
    void cleanup();
    void toast(const std::string& message);

    platform::Platform& platform_;
    std::weak_ptr<WMController> wmController_;
    std::weak_ptr<MultiDisplayState> multiState_;
    std::unique_ptr<ZoneHighlightController> zoneHighlight_;
    std::optional<DragContext> currentDragContext_;
    std::optional<ZoneIdentifier> currentHighlightZone_;
};

} // namespace korvane
