// A right click with control and option held toggles the global switcher on the screen under the cursor.
#pragma once

#include "platform/Geometry.h"
#include "platform/MouseTap.h"
#include "platform/Screens.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvane {

class GlobalSwitcherWindowController; // lives above the input subsystem; passed through, never used here

namespace platform {
class Platform;
}

// Main thread only.
class GlobalSwitcherGestureController {
  public:
    explicit GlobalSwitcherGestureController(platform::Platform& platform);

    // True when a screen was found, whether or not a toggle is set.
    bool handleRightClick(const platform::MouseEvent& event);
    // The screen holding the top-left global point (flipped first), else the main, else the first screen.
    std::optional<platform::ScreenInfo> screen(Point topLeft);

    std::function<std::shared_ptr<GlobalSwitcherWindowController>()> getGlobalSwitcher;
    std::function<void(const platform::ScreenInfo&)> toggleGlobalSwitcher;

  private:
    platform::Platform& platform_;
};

} // namespace korvane
