// Bringing another application to the front through a fixed chain of ever more forceful methods, with
// the frontmost checks and the shorter chain that forces an application frontmost.
#include "core/AppleScriptActivator.h"
#include "core/ActivationStrategy.h"
#include "core/Log.h"
#include "core/WMController.h"
#include "platform/Platform.h"
#include "platform/Task.h"

#include <algorithm>
#include <functional>

namespace korvane {

using platform::AXError;
using platform::AXValue;
using platform::Task;

namespace {

constexpr double kActivateConfirmation = 0.3;
constexpr double kScriptConfirmation = 0.5;

// Starts the open request and gives back what will learn its end: true when its completion ran, false
// when it gave up waiting. The resolvers live in the blocks alone, so a loop that goes away with them
// pending takes the waiting task with it.
platform::Future<bool> startOpen(platform::RunLoop& loop, platform::Workspace& workspace, const std::string& bundleID,
                                 bool activates, double giveUpAfter) {
    auto [future, resolver] = platform::makeFuture<bool>(loop);
    platform::WorkItemRef giveUp = loop.postAfter(seconds(giveUpAfter), [resolver] { resolver.resolve(false); });
    workspace.openApplication(bundleID, activates, [resolver, giveUp](platform::OpenApplicationResult) {
        giveUp->cancel();
        resolver.resolve(true);
    });
    return std::move(future);
}

} // namespace

bool WMController::isAppFrontmost(pid_t pid) {
    auto& p = platform();
    if (auto front = p.workspace().frontmostApplication(); front && front->pid == pid) return true;
    AXValue value;
    auto& accessibility = p.accessibility();
    if (accessibility.copyAttribute(accessibility.applicationElement(pid), "AXFrontmost", value) != AXError::success)
        return false;
    const bool* flag = std::get_if<bool>(&value);
    return flag && *flag;
}

Task<bool> WMController::waitForAppFrontmost(pid_t pid, double timeout) {
    const Nanos limit = timeout > 0 ? seconds(std::min(timeout, 1e6)) : 0;
    std::function<bool()> check = [this, pid] { return isAppFrontmost(pid); };
    co_return co_await platform::pollUntil(platform().runLoop(), milliseconds(50), limit, check);
}

Task<void> WMController::openApplicationAndWait(platform::Workspace& workspace, std::string bundleID, bool activates) {
    auto answered = startOpen(platform().runLoop(), workspace, bundleID, activates, kOpenApplicationTimeout);
    const bool completed = co_await answered;
    if (!completed) {
        // A launch that never reports back would otherwise hold the activation queue for good.
        Log::wm.error("openApplicationAndWait: no completion for bundle=%s after %.1fs; giving up", bundleID,
                      kOpenApplicationTimeout);
    }
}

Task<bool> WMController::activateApplicationAsync(platform::RunningApplication app, std::string reason, pid_t pid,
                                                  std::string bundleId, bool useFallback, bool allowAllWindows) {
    auto& workspace = platform().workspace();
    auto& accessibility = platform().accessibility();
    const ActivationStrategy strategy = ActivationStrategy::strategy(std::optional<std::string>(bundleId));
    Log::wm.info("[%s] Activating app %s (pid=%d) using strategy: %s", reason, bundleId, pid, strategy.name);

    const bool activated = workspace.activate(app.pid, allowAllWindows ? platform::kActivateAllWindows : 0u);
    Log::wm.info("[%s] NSRunningApplication.activate returned %{bool}d", reason, activated);
    if (activated) {
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after activate", reason);
            co_return true;
        }
        Log::wm.error("[%s] Activate returned true but app is not frontmost", reason);
    }

    const AXValue frontmost(true);
    if (accessibility.setAttribute(accessibility.applicationElement(pid), "AXFrontmost", frontmost) ==
        AXError::success) {
        Log::wm.info("[%s] AX frontmost set succeeded", reason);
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after AX frontmost", reason);
            co_return true;
        }
    }

    if (strategy.useAppleScript) {
        Log::wm.info("[%s] Fast-tracking to AppleScript for %s", reason, bundleId);
        if (AppleScriptActivator::shared()->activate(bundleId)) {
            if (co_await waitForAppFrontmost(pid, kScriptConfirmation)) {
                Log::wm.info("[%s] App is frontmost after Fast-Track AppleScript", reason);
                co_return true;
            }
        }
    }

    if (!useFallback) {
        Log::wm.info("[%s] Skipping fallback activation methods", reason);
        co_return false;
    }

    const bool activatedAgain = workspace.activate(app.pid, 0u);
    Log::wm.info("[%s] NSRunningApplication.activate fallback returned %{bool}d", reason, activatedAgain);
    if (activatedAgain) {
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after activate fallback", reason);
            co_return true;
        }
        Log::wm.error("[%s] Activate fallback returned true but app is not frontmost", reason);
    }

    if (workspace.urlForApplication(bundleId)) {
        co_await openApplicationAndWait(workspace, bundleId, true);
        Log::wm.info("[%s] NSWorkspace.openApplication attempted", reason);
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after NSWorkspace.openApplication", reason);
            co_return true;
        }
    }

    if (strategy.useAppleScript) {
        Log::wm.info("[%s] Trying AppleScript activation (final fallback)", reason);
        if (AppleScriptActivator::shared()->activate(bundleId)) {
            if (co_await waitForAppFrontmost(pid, kScriptConfirmation)) {
                Log::wm.info("[%s] App is frontmost after AppleScript activation", reason);
                co_return true;
            }
        }
    }

    Log::wm.error("[%s] All activation methods failed for pid=%d", reason, pid);
    co_return false;
}

Task<bool> WMController::forceFrontmost(pid_t pid, std::string reason) {
    if (isAppFrontmost(pid)) co_return true;
    auto& accessibility = platform().accessibility();
    const AXValue frontmost(true);
    if (accessibility.setAttribute(accessibility.applicationElement(pid), "AXFrontmost", frontmost) ==
        AXError::success) {
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] Forced frontmost via AX", reason);
            co_return true;
        }
    }
    auto& workspace = platform().workspace();
    if (!workspace.runningApplication(pid)) {
        Log::wm.error("[%s] Running app not found for pid=%d", reason, pid);
        co_return false;
    }
    const bool activated = workspace.activate(pid, 0u);
    Log::wm.info("[%s] NSRunningApplication.activate fallback returned %{bool}d", reason, activated);
    if (!activated) co_return false;
    if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
        Log::wm.info("[%s] Forced frontmost via NSRunningApplication.activate", reason);
        co_return true;
    }
    Log::wm.error("[%s] Activate fallback returned true but app is not frontmost", reason);
    co_return false;
}

} // namespace korvane
