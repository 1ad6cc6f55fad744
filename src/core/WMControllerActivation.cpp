// Bringing one given window of another application to the front with the keyboard focus: element
// resolution, the request on the activation queue, its attempts, the focus check, the window-first
// failure handling, and growing the runtime focus whitelist after repeated failures of a cycle.
#include "core/AXActivationMonitor.h"
#include "core/AXUtil.h"
#include "core/ActivationQueue.h"
#include "core/ActivationStrategy.h"
#include "core/FocusWhitelistStore.h"
#include "core/Log.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Platform.h"
#include "platform/Task.h"

#include <algorithm>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using platform::CancellationToken;
using platform::Task;

namespace {

bool isCycleReason(const std::string& reason) {
    return reason.find("Cycle") != std::string::npos;
}

// Only a Boolean true counts; a failed read or any other value does not.
bool readsTrue(platform::Accessibility& accessibility, const AXElement& element, const std::string& attribute) {
    AXValue value;
    if (accessibility.copyAttribute(element, attribute, value) != AXError::success) return false;
    const bool* flag = std::get_if<bool>(&value);
    return flag && *flag;
}

Task<void> runActivateWindow(std::weak_ptr<WMController> weak, AXElement window, std::string reason,
                             bool allowAllWindows, std::function<void(bool)> completion) {
    auto controller = weak.lock();
    if (!controller) co_return;
    const bool result = co_await controller->activateWindowAsync(window, reason, allowAllWindows);
    if (completion) controller->platform().runLoop().post([completion, result] { completion(result); });
}

Task<bool> runActivationOperation(std::weak_ptr<WMController> weak, AXElement window, std::string reason, pid_t pid,
                                  ActivationStrategy strategy, bool allowAllWindows, CancellationToken token) {
    auto controller = weak.lock();
    if (!controller) co_return false;
    co_return co_await controller->runActivationAttempts(window, reason, pid, strategy, allowAllWindows, token);
}

} // namespace

std::optional<AXElement> WMController::activatableElement(WindowID wid, const WMState& state) {
    if (auto cached = state.wins.find(wid); cached != state.wins.end()) {
        const WinRef& ref = cached->second;
        if (ax->windowID(ref.ax) == wid) {
            if (isAuxiliaryWindow(wid, ref.ax, ref.pid, state)) return std::nullopt;
            return ref.ax;
        }
    }
    auto found = ax->axAndFrame(wid, false);
    if (!found) return std::nullopt;
    pid_t pid = 0;
    if (platform().accessibility().pidOf(found->element, pid) != AXError::success) pid = 0;
    if (pid == 0) return found->element;
    if (isAuxiliaryWindow(wid, found->element, pid, state)) return std::nullopt;
    return found->element;
}

void WMController::activateWindow(const AXElement& window, const std::string& reason, bool allowAllWindows,
                                  std::function<void(bool)> completion) {
    platform::spawn(platform().runLoop(),
                    runActivateWindow(weak_from_this(), window, reason, allowAllWindows, std::move(completion)));
}

void WMController::handleWindowFirstResult(const std::weak_ptr<WMController>& controller, bool result,
                                           const std::string& tag, const std::optional<std::string>& fallbackTag,
                                           bool allowFallback, const AXElement& window,
                                           std::function<void(bool)> completion) {
    auto self = controller.lock();
    if (!self) return;
    if (result) {
        if (completion) completion(true);
        return;
    }
    if (allowFallback) {
        const std::string retryTag = fallbackTag.value_or(tag + " (fallback)");
        Log::wm.error("%s: window-first activation failed; retrying allowAllWindows", tag);
        self->activateWindow(window, retryTag, true, [retryTag, completion](bool retried) {
            reportActivationResult(retried, retryTag, completion);
        });
        return;
    }
    Log::wm.error("%s: window-first activation failed (no fallback)", tag);
    if (completion) completion(false);
}

void WMController::reportActivationResult(bool result, const std::string& tag,
                                          const std::function<void(bool)>& completion) {
    if (!result) Log::wm.error("%s: activation failed", tag);
    if (completion) completion(result);
}

