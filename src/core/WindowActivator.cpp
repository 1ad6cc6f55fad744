// Bringing one given window of another application to the front with the keyboard focus (the request,
// its attempts and focus check, the window-first fallback, the runtime whitelist after failed cycles), and
// the chain of ever more forceful methods that brings the window's application forward.
#include "core/WindowActivator.h"

#include "core/AXActivationMonitor.h"
#include "core/AXUtil.h"
#include "core/ActivationQueue.h"
#include "core/ActivationStrategy.h"
#include "core/AppleScriptActivator.h"
#include "core/FocusWhitelistStore.h"
#include "core/Log.h"
#include "core/OwnWindows.h"
#include "platform/Platform.h"
#include "platform/Task.h"

#include <algorithm>
#include <functional>

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
bool readsTrue(platform::Accessibility& accessibility, const AXElement& element,
               const std::string& attribute) {
    AXValue value;
    if (accessibility.copyAttribute(element, attribute, value) != AXError::success) return false;
    const bool* flag = std::get_if<bool>(&value);
    return flag && *flag;
}

constexpr double kActivateConfirmation = 0.3;
// How long after a window that takes no keyboard focus came in front the keyboard is watched, and how
// often: a window manager that hands the keyboard on does so at once.
constexpr Nanos kKeyboardHandedOnWithin = milliseconds(300);
constexpr Nanos kKeyboardCheckInterval = milliseconds(20);
constexpr double kScriptConfirmation = 0.5;
// Enough for the presses of a held Alt+Tab whose windows the window manager brings forward late.
constexpr std::size_t kRecentlyAskedKept = 8;

// Starts the open request and gives back what will learn its end: true when its completion ran, false
// when it gave up waiting. The resolvers live in the blocks alone, so a loop that goes away with them
// pending takes the waiting task with it.
platform::Future<bool> startOpen(platform::RunLoop& loop, platform::Workspace& workspace,
                                 const std::string& bundleID, bool activates, double giveUpAfter) {
    auto made = platform::makeFuture<bool>(loop);
    // A named copy rather than a structured binding: clang 14 cannot capture a binding in a lambda.
    const platform::Resolver<bool> resolver = made.second;
    platform::WorkItemRef giveUp =
        loop.postAfter(seconds(giveUpAfter), [resolver] { resolver.resolve(false); });
    workspace.openApplication(bundleID, activates, false,
                              [resolver, giveUp](platform::OpenApplicationResult) {
                                  giveUp->cancel();
                                  resolver.resolve(true);
                              });
    return std::move(made.first);
}

} // namespace

Task<void> WindowActivator::runActivateWindow(std::weak_ptr<WindowActivator> weak, AXElement window,
                                              std::string reason, bool allowAllWindows,
                                              std::function<void(bool)> completion) {
    auto self = weak.lock();
    if (!self) co_return;
    const bool result = co_await self->activateWindowAsync(window, reason, allowAllWindows);
    if (completion) self->platform().runLoop().post([completion, result] { completion(result); });
}

Task<bool> WindowActivator::runActivationOperation(std::weak_ptr<WindowActivator> weak, AXElement window,
                                                   std::string reason, pid_t pid, ActivationStrategy strategy,
                                                   bool allowAllWindows, CancellationToken token,
                                                   platform::CancellationSource supersession,
                                                   KeyboardAtRequest keyboardAtRequest) {
    auto self = weak.lock();
    if (!self) co_return false;
    Overtaken overtaken =
        self->overtakenCheck(std::move(supersession), reason, pid, std::move(keyboardAtRequest));
    co_return co_await self->runActivationAttempts(window, reason, pid, strategy, allowAllWindows, token,
                                                   std::move(overtaken));
}

std::optional<WindowID> WindowActivator::keyboardWindow() {
    const auto focused = ax_->focusedWindow();
    return focused ? ax_->windowID(*focused) : std::nullopt;
}

