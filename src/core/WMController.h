// The controller through which every zone operation on other applications' windows runs: its fields,
// callbacks and construction. The operations live in topic files (WMControllerAuxiliary.cpp, ...).
#pragma once

#include "core/WinRef.h"
#include "core/ZoneMatch.h"
#include "platform/Accessibility.h"
#include "platform/Time.h"
#include "platform/Cancellation.h"
#include "platform/Task.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane {

class AXUtil;
class MultiDisplayState;
class WMState;
struct ActivationStrategy;

namespace platform {
class Platform;
}

// Confined to the main thread, operations not reentrant. Owned by a shared_ptr: deferred work that its
// operations start holds it weakly and does nothing once it is gone.
class WMController : public std::enable_shared_from_this<WMController> {
  public:
    // An instant before any other: pruning is never suppressed by default.
    static constexpr Nanos kDistantPast = std::numeric_limits<Nanos>::min();

    // Takes the process-wide accessibility wrapper.
    explicit WMController(std::shared_ptr<MultiDisplayState> multiState);
    WMController(std::shared_ptr<MultiDisplayState> multiState, std::shared_ptr<AXUtil> ax);
    WMController(const WMController&) = delete;
    WMController& operator=(const WMController&) = delete;

    // The desktop the controller acts on: the one its accessibility wrapper talks to.
    platform::Platform& platform() const;

    // Whether the window is an auxiliary window or decoy strip of its application, judged within the
    // application's windows that `state` manages. Hidden, minimised, frameless or degenerate windows under
    // test are never auxiliary. Never logs.
    bool isAuxiliaryWindow(WindowID wid, const platform::AXElement& ax, pid_t pid, const WMState& state);

    // ---- Zone operations: navigation and adoption (WMControllerNavigation.cpp, WMControllerAdoption.cpp),
    // placing windows (WMControllerPlacement.cpp) and stack pruning (WMControllerPrune.cpp). ----

    // Prunes the zone, then starts bringing the top of its stack to the front. True when an activation
    // was started; false when the display has no state or the zone no resolvable window.
    bool focusZone(int zoneID, const std::string& displayUUID);
    // Focuses the zone before (-1) or after (+1) the focused window's zone in ascending id order, wrapping
    // at both ends; starts from the smallest id when the focused window is in no zone.
    void focusAdjacentZone(int direction, const std::string& displayUUID);
    // Rotates the zone's stack (negative direction: backward) and activates the new top; windows whose
    // element cannot be resolved are detached from the zone on the way.
    void cycle(int region, const std::string& displayUUID, int direction);
    // The zone of the display that best fits `frame`, given in bottom-left global coordinates like the
    // zone frames (a caller holding window-list bounds flips them first). Zone 1 as a fallback when the
    // display has no state or no zones.
    ZoneMatch zoneForFrame(const Rect& frame, const std::string& displayUUID);
    // Brings the focused window into the display's mapping: re-tops it in its zone, takes it over from
    // another display, or carries a zone over from a vanished window of the same process.
    void adopt(const platform::AXElement& window, WindowID wid, const std::string& displayUUID);
    // The switcher's plain focus request for an element.
    void focusFallback(const platform::AXElement& element);
    // Makes the focused window the top of the zone when it belongs to the zone but is not the top.
    void syncStackTopWithFocus(int zone, WMState& state);
    // The element to activate for a window that a cycle brought to the top; nothing for a window that
    // cannot be found or is auxiliary.
    std::optional<platform::AXElement> resolveElementForCycle(WindowID wid, const WMState& state);

    // Records the window on top of the zone, gives it the zone's frame and checks it 50 ms later (the
    // calling thread blocks), optionally activates its application, reports the move and leaves the
    // mapping to a reconcile when the window's number is not known yet.
    void moveWindow(const platform::AXElement& element, std::optional<WindowID> wid, pid_t pid, int toZone,
                    const std::string& displayUUID, const std::string& tag, bool activate);
    // Exchanges the window with the top of the target zone, then focuses the source zone 0.1 s later.
    void swapPush(const platform::AXElement& element, int from, int to, const std::string& displayUUID);
    // Sets the frame once more when any side is off by more than 2.0 points, or when it cannot be read.
    void reapplyFrameIfDrifted(const platform::AXElement& element, const Rect& target);
    // Brings the element's application to the front synchronously (pausing 30 ms between steps), then
    // raises and focuses the element.
    void activateApp(const platform::AXElement& element, const std::string& tag, bool allowAllWindows);
    // Maps the window to the zone once its number can be read, retrying every 0.12 s up to maxAttempts.
    void reconcileMapping(const platform::AXElement& element, pid_t pid, int zone, const std::string& displayUUID,
                          std::optional<WindowID> expected, const std::string& tag, int attempt,
                          int maxAttempts);

