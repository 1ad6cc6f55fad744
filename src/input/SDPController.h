// The control+option mouse gestures: pick a window up and drop it into a zone, scroll over a zone to
// cycle its stack, right-click for the global switcher. The tap's one gesture delegate.
#pragma once

#include "input/MouseEventTap.h"
#include "input/SDPStateMachine.h"
#include "platform/Screens.h"

#include <functional>
#include <memory>

namespace korvane {

class CycleStackGestureController;
class GlobalSwitcherGestureController; // the gesture's controller, in this folder
class GlobalSwitcherWindowController;  // the switcher lives above the input subsystem; passed, not used
class MultiDisplayState;
class PickAndDropController;
class WMController;

namespace platform {
class Platform;
}

// Main thread only. Holds the zone controller and the zone state weakly: the application owns them.
class SDPController : public SDPInteractionDelegate {
  public:
    using GetGlobalSwitcher = std::function<std::shared_ptr<GlobalSwitcherWindowController>()>;
    using ToggleGlobalSwitcher = std::function<void(const platform::ScreenInfo&)>;

    // Starts switched as the stored "SDPEnabled" says (on when absent or not a flag), so the gestures stay
    // off across launches once the settings turned them off.
    SDPController(platform::Platform& platform, const std::shared_ptr<WMController>& controller,
                  const std::shared_ptr<MultiDisplayState>& multiState);
    ~SDPController() override;

    // How the right-click gesture reaches the global switcher; replaces the earlier pair.
    void configureGlobalSwitcher(GetGlobalSwitcher get, ToggleGlobalSwitcher toggle);

    // True swallows the event. Swallowed while both keys are held: left presses, scrolls and right
    // presses unless idle; left releases and drags only while a window is picked up. Modifier changes,
    // right releases and drags, other buttons and moves always pass.
    bool handle(const platform::MouseEvent& event) override;

    // While false the gestures are off and every event passes through.
    bool isEnabled = true;
    static constexpr const char* kEnabledKey = "SDPEnabled";

    // Set by the application: a short notice on the display (empty: the main screen) for this long
    // (seconds). The pick-and-drop notices go through it too.
    std::function<void(const std::string& message, const std::string& displayUUID, double duration)>
        showToast;

    const SDPStateMachine& stateMachine() const { return stateMachine_; }
    PickAndDropController* pickAndDropController() const { return pickAndDrop_.get(); }

  private:
    void modifiersChanged(bool active, Point location);
    void cancel();
    bool leftPress(const platform::MouseEvent& event);
    bool leftRelease(const platform::MouseEvent& event);
    bool scroll(const platform::MouseEvent& event);
    bool rightPress(const platform::MouseEvent& event);

    platform::Platform& platform_;
    SDPStateMachine stateMachine_;
    std::unique_ptr<GlobalSwitcherGestureController> globalSwitcher_;
    std::unique_ptr<CycleStackGestureController> cycleStack_;
    std::unique_ptr<PickAndDropController> pickAndDrop_;
    bool hasShownPermissionWarning = false;
};

} // namespace korvane