WindowActivator::Overtaken WindowActivator::overtakenCheck(platform::CancellationSource supersession,
                                                           std::string reason, pid_t pid,
                                                           KeyboardAtRequest keyboardAtRequest) {
    // Not the user's choice either: where the keyboard is as the request starts, after the requests
    // before it.
    std::vector<WindowID> notChosen = std::move(keyboardAtRequest.askedBefore);
    if (keyboardAtRequest.holder) notChosen.push_back(*keyboardAtRequest.holder);
    if (const auto atStart = keyboardWindow()) notChosen.push_back(*atStart);
    Overtaken overtaken;
    overtaken.superseded = supersession.token();
    overtaken.byTheUser = [weak = weak_from_this(), supersession, reason = std::move(reason), pid,
                           holder = keyboardAtRequest.holder, holderIsOwn = keyboardAtRequest.holderIsOwn,
                           handedOn = false, notChosen = std::move(notChosen)]() mutable {
        auto self = weak.lock();
        if (!self) return false;
        const auto focused = self->ax_->focusedWindow();
        const std::optional<WindowID> now = focused ? self->ax_->windowID(*focused) : std::nullopt;
        if (!now) return false;
        // Another window of the application asked for (a dialog it opened, a window it focuses for it) is
        // where the request was going.
        pid_t owner = 0;
        if (self->platform().accessibility().pidOf(*focused, owner) != AXError::success) owner = 0;
        if (owner == pid) return false;
        // This program's window that had the keyboard closes as the request is made, and the window
        // manager hands the keyboard on to a window of its own choosing (the one that had it before): that
        // first hand-on is not the user's.
        if (holderIsOwn && !handedOn && owner != 0 && !isOwnProcess(self->platform(), owner) &&
            std::find(notChosen.begin(), notChosen.end(), *now) == notChosen.end()) {
            handedOn = true;
            notChosen.push_back(*now);
            return false;
        }
        // Only the user opens this program's own windows (a switcher, "Save Scene"): one that took the
        // keyboard since the request, however soon, was asked for after it.
        const bool ownOpened = owner != 0 && isOwnProcess(self->platform(), owner) && now != holder;
        // Without knowing where the keyboard was, nothing tells another window from the user's choice.
        const bool movedOn = holder && std::find(notChosen.begin(), notChosen.end(), *now) == notChosen.end();
        if (!ownOpened && !movedOn) return false;
        Log::wm.info("[AsyncActivation:%s] The keyboard went to wid=%u since the request; it stays there",
                     reason, *now);
        supersession.cancel();
        return true;
    };
    return overtaken;
}

WindowActivator::WindowActivator(std::shared_ptr<AXUtil> ax) : ax_(std::move(ax)) {}

platform::Platform& WindowActivator::platform() const {
    return ax_->platform();
}

void WindowActivator::activateWindow(const AXElement& window, const std::string& reason, bool allowAllWindows,
                                     std::function<void(bool)> completion) {
    platform::spawn(platform().runLoop(), runActivateWindow(weak_from_this(), window, reason, allowAllWindows,
                                                            std::move(completion)));
}

