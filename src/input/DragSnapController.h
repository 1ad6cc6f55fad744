// Snapping an ordinarily dragged window into the zone under the cursor when it is released. Observes the
// mouse tap's events and never consumes them.
#pragma once

#include "input/MouseEventTap.h"

#include <functional>
#include <memory>
#include <string>

namespace korvane {

class MultiDisplayState;
class WMController;

// Main thread only. Holds the zone controller and the zone state weakly: the application owns them.
class DragSnapController : public MouseEventHandler {
  public:
    DragSnapController(const std::shared_ptr<WMController>& controller,
                       const std::shared_ptr<MultiDisplayState>& multiState);

    // Set by the application: a drag gesture began; a snap onto this display is about to happen.
    std::function<void()> onGestureActivated;
    std::function<void(const std::string& displayUUID)> onBeforeSnap;

    // How far, in points, a drag must go before it can snap.
    double activationDistance = 30.0;

  private:
    std::weak_ptr<WMController> wmController_;
    std::weak_ptr<MultiDisplayState> multiState_;
};

} // namespace korvane