Task<bool> WMController::activateWindowAsync(AXElement window, std::string reason, bool allowAllWindows) {
    auto& p = platform();
    pid_t pid = 0;
    if (p.accessibility().pidOf(window, pid) != AXError::success) pid = 0;
    const ActivationStrategy strategy = ActivationStrategy::strategy(window, p);

    auto [answer, resolver] = platform::makeFuture<bool>(p.runLoop());
    // The resolver lives only in the request's completion, so a request that is dropped unrun takes
    // this task with it instead of leaving it waiting.
    enqueueActivation(window, reason, pid, strategy, allowAllWindows,
                      [r = std::move(resolver)](bool ok) { r.resolve(ok); });
    const bool result = co_await answer;
    if (result) co_return true;

    if (isCycleReason(reason) && pid != 0) {
        auto app = p.workspace().runningApplication(pid);
        if (app && app->bundleID) {
            const std::string& bundleID = *app->bundleID;
            auto store = FocusWhitelistStore::shared();
            if (!store->bundleIds.count(bundleID) && !store->runtimeBundleIds.count(bundleID)) {
                Log::wm.error(
                    "[AsyncActivation:%s] Adding to runtime focus whitelist after repeated failures bundle=%s",
                    reason, bundleID);
                store->addToRuntimeWhitelist(bundleID);
            }
        }
    }
    co_return false;
}

void WMController::enqueueActivation(const AXElement& window, const std::string& reason, pid_t pid,
                                     const ActivationStrategy& strategy, bool allowAllWindows,
                                     std::function<void(bool)> completion) {
    ActivationTask task;
    task.pid = pid;
    task.axWindow = window;
    task.reason = reason;
    task.timeout = strategy.timeout;
    task.operation = [weak = weak_from_this(), window, reason, pid, strategy,
                      allowAllWindows](CancellationToken token) {
        return runActivationOperation(weak, window, reason, pid, strategy, allowAllWindows, std::move(token));
    };
    task.completion = std::move(completion);
    ActivationQueue::shared()->enqueue(std::move(task));
}

Task<bool> WMController::runActivationAttempts(AXElement window, std::string reason, pid_t pid,
                                               ActivationStrategy strategy, bool allowAllWindows,
                                               CancellationToken cancellation) {
    const int maxAttempts = std::max(1, strategy.retryCount);
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        const bool done = co_await performActivationAttempt(window, reason, pid, strategy, allowAllWindows, attempt,
                                                            maxAttempts, cancellation);
        if (done) co_return true;
        if (attempt < maxAttempts) co_await platform::sleepFor(platform().runLoop(), milliseconds(100), cancellation);
    }
    Log::wm.error("[AsyncActivation:%s] Failed after %ld attempts strategy=%s", reason, maxAttempts, strategy.name);
    co_return false;
}