void WindowActivator::handleWindowFirstResult(const std::weak_ptr<WindowActivator>& activator, bool result,
                                              const std::string& tag,
                                              const std::optional<std::string>& fallbackTag,
                                              bool allowFallback, const AXElement& window,
                                              std::function<void(bool)> completion) {
    auto self = activator.lock();
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

void WindowActivator::reportActivationResult(bool result, const std::string& tag,
                                             const std::function<void(bool)>& completion) {
    if (!result) Log::wm.error("%s: activation failed", tag);
    if (completion) completion(result);
}

Task<bool> WindowActivator::activateWindowAsync(AXElement window, std::string reason, bool allowAllWindows) {
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

    // Only an application that came to the front while its window's focus could not be confirmed is
    // one the careful strategy may help. One that never came forward was held back by the desktop (a
    // window on another desktop, a window that never takes the keyboard), and the careful strategy's
    // further steps could only bring another of its windows forward.
    if (isCycleReason(reason) && pid != 0 && isAppFrontmost(pid)) {
        auto app = p.workspace().runningApplication(pid);
        if (app && app->bundleID) {
            const std::string& bundleID = *app->bundleID;
            auto store = FocusWhitelistStore::shared();
            if (!store->bundleIds.count(bundleID) && !store->runtimeBundleIds.count(bundleID)) {
                Log::wm.error("[AsyncActivation:%s] Adding to runtime focus whitelist after repeated "
                              "failures bundle=%s",
                              reason, bundleID);
                store->addToRuntimeWhitelist(bundleID);
            }
        }
    }
    co_return false;
}

void WindowActivator::enqueueActivation(const AXElement& window, const std::string& reason, pid_t pid,
                                        const ActivationStrategy& strategy, bool allowAllWindows,
                                        std::function<void(bool)> completion) {
    ActivationTask task;
    task.pid = pid;
    task.axWindow = window;
    task.reason = reason;
    task.timeout = strategy.timeout;
    const CancellationToken superseded = task.supersession.token();
    // Where the keyboard is as the user asks: a later choice of the user's is told from it.
    const auto holder = ax_->focusedWindow();
    KeyboardAtRequest keyboardAtRequest{holder ? ax_->windowID(*holder) : std::nullopt, recentlyAsked_,
                                        holder && isOwnWindow(platform(), *holder)};
    if (const auto asked = ax_->windowID(window)) {
        recentlyAsked_.push_back(*asked);
        if (recentlyAsked_.size() > kRecentlyAskedKept) recentlyAsked_.erase(recentlyAsked_.begin());
    }
    task.operation = [weak = weak_from_this(), window, reason, pid, strategy, allowAllWindows,
                      supersession = task.supersession,
                      keyboardAtRequest = std::move(keyboardAtRequest)](CancellationToken token) {
        return runActivationOperation(weak, window, reason, pid, strategy, allowAllWindows, std::move(token),
                                      supersession, keyboardAtRequest);
    };
    // Its failure is no failure of the application's: the user went on to another window before it
    // could succeed. Dropping the completion drops whatever waits for it.
    task.completion = [completion = std::move(completion), superseded](bool result) {
        if (!result && superseded.isCancelled()) return;
        if (completion) completion(result);
    };
    ActivationQueue::shared()->enqueue(std::move(task));
}

Task<bool> WindowActivator::runActivationAttempts(AXElement window, std::string reason, pid_t pid,
                                                  ActivationStrategy strategy, bool allowAllWindows,
                                                  CancellationToken cancellation, Overtaken overtaken) {
    // A window that never takes the keyboard (a clock, a pair of eyes) is brought to the front and left
    // there: every attempt would wait in vain for its focus, hold the queue, and end in a failure that
    // marks its application as one needing the slow strategy.
    if (pid != 0 && !ax_->takesKeyboardFocus(window))
        co_return co_await raiseWithoutFocus(window, reason, cancellation, overtaken);
    const int maxAttempts = std::max(1, strategy.retryCount);
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        // Raised again after the window the user asked for or chose since, this one would stand in front
        // of the window that has the keyboard.
        if (overtaken()) {
            Log::wm.info("[AsyncActivation:%s] Overtaken after %ld of %ld attempts", reason, attempt - 1,
                         maxAttempts);
            co_return false;
        }
        const bool done = co_await performActivationAttempt(window, reason, pid, strategy, allowAllWindows,
                                                            attempt, maxAttempts, cancellation, overtaken);
        if (done) co_return true;
        if (attempt < maxAttempts)
            co_await platform::sleepFor(platform().runLoop(), milliseconds(100), cancellation);
    }
    if (overtaken()) {
        Log::wm.info("[AsyncActivation:%s] Overtaken after %ld of %ld attempts", reason, maxAttempts,
                     maxAttempts);
        co_return false;
    }
    Log::wm.error("[AsyncActivation:%s] Failed after %ld attempts strategy=%s", reason, maxAttempts,
                  strategy.name);
    co_return false;
}

