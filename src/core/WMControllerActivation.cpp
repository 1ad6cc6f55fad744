// Bringing a placed window's application to the front after a move: un-minimise, raise, unhide, then
// activate through ever more forceful means, and give the window the keyboard. The steps are spaced by
// pauses on the run loop's clock, during which keys and drawing are served.
#include "core/AXUtil.h"
#include "core/ActivationStrategy.h"
#include "core/AppleScriptActivator.h"
#include "core/Log.h"
#include "core/WMController.h"
#include "platform/Platform.h"

namespace korvane {

using platform::AXError;
using platform::AXValue;

namespace {

// How long an application is given to take in one step (shown, raised, unhidden) before the next.
constexpr Nanos kActivationPause = milliseconds(30);

pid_t pidOf(platform::Accessibility& accessibility, const platform::AXElement& element) {
    pid_t pid = 0;
    if (accessibility.pidOf(element, pid) != AXError::success) return 0;
    return pid;
}

} // namespace

platform::Task<void> WMController::activateApp(std::weak_ptr<WMController> weak, platform::AXElement element,
                                               std::string tag, bool allowAllWindows,
                                               std::function<bool()> overtaken) {
    auto self = weak.lock();
    if (!self) co_return;
    auto& p = self->platform();
    // Not held across the pauses: a controller gone meanwhile ends the activation.
    self.reset();
    auto& accessibility = p.accessibility();
    auto& workspace = p.workspace();
    auto& loop = p.runLoop();
    const AXValue yes(true);
    // Asked before each step that follows a pause: a later move to bring forward, or the user's own
    // choice of window meanwhile, wins over what is left of this one.
    const auto goesOn = [&weak, &overtaken] { return !weak.expired() && !(overtaken && overtaken()); };
    if (!goesOn()) co_return;
    const pid_t pid = pidOf(accessibility, element);

    if (axNumberAttribute(accessibility, element, "AXMinimized").value_or(false)) {
        accessibility.setAttribute(element, "AXMinimized", AXValue(false));
        co_await platform::sleepFor(loop, kActivationPause);
        if (!goesOn()) co_return;
    }
    accessibility.performAction(element, "AXRaise");
    accessibility.setAttribute(element, "AXMain", yes);
    co_await platform::sleepFor(loop, kActivationPause);
    if (!goesOn()) co_return;

    if (auto app = workspace.runningApplication(pid)) {
        const std::optional<std::string>& bundleID = app->bundleID;
        Log::wm.debug("%s: Activating app %s (pid=%d) allowAllWindows=%{bool}d", tag,
                      bundleID.value_or("(unknown)"), pid, allowAllWindows);
        if (app->isHidden) {
            Log::wm.debug("%s: App is hidden, unhiding", tag);
            workspace.unhide(pid);
            co_await platform::sleepFor(loop, kActivationPause);
            if (!goesOn()) co_return;
        }
        bool success = workspace.activate(pid, allowAllWindows ? platform::kActivateAllWindows : 0u);
        Log::wm.info("%s: _NET_ACTIVE_WINDOW request returned %{bool}d", tag, success);
        if (!success) {
            Log::wm.info("%s: Trying AX frontmost attribute", tag);
            if (accessibility.setAttribute(accessibility.applicationElement(pid), "AXFrontmost", yes) ==
                AXError::success) {
                success = true;
                Log::wm.debug("%s: AX frontmost succeeded", tag);
            } else {
                Log::wm.error("%s: AX frontmost failed", tag);
            }
        }
        // Named by its identifier, the application may be another process, and its window another one.
        const bool byIdentifier = bundleID && identifierReachesOnly(workspace, *bundleID, pid);
        if (!success) {
            success = workspace.activate(pid, 0u);
            if (!success) {
                Log::wm.info("%s: Trying desktop entry launch", tag);
                if (byIdentifier && workspace.urlForApplication(*bundleID)) {
                    workspace.openApplication(*bundleID, true, false, [](platform::OpenApplicationResult) {});
                    success = true;
                }
            }
        }
        if (ActivationStrategy::strategy(bundleID).useAppleScript && byIdentifier) {
            Log::wm.info("%s: Trying activation by app id for problematic app", tag);
            if (AppleScriptActivator::shared()->activate(*bundleID)) {
                success = true;
                Log::wm.info("%s: Activation by app id succeeded", tag);
            } else {
                Log::wm.error("%s: Activation by app id failed", tag);
            }
        }
        Log::wm.debug("%s: Final activation result=%{bool}d", tag, success);
    } else {
        Log::wm.error("%s: could not find running application for pid=%d", tag, pid);
    }

    // Whatever the application did, the window itself is raised and given the focus.
    accessibility.performAction(element, "AXRaise");
    accessibility.setAttribute(element, "AXMain", yes);
    accessibility.setAttribute(element, "AXFocused", yes);
    self = weak.lock();
    if (!self) co_return;
    if (auto wid = self->ax->windowID(element); wid && self->onWindowFocus) self->onWindowFocus(*wid);
}

} // namespace korvane
