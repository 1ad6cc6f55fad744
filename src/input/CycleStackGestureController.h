// Scrolling over a zone with control and option held cycles that zone's window stack: one step per wheel
// event past the threshold, backward when scrolling up; the other way round while "SDPInvertScroll" is on.
#pragma once

#include "platform/Geometry.h"
#include "platform/MouseTap.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace korvane {

class MultiDisplayState;
class WMController;

namespace platform {
class Platform;
}

// Main thread only. Holds the zone controller and the zone state weakly.
class CycleStackGestureController {
  public:
    CycleStackGestureController(platform::Platform& platform,
                                const std::shared_ptr<MultiDisplayState>& multiState,
                                const std::shared_ptr<WMController>& controller);

    // True when a zone was under the cursor and a cycle was asked for, even with the zone controller gone.
    bool handleScroll(const platform::MouseEvent& event);
    // The display and zone under a bottom-left global point.
    std::optional<std::pair<std::string, int>> zoneAtCursor(Point bottomLeft);

    static constexpr double kMinimumDelta = 0.1;
    static constexpr const char* kInvertScrollKey = "SDPInvertScroll";

  private:
    platform::Platform& platform_;
    std::weak_ptr<MultiDisplayState> multiState_;
    std::weak_ptr<WMController> wmController_;
};

} // namespace korvane
