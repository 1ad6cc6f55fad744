// The right-click gesture.
#include "input/GlobalSwitcherGestureController.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "platform/Format.h"
#include "platform/Platform.h"

namespace korvane {

namespace {

void say(const std::string& line) {
    static const platform::Logger log = Log::category("GlobalSwitcherGesture");
    log.debug("[GlobalSwitcherGesture] %{public}s", line);
}

} // namespace

GlobalSwitcherGestureController::GlobalSwitcherGestureController(platform::Platform& platform)
    : platform_(platform) {
    say("GlobalSwitcherGestureController initialized");
}

std::optional<platform::ScreenInfo> GlobalSwitcherGestureController::screen(Point topLeft) {
    auto& screens = platform_.screens();
    // Event locations are top-left, screen frames bottom-left: compared after the shared flip.
    const Point point = DisplayUtil::flipPoint(screens, topLeft);
    const auto all = screens.screens();
    for (const auto& s : all)
        if (s.frame.contains(point)) return s;
    if (auto main = screens.mainScreen()) return main;
    if (!all.empty()) return all.front();
    return std::nullopt;
}

bool GlobalSwitcherGestureController::handleRightClick(const platform::MouseEvent& event) {
    const auto found = screen(event.location);
    if (!found) {
        say("no screen found at cursor location " + platform::describe(event.location));
        return false;
    }
    say("right-click at " + platform::describe(event.location) + ", screen: " + found->localizedName);
    if (toggleGlobalSwitcher) toggleGlobalSwitcher(*found);
    return true;
}

} // namespace korvane