Task<bool> WindowActivator::raiseWithoutFocus(AXElement window, std::string reason,
                                              CancellationToken cancellation, Overtaken overtaken) {
    if (overtaken()) co_return false;
    auto& p = platform();
    auto& accessibility = p.accessibility();
    if (readsTrue(accessibility, window, "AXMinimized")) {
        accessibility.setAttribute(window, "AXMinimized", AXValue(false));
        co_await platform::sleepFor(p.runLoop(), milliseconds(100), cancellation);
        if (overtaken()) co_return false;
    }
    // On a desktop not shown, the window comes forward with its desktop, as a pager brings it; and the
    // keyboard cannot stay with a window of the desktop left, nor be given back to one.
    const bool elsewhere = readsTrue(accessibility, window, platform::kOtherDesktopAttribute);
    const auto had = ax_->focusedWindow();
    const std::optional<WindowID> hadNumber = had ? ax_->windowID(*had) : std::nullopt;
    if (elsewhere) accessibility.setAttribute(window, platform::kOtherDesktopAttribute, AXValue(false));
    if (const AXError raised = accessibility.performAction(window, "AXRaise"); raised != AXError::success) {
        Log::wm.error("[AsyncActivation:%s] Raising a window that takes no keyboard focus failed: %d", reason,
                      platform::axErrorCode(raised));
        co_return false;
    }
    if (elsewhere) {
        Log::wm.info("[AsyncActivation:%s] Raised a window that takes no keyboard focus with its desktop",
                     reason);
        co_return true;
    }
    Log::wm.info("[AsyncActivation:%s] Raised a window that takes no keyboard focus; the focus stays",
                 reason);
    if (!hadNumber) co_return true;

    // A window manager may hand the keyboard on as such a window comes in front, to a window of another
    // zone or monitor: the keyboard stays with the window that had it, so it is given back.
    const std::optional<WindowID> raisedNumber = ax_->windowID(window);
    std::optional<WindowID> now;
    for (Nanos waited = 0; waited < kKeyboardHandedOnWithin && !cancellation.isCancelled();
         waited += kKeyboardCheckInterval) {
        co_await platform::sleepFor(p.runLoop(), kKeyboardCheckInterval, cancellation);
        const auto focused = ax_->focusedWindow();
        now = focused ? ax_->windowID(*focused) : std::nullopt;
        if (now && *now != *hadNumber && now != raisedNumber) break;
        now.reset();
    }
    // The keyboard handed on by the window manager looks like the user's choice here: only a later
    // request keeps it from being given back.
    if (!now || overtaken.superseded.isCancelled()) co_return true;
    Log::wm.info("[AsyncActivation:%s] The keyboard went to wid=%u as the window came in front; giving it "
                 "back to wid=%u",
                 reason, *now, *hadNumber);
    pid_t hadPid = 0;
    if (accessibility.pidOf(*had, hadPid) == AXError::success && hadPid != 0)
        p.workspace().activate(hadPid, 0);
    accessibility.setAttribute(*had, "AXMain", AXValue(true));
    accessibility.setAttribute(*had, "AXFocused", AXValue(true));
    accessibility.performAction(window, "AXRaise");
    co_return true;
}

