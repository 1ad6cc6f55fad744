// The loggers of the window control core and its neighbours, one per area, and the signpost log.
#pragma once

#include "platform/Logger.h"

#include <string>

namespace korvane {

struct Log {
    static constexpr const char* kSubsystem = "Korvane";

    inline static const platform::Logger app{kSubsystem, "app"};
    inline static const platform::Logger hotkey{kSubsystem, "hotkey"};
    inline static const platform::Logger ax{kSubsystem, "ax"};
    inline static const platform::Logger wm{kSubsystem, "wm"};
    inline static const platform::Logger switcher{kSubsystem, "switcher"};
    inline static const platform::Logger sceneManager{kSubsystem, "sceneManager"};
    inline static const platform::Logger dragSnap{kSubsystem, "dragSnap"};
    inline static const platform::SignpostLog signposts{kSubsystem, "PointsOfInterest"};

    // A logger of the same subsystem for a component that logs under its own category.
    static platform::Logger category(std::string name);
};

} // namespace korvane
