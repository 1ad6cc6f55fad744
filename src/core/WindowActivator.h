// Brings one given window of another application to the front with the keyboard focus: the request on
// the activation queue with its attempts and focus check, and the chain that brings the window's
// application forward.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Cancellation.h"
#include "platform/Task.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

class AXUtil;
struct ActivationStrategy;

namespace platform {
class Platform;
}

// Confined to the main thread. Owned by a shared_ptr: the asynchronous steps are tasks on the main run
// loop that hold the activator weakly until they start and do nothing once it is gone. Between requests it
// keeps only the windows the last few asked for, whose coming forward late is no choice of the user's.
class WindowActivator : public std::enable_shared_from_this<WindowActivator> {
  public:
    // An open request that never reports back is given up after this many seconds.
    static constexpr double kOpenApplicationTimeout = 5.0;

    explicit WindowActivator(std::shared_ptr<AXUtil> ax);
    WindowActivator(const WindowActivator&) = delete;
    WindowActivator& operator=(const WindowActivator&) = delete;

    // Returns at once and queues one request for the strategy of the window's application. The
    // completion, when given, gets the result on the main queue: true when the window was activated and
    // its focus confirmed, or accepted on the last attempt; a window that takes no keyboard focus is
    // only raised, and true once it is in front, the focus left where it was (on a desktop not shown, its
    // desktop is shown first and the keyboard goes where the window manager puts it). A failed cycle
    // ("Cycle" in the reason) whose application is frontmost all the same adds it to the runtime focus
    // whitelist unless a whitelist already holds it; one whose application never came forward adds
    // nothing. Nothing happens, and the completion is not called, once the activator is gone; a request
    // overtaken before it succeeded stops its attempts and reports nothing either: overtaken by a later
    // request, or by the user, once the keyboard went since the request to one of this program's own
    // windows (opened by a key), or to a window that is neither the one that had it then, nor one of the
    // window's application, nor one that earlier requests asked for (a click elsewhere).
    void activateWindow(const platform::AXElement& window, const std::string& reason, bool allowAllWindows,
                        std::function<void(bool)> completion = {});
    // What zone operations attach to a first activation: a failure is retried with all of the
    // application's windows under the fallback tag (the tag plus " (fallback)" when none is given) when
    // allowed. Does nothing, and calls nothing, once the activator is gone.
    static void handleWindowFirstResult(const std::weak_ptr<WindowActivator>& activator, bool result,
                                        const std::string& tag, const std::optional<std::string>& fallbackTag,
                                        bool allowFallback, const platform::AXElement& window,
                                        std::function<void(bool)> completion);
    // One request on the activation queue with a strategy the caller chose; the completion runs on the
    // main thread once the attempts have ended, however late after the strategy's time-out that is, unless
    // the request was overtaken (see activateWindow) before it succeeded: then no attempt starts after
    // that, none raises or activates anything more, and the completion is not called.
    void enqueueActivation(const platform::AXElement& window, const std::string& reason, pid_t pid,
                           const ActivationStrategy& strategy, bool allowAllWindows,
                           std::function<void(bool)> completion);

    // Brings the application to the front through ever more forceful methods, stopping at the first one
    // after which it is seen frontmost. `useFallback` allows the methods after the first three. The
    // methods that name the application by its identifier are left out where that reaches another
    // process than `pid` (identifierReachesOnly). Once `overtaken` answers true no further method is
    // tried, and the answer is false.
    platform::Task<bool> activateApplicationAsync(platform::RunningApplication app, std::string reason,
                                                  pid_t pid, std::string bundleId, bool useFallback,
                                                  bool allowAllWindows, std::function<bool()> overtaken = {});
    // The shorter chain for an application that should be frontmost by now: the accessibility attribute,
    // then one plain activation.
    platform::Task<bool> forceFrontmost(pid_t pid, std::string reason);
    // The workspace's frontmost application, else the application's "AXFrontmost" attribute.
    bool isAppFrontmost(pid_t pid);
    // Checks at once and every 50 ms until `timeout` seconds have passed, and once more after that.
    platform::Task<bool> waitForAppFrontmost(pid_t pid, double timeout);

