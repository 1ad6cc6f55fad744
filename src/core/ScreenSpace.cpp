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

std::optional<double> primaryScreenHeight() {
    return primaryScreenHeight(platform::Platform::current().screens());
}

} // namespace korvane
