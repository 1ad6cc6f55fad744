// The frontmost-application wait of window activation.
#include "core/AXActivationMonitor.h"

#include "platform/Platform.h"

#include <algorithm>
#include <functional>

namespace korvane {

namespace {

// Only the workspace's own answer counts here, not the application's accessibility attribute.
bool isFrontmost(platform::Workspace& workspace, pid_t pid) {
    auto front = workspace.frontmostApplication();
    return front && front->pid == pid;
}

} // namespace

platform::Task<bool> AXActivationMonitor::waitForActivation(platform::Platform& platform, pid_t pid,
                                                            double timeout) {
    if (pid == 0) co_return false;
    platform::Workspace& workspace = platform.workspace();
    const Nanos limit = timeout > 0 ? seconds(std::min(timeout, 1e6)) : 0;
    std::function<bool()> check = [&workspace, pid] { return isFrontmost(workspace, pid); };
    co_return co_await platform::pollUntil(platform.runLoop(), milliseconds(20), limit, check);
}

} // namespace korvane
