// The shared height for flipping between bottom-left and top-left global coordinates.
#include "core/ScreenSpace.h"

#include "platform/Platform.h"

#include <algorithm>

namespace korvane {

std::optional<double> primaryScreenHeight(platform::Screens& screens) {
    if (auto main = screens.mainScreen()) return main->frame.maxY();
    return std::nullopt;
}

std::optional<double> flipHeight(platform::Screens& screens) {
    if (auto H = primaryScreenHeight(screens)) return H;
    std::optional<double> tallest;
    for (const auto& s : screens.screens())
        tallest = std::max(tallest.value_or(s.frame.maxY()), s.frame.maxY());
    return tallest;
}

Rect nativeRect(platform::Screens& screens, const Rect& bottomLeft) {
    // The primary screen's height, else the tallest screen's: a desktop that names no main screen still
    // has its windows placed from the top of the screens.
    const double H = flipHeight(screens).value_or(bottomLeft.maxY());
    const Rect r = flipRect(bottomLeft, H);
    // The main screen's corner as the platform knows it, not the toolkit's primary screen: the two need
    // not be the same monitor (a primary output under a monitor listed before it), and a window placed
    // from the other one lands a monitor away from what it belongs to.
    const Point origin = screens.nativeOrigin();
    return Rect{origin.x + r.minX(), origin.y + r.minY(), r.width(), r.height()};
}

std::optional<Point> centredOnMainScreen(platform::Screens& screens, const Size& size) {
    const auto main = screens.mainScreen();
    if (!main) return std::nullopt;
    const Rect area = nativeRect(screens, main->visibleFrame);
    // The title bar stays in reach: a window too large for the screen overhangs at the bottom right.
    return Point{std::max(area.minX(), area.midX() - size.width / 2),
                 std::max(area.minY(), area.midY() - size.height / 2)};
}

std::optional<double> primaryScreenHeight() {
    return primaryScreenHeight(platform::Platform::current().screens());
}

} // namespace korvane
