// Loggers for components that log under a category of their own name.
#include "core/Log.h"

#include <utility>

namespace korvane {

platform::Logger Log::category(std::string name) {
    return platform::Logger(kSubsystem, std::move(name));
}

} // namespace korvane