    // Told the number of each window a request brought to the front.
    std::function<void(WindowID wid)> onWindowFocus;

  private:
    // The outcome of checking that an activated window has the keyboard focus.
    struct FocusVerification {
        enum class Kind { verified, failed, inconclusive };
        Kind kind = Kind::verified;
        std::string detail; // empty when verified
    };

    // Where the keyboard was as a request was made, and the windows the requests before it asked for:
    // the window manager may give one of those the keyboard after this request was made, and that is no
    // choice of the user's.
    struct KeyboardAtRequest {
        std::optional<WindowID> holder;
        std::vector<WindowID> askedBefore;
        // The holder is this program's own window (a switcher closing on the choice it was asked for).
        bool holderIsOwn = false;
    };
    // Asked before each step that would raise or activate again after a pause: whether the request has
    // been overtaken since it was made (see activateWindow). A request found overtaken by the user has its
    // supersession cancelled, so that its pauses end at once and its completion is dropped, as for a
    // later request.
    struct Overtaken {
        platform::CancellationToken superseded; // by a later request, or once the user's choice was seen
        std::function<bool()> byTheUser;        // looks at where the keyboard is
        bool operator()() const { return superseded.isCancelled() || (byTheUser && byTheUser()); }
    };

    platform::Platform& platform() const;
    // The task of activateWindow and the queued operation of a request; both hold the activator weakly
    // until they start.
    static platform::Task<void> runActivateWindow(std::weak_ptr<WindowActivator> weak,
                                                  platform::AXElement window, std::string reason,
                                                  bool allowAllWindows, std::function<void(bool)> completion);
    static platform::Task<bool>
    runActivationOperation(std::weak_ptr<WindowActivator> weak, platform::AXElement window,
                           std::string reason, pid_t pid, ActivationStrategy strategy, bool allowAllWindows,
                           platform::CancellationToken token, platform::CancellationSource supersession,
                           KeyboardAtRequest keyboardAtRequest);
    // The window with the keyboard now, by its number.
    std::optional<WindowID> keyboardWindow();
    // The check of a request, as it starts.
    Overtaken overtakenCheck(platform::CancellationSource supersession, std::string reason, pid_t pid,
                             KeyboardAtRequest keyboardAtRequest);
    static void reportActivationResult(bool result, const std::string& tag,
                                       const std::function<void(bool)>& completion);
    platform::Task<bool> activateWindowAsync(platform::AXElement window, std::string reason,
                                             bool allowAllWindows);
    // The request's operation and its attempts. Once `cancellation` fires (the request timed out or was
    // overtaken) their pauses end at once, while the steps themselves still run to their end; once
    // `overtaken` answers true, the step under way is the last.
    platform::Task<bool> runActivationAttempts(platform::AXElement window, std::string reason, pid_t pid,
                                               ActivationStrategy strategy, bool allowAllWindows,
                                               platform::CancellationToken cancellation, Overtaken overtaken);
    platform::Task<bool> raiseWithoutFocus(platform::AXElement window, std::string reason,
                                           platform::CancellationToken cancellation, Overtaken overtaken);
    platform::Task<bool> performActivationAttempt(platform::AXElement window, std::string reason, pid_t pid,
                                                  ActivationStrategy strategy, bool allowAllWindows,
                                                  int attempt, int maxAttempts,
                                                  platform::CancellationToken cancellation,
                                                  Overtaken overtaken);
    FocusVerification verifyFocus(const platform::AXElement& window, std::optional<WindowID> expectedWindowID,
                                  pid_t pid);
    // Returns when the open request's completion has run, or after kOpenApplicationTimeout seconds.
    platform::Task<void> openApplicationAndWait(platform::Workspace& workspace, std::string bundleID,
                                                bool activates);

    std::shared_ptr<AXUtil> ax_;
    // The windows the last requests asked for, the latest last.
    std::vector<WindowID> recentlyAsked_;
};

} // namespace korvane
