// The global switcher: a floating panel of every on-screen window and windowless application, from which
// the user jumps to one. The application makes it on first use and toggles it.
#pragma once

#include "platform/Screens.h"

#include <memory>

namespace korvane {

class WMController;
class WindowTracker;

// Main thread only.
class GlobalSwitcherWindowController {
  public:
    GlobalSwitcherWindowController(const platform::ScreenInfo& screen, std::shared_ptr<WindowTracker> tracker,
                                   std::shared_ptr<WMController> controller);

    // Whether its panel is on screen: a toggle hides a visible switcher and shows any other. The panel
    // does not exist yet, so the switcher never reads as visible and showing or hiding changes nothing.
    bool isWindowVisible() const { return false; }
    void show(const platform::ScreenInfo& screen);
    void hide();

    // The screen it was last asked to appear on.
    const platform::ScreenInfo& screen() const { return screen_; }

  private:
    platform::ScreenInfo screen_;
    std::shared_ptr<WindowTracker> tracker_;
    std::shared_ptr<WMController> controller_;
};

} // namespace korvane
