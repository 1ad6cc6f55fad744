// The control+option mouse gestures: pick a window up and drop it into a zone, scroll over a zone to
// cycle its stack, right-click for the global switcher. The tap's one gesture delegate.
#pragma once

#include "input/MouseEventTap.h"
#include "platform/Screens.h"

#include <functional>
#include <memory>

namespace korvane {

class GlobalSwitcherWindowController; // the switcher lives above the input subsystem; passed, not used
class MultiDisplayState;
class WMController;

// Main thread only. Holds the zone controller and the zone state weakly: the application owns them.
class SDPController : public SDPInteractionDelegate {
  public:
    using GetGlobalSwitcher = std::function<std::shared_ptr<GlobalSwitcherWindowController>()>;
    using ToggleGlobalSwitcher = std::function<void(const platform::ScreenInfo&)>;

    SDPController(const std::shared_ptr<WMController>& controller,
                  const std::shared_ptr<MultiDisplayState>& multiState);

    // How the right-click gesture reaches the global switcher; replaces the earlier pair.
    void configureGlobalSwitcher(GetGlobalSwitcher get, ToggleGlobalSwitcher toggle);

    // While false the gestures are off and every event passes through.
    bool isEnabled = true;

  private:
    std::weak_ptr<WMController> controller_;
    std::weak_ptr<MultiDisplayState> multiState_;
    GetGlobalSwitcher getGlobalSwitcher_;
    ToggleGlobalSwitcher toggleGlobalSwitcher_;
};

} // namespace korvane