Task<bool> WMController::performActivationAttempt(AXElement window, std::string reason, pid_t pid,
                                                  ActivationStrategy strategy, bool allowAllWindows, int attempt,
                                                  int maxAttempts, CancellationToken cancellation) {
    if (pid == 0) {
        Log::wm.error("[AsyncActivation:%s] Invalid pid=0", reason);
        co_return false;
    }
    auto& p = platform();
    auto& loop = p.runLoop();
    auto& accessibility = p.accessibility();
    auto& workspace = p.workspace();
    const bool isCycle = isCycleReason(reason);
    const std::string attemptSuffix =
        maxAttempts < 2 ? std::string() : platform::format(" attempt=%d/%d", attempt, maxAttempts);
    const std::optional<WindowID> expectedWindowID = ax->windowID(window);

    Log::wm.info("[AsyncActivation:%s] Starting strategy=%s%s timeout=%fs", reason, strategy.name, attemptSuffix,
                 strategy.timeout);

    const AXValue yes(true);
    const AXValue no(false);
    if (readsTrue(accessibility, window, "AXMinimized")) {
        accessibility.setAttribute(window, "AXMinimized", no);
        co_await platform::sleepFor(loop, milliseconds(100), cancellation);
    }
    accessibility.performAction(window, "AXRaise");
    accessibility.setAttribute(window, "AXMain", yes);
    co_await platform::sleepFor(loop, milliseconds(30), cancellation);

    const auto app = workspace.runningApplication(pid);
    if (!app) {
        Log::wm.error("[AsyncActivation:%s] App not found for pid=%d", reason, pid);
        co_return false;
    }
    const std::string bundleId = app->bundleID.value_or("(unknown)");
    if (app->isHidden) {
        Log::wm.info("[AsyncActivation:%s] App is hidden, unhiding", reason);
        workspace.unhide(pid);
        co_await platform::sleepFor(loop, milliseconds(100), cancellation);
    }

    const bool activated =
        co_await activateApplicationAsync(*app, reason, pid, bundleId, strategy.useFallback, allowAllWindows);
    if (!activated) {
        Log::wm.error("[AsyncActivation:%s] Failed to activate application", reason);
        co_return false;
    }

    if (strategy.requiresWait) {
        const double waitTime = std::min(0.2 * strategy.timeout, 0.2);
        const bool front = co_await AXActivationMonitor::waitForActivation(p, pid, waitTime);
        if (!front) {
            if (isAppFrontmost(pid)) {
                Log::wm.info("[AsyncActivation:%s] Frontmost confirmed after timeout", reason);
            } else if (strategy.useFallback) {
                const bool forced = co_await forceFrontmost(pid, reason);
                if (!forced)
                    Log::wm.error("[AsyncActivation:%s] Timeout waiting for frontmost, force frontmost failed", reason);
            } else {
                Log::wm.info("[AsyncActivation:%s] Timeout waiting for frontmost, continuing anyway", reason);
            }
        }
    }

    accessibility.performAction(window, "AXRaise");
    accessibility.setAttribute(window, "AXMain", yes);
    accessibility.setAttribute(window, "AXFocused", yes);
    co_await platform::sleepFor(loop, milliseconds(50), cancellation);

    const FocusVerification verification = verifyFocus(window, expectedWindowID, pid);
    switch (verification.kind) {
    case FocusVerification::Kind::failed:
        Log::wm.error("[AsyncActivation:%s] Focus verification failed: %s%s", reason, verification.detail,
                      attemptSuffix);
        co_return false;
    case FocusVerification::Kind::inconclusive:
        if (isCycle) {
            Log::wm.error("[AsyncActivation:%s] Focus verification unknown for cycle: %s%s", reason,
                          verification.detail, attemptSuffix);
            co_return false;
        }
        if (attempt < maxAttempts) {
            Log::wm.error("[AsyncActivation:%s] Focus verification inconclusive: %s%s retrying", reason,
                          verification.detail, attemptSuffix);
            co_return false;
        }
        Log::wm.info("[AsyncActivation:%s] Focus verification inconclusive: %s%s accepting", reason,
                     verification.detail, attemptSuffix);
        break;
    case FocusVerification::Kind::verified:
        break;
    }

    Log::wm.info("[AsyncActivation:%s] Completed successfully%s", reason, attemptSuffix);
    if (auto wid = ax->windowID(window); wid && onWindowFocus) onWindowFocus(*wid);
    co_return true;
}

WMController::FocusVerification WMController::verifyFocus(const AXElement& window,
                                                          std::optional<WindowID> expectedWindowID, pid_t pid) {
    auto& accessibility = platform().accessibility();
    if (axNumberAttribute(accessibility, window, "AXFocused").value_or(false)) return {};
    if (axNumberAttribute(accessibility, window, "AXMain").value_or(false)) return {};
    auto focused = ax->focusedWindow();
    if (!focused) focused = ax->focusedWindowSystemWide();
    if (expectedWindowID && focused) {
        if (auto actual = ax->windowID(*focused)) {
            if (*actual == *expectedWindowID) return {};
            return {FocusVerification::Kind::failed,
                    platform::format("focused wid mismatch expected=%u actual=%u", *expectedWindowID, *actual)};
        }
    }
    return {FocusVerification::Kind::inconclusive, isAppFrontmost(pid)
                                                       ? "focused window unavailable; app frontmost"
                                                       : "focused window unavailable; app not frontmost"};
}

} // namespace korvane
