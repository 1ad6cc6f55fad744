// Snapshots of the connected screens for the scene code.
#include "scenes/model/ScreenContext.h"

namespace korvane {

std::vector<std::string> ScreenContext::displayUUIDs() const {
    std::vector<std::string> out;
    out.reserve(screens.size());
    for (const auto& s : screens)
        out.push_back(s.displayUUID);
    return out;
}

ScreenContext ScreenContext::capture(platform::Screens& screens) {
    ScreenContext context;
    context.screens = screens.screens();
    if (auto main = screens.mainScreen()) context.mainDisplayUUID = main->displayUUID;
    return context;
}

} // namespace korvane