    // Drops windows that are gone or now on another display from the zone's stack and mapping. Does
    // nothing before `suppressPruneUntil`.
    void prune(int zone, WMState& state);
    // The window server's entry for one window; nothing when it is not listed or is on another layer.
    std::optional<platform::WindowInfo> windowListEntry(WindowID wid);
    // The UUID of the first screen whose frame (bottom-left global) contains the rectangle's centre.
    std::optional<std::string> displayUUID(const Rect& containingCenterOf);

    // ---- end of zone operations ----

    // ---- Activation: window activation (WMControllerActivation.cpp) and application activation
    // (WMControllerAppActivation.cpp). Everything runs on the main thread; the asynchronous steps are
    // tasks on its run loop that hold the controller weakly until they start. ----

    // The outcome of checking that an activated window has the keyboard focus.
    struct FocusVerification {
        enum class Kind { verified, failed, inconclusive };
        Kind kind = Kind::verified;
        std::string detail; // empty when verified
    };

    // The element to activate for a window: the managed element while it still reports this number, else
    // a fresh lookup; nothing for an unknown or auxiliary window. Writes no log line.
    std::optional<platform::AXElement> activatableElement(WindowID wid, const WMState& state);
    // Returns at once; the completion, when given, gets the result on the main queue. Nothing happens,
    // and the completion is not called, once the controller is gone.
    void activateWindow(const platform::AXElement& window, const std::string& reason, bool allowAllWindows,
                        std::function<void(bool)> completion = {});
    // What zone operations attach to a first activation: a failure is retried with all of the
    // application's windows under the fallback tag (the tag plus " (fallback)" when none is given) when
    // allowed. Does nothing once the controller is gone.
    static void handleWindowFirstResult(const std::weak_ptr<WMController>& controller, bool result,
                                        const std::string& tag, const std::optional<std::string>& fallbackTag,
                                        bool allowFallback, const platform::AXElement& window,
                                        std::function<void(bool)> completion);
    static void reportActivationResult(bool result, const std::string& tag,
                                       const std::function<void(bool)>& completion);
    // One request on the activation queue; true when the window was activated and its focus confirmed, or
    // accepted on the last attempt. A failed cycle ("Cycle" in the reason) adds the application to the
    // runtime focus whitelist unless a whitelist already holds it.
    platform::Task<bool> activateWindowAsync(platform::AXElement window, std::string reason, bool allowAllWindows);
    void enqueueActivation(const platform::AXElement& window, const std::string& reason, pid_t pid,
                           const ActivationStrategy& strategy, bool allowAllWindows,
                           std::function<void(bool)> completion);
    // The request's operation and its attempts. Once `cancellation` fires (the request timed out) their
    // pauses end at once, while the steps themselves still run to their end.
    platform::Task<bool> runActivationAttempts(platform::AXElement window, std::string reason, pid_t pid,
                                               ActivationStrategy strategy, bool allowAllWindows,
                                               platform::CancellationToken cancellation);
    platform::Task<bool> performActivationAttempt(platform::AXElement window, std::string reason, pid_t pid,
                                                  ActivationStrategy strategy, bool allowAllWindows, int attempt,
                                                  int maxAttempts, platform::CancellationToken cancellation);
    FocusVerification verifyFocus(const platform::AXElement& window, std::optional<WindowID> expectedWindowID,
                                  pid_t pid);

    // Brings the application to the front through ever more forceful methods, stopping at the first one
    // after which it is seen frontmost. `useFallback` allows the methods after the first three.
    platform::Task<bool> activateApplicationAsync(platform::RunningApplication app, std::string reason, pid_t pid,
                                                  std::string bundleId, bool useFallback, bool allowAllWindows);
    // The workspace's frontmost application, else the application's "AXFrontmost" attribute.
    bool isAppFrontmost(pid_t pid);
    // Checks at once and every 50 ms until `timeout` seconds have passed, and once more after that.
    platform::Task<bool> waitForAppFrontmost(pid_t pid, double timeout);
    platform::Task<bool> forceFrontmost(pid_t pid, std::string reason);
    // Returns when the open request's completion has run, or after kOpenApplicationTimeout seconds.
    platform::Task<void> openApplicationAndWait(platform::Workspace& workspace, std::string bundleID, bool activates);
    static constexpr double kOpenApplicationTimeout = 5.0;

    // ---- end of activation ----

    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<AXUtil> ax;
    std::function<void(WindowID wid, int zoneID)> onWindowMoved;
    std::function<void()> onLayoutChange;
    std::function<void(WindowID wid)> onWindowFocus;
    std::function<void(const std::string& displayUUID)> onCycleBounce;
    Nanos suppressPruneUntil = kDistantPast; // wall clock, ns since 1970
};

} // namespace korvane