Task<bool> WindowActivator::performActivationAttempt(AXElement window, std::string reason, pid_t pid,
                                                     ActivationStrategy strategy, bool allowAllWindows,
                                                     int attempt, int maxAttempts,
                                                     CancellationToken cancellation, Overtaken overtaken) {
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
    const std::optional<WindowID> expectedWindowID = ax_->windowID(window);

    Log::wm.info("[AsyncActivation:%s] Starting strategy=%s%s timeout=%fs", reason, strategy.name,
                 attemptSuffix, strategy.timeout);

    const AXValue yes(true);
    const AXValue no(false);
    // Each step that raises or activates comes only while no later request has come: what a step waits
    // for is checked after the wait.
    if (readsTrue(accessibility, window, "AXMinimized")) {
        accessibility.setAttribute(window, "AXMinimized", no);
        co_await platform::sleepFor(loop, milliseconds(100), cancellation);
        if (overtaken()) co_return false;
    }
    accessibility.performAction(window, "AXRaise");
    accessibility.setAttribute(window, "AXMain", yes);
    co_await platform::sleepFor(loop, milliseconds(30), cancellation);
    if (overtaken()) co_return false;

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
        if (overtaken()) co_return false;
    }

    const bool activated = co_await activateApplicationAsync(
        *app, reason, pid, bundleId, strategy.useFallback, allowAllWindows, overtaken);
    if (overtaken()) co_return false;
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
            } else if (strategy.useFallback && !overtaken()) {
                const bool forced = co_await forceFrontmost(pid, reason);
                if (!forced)
                    Log::wm.error(
                        "[AsyncActivation:%s] Timeout waiting for frontmost, force frontmost failed", reason);
            } else {
                Log::wm.info("[AsyncActivation:%s] Timeout waiting for frontmost, continuing anyway", reason);
            }
        }
    }

    if (overtaken()) co_return false;
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
    if (auto wid = ax_->windowID(window); wid && onWindowFocus) onWindowFocus(*wid);
    co_return true;
}

WindowActivator::FocusVerification
WindowActivator::verifyFocus(const AXElement& window, std::optional<WindowID> expectedWindowID, pid_t pid) {
    auto& accessibility = platform().accessibility();
    if (axNumberAttribute(accessibility, window, "AXFocused").value_or(false)) return {};
    if (axNumberAttribute(accessibility, window, "AXMain").value_or(false)) return {};
    auto focused = ax_->focusedWindow();
    if (!focused) focused = ax_->focusedWindowSystemWide();
    if (expectedWindowID && focused) {
        if (auto actual = ax_->windowID(*focused)) {
            if (*actual == *expectedWindowID) return {};
            return {
                FocusVerification::Kind::failed,
                platform::format("focused wid mismatch expected=%u actual=%u", *expectedWindowID, *actual)};
        }
    }
    return {FocusVerification::Kind::inconclusive, isAppFrontmost(pid)
                                                       ? "focused window unavailable; app frontmost"
                                                       : "focused window unavailable; app not frontmost"};
}

// ---- Bringing the application forward ----

bool WindowActivator::isAppFrontmost(pid_t pid) {
    auto& p = platform();
    if (auto front = p.workspace().frontmostApplication(); front && front->pid == pid) return true;
    AXValue value;
    auto& accessibility = p.accessibility();
    if (accessibility.copyAttribute(accessibility.applicationElement(pid), "AXFrontmost", value) !=
        AXError::success)
        return false;
    const bool* flag = std::get_if<bool>(&value);
    return flag && *flag;
}

Task<bool> WindowActivator::waitForAppFrontmost(pid_t pid, double timeout) {
    const Nanos limit = timeout > 0 ? seconds(std::min(timeout, 1e6)) : 0;
    std::function<bool()> check = [this, pid] { return isAppFrontmost(pid); };
    co_return co_await platform::pollUntil(platform().runLoop(), milliseconds(50), limit, check);
}

Task<void> WindowActivator::openApplicationAndWait(platform::Workspace& workspace, std::string bundleID,
                                                   bool activates) {
    auto answered = startOpen(platform().runLoop(), workspace, bundleID, activates, kOpenApplicationTimeout);
    const bool completed = co_await answered;
    if (!completed) {
        // A launch that never reports back would otherwise hold the activation queue for good.
        Log::wm.error("openApplicationAndWait: no completion for bundle=%s after %.1fs; giving up", bundleID,
                      kOpenApplicationTimeout);
    }
}

