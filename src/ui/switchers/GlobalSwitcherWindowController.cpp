// The global switcher's controller.
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <utility>

namespace korvane {

GlobalSwitcherWindowController::GlobalSwitcherWindowController(const platform::ScreenInfo& screen,
                                                               std::shared_ptr<WindowTracker> tracker,
                                                               std::shared_ptr<WMController> controller)
    : screen_(screen), tracker_(std::move(tracker)), controller_(std::move(controller)) {}

void GlobalSwitcherWindowController::show(const platform::ScreenInfo& screen) {
    screen_ = screen;
}

void GlobalSwitcherWindowController::hide() {}

} // namespace korvane
