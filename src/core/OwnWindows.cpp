// The one test of whether a window or process is this program's own.
#include "core/OwnWindows.h"

#include "platform/Platform.h"

namespace korvane {

bool isOwnProcess(platform::Platform& platform, pid_t pid) {
    return pid > 0 && pid == platform.processInfo().processIdentifier();
}

bool isOwnWindow(platform::Platform& platform, const platform::AXElement& element) {
    pid_t pid = 0;
    return platform.accessibility().pidOf(element, pid) == platform::AXError::success &&
           isOwnProcess(platform, pid);
}

} // namespace korvane