Task<bool> WindowActivator::activateApplicationAsync(platform::RunningApplication app, std::string reason,
                                                     pid_t pid, std::string bundleId, bool useFallback,
                                                     bool allowAllWindows, std::function<bool()> overtaken) {
    auto& workspace = platform().workspace();
    auto& accessibility = platform().accessibility();
    const auto overtakenNow = [&overtaken] { return overtaken && overtaken(); };
    const ActivationStrategy strategy = ActivationStrategy::strategy(std::optional<std::string>(bundleId));
    Log::wm.info("[%s] Activating app %s (pid=%d) using strategy: %s", reason, bundleId, pid, strategy.name);
    // The steps that name the application by its identifier, taken only where that reaches this process
    // alone: otherwise they would give the keyboard to another window than the one asked for.
    const bool byIdentifier = identifierReachesOnly(workspace, bundleId, pid);
    if (!byIdentifier && (strategy.useAppleScript || useFallback))
        Log::wm.info("[%s] %s names other processes than pid=%d, or none: not activated by it", reason,
                     bundleId, pid);

    const bool activated = workspace.activate(app.pid, allowAllWindows ? platform::kActivateAllWindows : 0u);
    Log::wm.info("[%s] _NET_ACTIVE_WINDOW request returned %{bool}d", reason, activated);
    if (activated) {
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after activate", reason);
            co_return true;
        }
        Log::wm.error("[%s] Activate returned true but app is not frontmost", reason);
    }
    // Each method after a wait only while the request has not been overtaken.
    if (overtakenNow()) co_return false;

    const AXValue frontmost(true);
    if (accessibility.setAttribute(accessibility.applicationElement(pid), "AXFrontmost", frontmost) ==
        AXError::success) {
        Log::wm.info("[%s] AX frontmost set succeeded", reason);
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after AX frontmost", reason);
            co_return true;
        }
    }
    if (overtakenNow()) co_return false;

    if (strategy.useAppleScript && byIdentifier) {
        Log::wm.info("[%s] Fast-tracking to activation by app id for %s", reason, bundleId);
        if (AppleScriptActivator::shared()->activate(bundleId)) {
            if (co_await waitForAppFrontmost(pid, kScriptConfirmation)) {
                Log::wm.info("[%s] App is frontmost after Fast-Track activation by app id", reason);
                co_return true;
            }
        }
    }

    if (!useFallback) {
        Log::wm.info("[%s] Skipping fallback activation methods", reason);
        co_return false;
    }
    if (overtakenNow()) co_return false;

    const bool activatedAgain = workspace.activate(app.pid, 0u);
    Log::wm.info("[%s] _NET_ACTIVE_WINDOW fallback returned %{bool}d", reason, activatedAgain);
    if (activatedAgain) {
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after activate fallback", reason);
            co_return true;
        }
        Log::wm.error("[%s] Activate fallback returned true but app is not frontmost", reason);
    }
    if (overtakenNow()) co_return false;

    if (byIdentifier && workspace.urlForApplication(bundleId)) {
        co_await openApplicationAndWait(workspace, bundleId, true);
        Log::wm.info("[%s] Desktop entry launch attempted", reason);
        if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
            Log::wm.info("[%s] App is frontmost after desktop entry launch", reason);
            co_return true;
        }
    }
    if (overtakenNow()) co_return false;

    if (strategy.useAppleScript && byIdentifier) {
        Log::wm.info("[%s] Trying activation by app id (final fallback)", reason);
        if (AppleScriptActivator::shared()->activate(bundleId)) {
            if (co_await waitForAppFrontmost(pid, kScriptConfirmation)) {
                Log::wm.info("[%s] App is frontmost after activation by app id", reason);
                co_return true;
            }
        }
    }

    Log::wm.error("[%s] All activation methods failed for pid=%d", reason, pid);
    co_return false;
}

Task<bool> WindowActivator::forceFrontmost(pid_t pid, std::string reason) {
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
    Log::wm.info("[%s] _NET_ACTIVE_WINDOW fallback returned %{bool}d", reason, activated);
    if (!activated) co_return false;
    if (co_await waitForAppFrontmost(pid, kActivateConfirmation)) {
        Log::wm.info("[%s] Forced frontmost via _NET_ACTIVE_WINDOW", reason);
        co_return true;
    }
    Log::wm.error("[%s] Activate fallback returned true but app is not frontmost", reason);
    co_return false;
}

} // namespace korvane
