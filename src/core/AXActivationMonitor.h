// Waiting a short time until a given process is the frontmost application.
#pragma once

#include "platform/Task.h"

#include <sys/types.h>

namespace korvane {

namespace platform {
class Platform;
}

// No state: a type-level operation only.
class AXActivationMonitor {
  public:
    AXActivationMonitor() = delete;

    // Whether the workspace's frontmost application has this pid, checked at once and every 20 ms
    // until `timeout` seconds have passed (a negative time-out counts as 0), and once more after that.
    // A pid of 0 answers false without waiting. Cancellation does not shorten the wait.
    static platform::Task<bool> waitForActivation(platform::Platform& platform, pid_t pid, double timeout);
};

} // namespace korvane
