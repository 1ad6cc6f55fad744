// The shared height for flipping between bottom-left and top-left global coordinates.
#include "core/ScreenSpace.h"

#include "platform/Platform.h"

namespace korvane {

std::optional<double> primaryScreenHeight(platform::Screens& screens) {
    if (auto main = screens.mainScreen()) return main->frame.maxY();
    return std::nullopt;
}

std::optional<double> primaryScreenHeight() {
    return primaryScreenHeight(platform::Platform::current().screens());
}

} // namespace korvane
