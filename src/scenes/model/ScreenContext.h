// The connected screens as a value, handed to the scene code that depends on them, so that a scene
// decoded off the main thread or in a test sees exactly the screens it was given.
#pragma once

#include "platform/Screens.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct ScreenContext {
    std::vector<platform::ScreenInfo> screens; // in the system's screen order
    std::optional<std::string> mainDisplayUUID;

    // The display UUIDs of the screens, in their order (repeats kept).
    std::vector<std::string> displayUUIDs() const;

    // A snapshot of the platform's screens now.
    static ScreenContext capture(platform::Screens& screens);
};

} // namespace korvane
