// The controller through which every zone operation on other applications' windows runs: its fields,
// callbacks and construction. The operations live in topic files (WMControllerPlacement.cpp, ...);
// bringing a window to the front is the WindowActivator's, which the controller holds.
#pragma once

#include "core/WinRef.h"
#include "core/ZoneMatch.h"
#include "platform/Accessibility.h"
#include "platform/Task.h"
#include "platform/Time.h"
#include "platform/WindowServer.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace korvane {

class AXUtil;
class MultiDisplayState;
class WMState;
class WindowActivator;

namespace platform {
class Platform;
}

// Whether a move brings the moved window's application to the front, or leaves the focus where it is.
enum class MoveActivation { activate, leaveFocus };

// How a move ended: the window in the zone (also where its frame cannot be read back to tell), the
// window clearly not in the zone after it (the window manager or the application kept it elsewhere), no
// state or zone of that id on the display (nothing moved), or a later move of the same window taken over
// before this one was checked (which then checks, reports and changes nothing more).
enum class MoveOutcome { placed, outsideZone, noZone, superseded };
// Told how a move ended, on the main run loop, never from inside the call that started the move.
using MoveCompletion = std::function<void(MoveOutcome)>;

// Confined to the main thread, operations not reentrant. Owned by a shared_ptr: deferred work that its
// operations start holds it (or its activator) weakly and does nothing once it is gone.
class WMController : public std::enable_shared_from_this<WMController> {
  public:
    // An instant before any other: pruning is never suppressed by default.
    static constexpr Nanos kDistantPast = std::numeric_limits<Nanos>::min();

    // Takes the process-wide accessibility wrapper.
    explicit WMController(std::shared_ptr<MultiDisplayState> multiState);
    WMController(std::shared_ptr<MultiDisplayState> multiState, std::shared_ptr<AXUtil> ax);
    ~WMController();
    WMController(const WMController&) = delete;
    WMController& operator=(const WMController&) = delete;

    // ---- Navigation and adoption (WMControllerNavigation.cpp, WMControllerAdoption.cpp) ----

    // Prunes the zone, then starts bringing the top of its stack to the front. True when an activation
    // was started; false when the display has no state or the zone no resolvable window.
    bool focusZone(int zoneID, const std::string& displayUUID);
    // Focuses the zone before (-1) or after (+1) the focused window's zone in ascending id order, wrapping
    // at both ends; starts from the smallest id when the focused window is in no zone.
    void focusAdjacentZone(int direction, const std::string& displayUUID);
    // Rotates the zone's stack (negative direction: backward) and activates the new top; windows whose
    // element cannot be resolved, or that are auxiliary, are detached from the zone on the way.
    void cycle(int region, const std::string& displayUUID, int direction);
    // The switcher's plain focus request for an element.
    void focusFallback(const platform::AXElement& element);
    // The zone of the display that best fits `frame`, given in bottom-left global coordinates like the
    // zone frames (a caller holding window-list bounds flips them first). Zone 1 as a fallback when the
    // display has no state or no zones.
    ZoneMatch zoneForFrame(const Rect& frame, const std::string& displayUUID);
    // Brings the focused window into the display's mapping: re-tops it in its zone (unless
    // topRaisedOverFocus), takes it over from another display, or carries a zone over from a vanished
    // window of the same process. A window of this program is left out.
    void adopt(const platform::AXElement& window, WindowID wid, const std::string& displayUUID);

    // ---- Placing windows (WMControllerPlacement.cpp) ----

    // Records the window on top of the zone, asks for the zone's frame and returns; the rest runs on the
    // main run loop without holding it: once the window manager has carried the move out
    // (AXUtil::awaitMoveResize), the frame is checked 50 ms later and set once more where it drifted; then
    // the window is raised, the mapping left to a reconcile when the window's number is not known yet,
    // its application activated when asked (activateApp) unless the keyboard went since the call to another
    // window than the one that had it then, and the move reported. A window that the check
    // finds clearly out of the zone is not placed: it is taken back out of the zone to where it stood before,
    // nothing is raised, activated or reported, and the outcome says so. For 3 s after the check the zone
    // follows the window (followMove): one that lands in it late joins it, one that moves itself back out
    // leaves it. A later move of the same window supersedes this one until its check; and a move raises and
    // activates nothing once a later move that activates its window has started.
    void moveWindow(const platform::AXElement& element, std::optional<WindowID> wid, pid_t pid, int toZone,
                    const std::string& displayUUID, const std::string& tag, MoveActivation activation,
                    MoveCompletion completion = {});
    // Exchanges the window with the top of the target zone, then focuses the source zone 0.1 s after both
    // moves have ended.
    void swapPush(const platform::AXElement& element, int from, int to, const std::string& displayUUID);
    // Brings the element's application to the front, then raises and focuses the element. Its steps are
    // 30 ms apart, waited for on the run loop's clock so that keys are served meanwhile; once `overtaken`
    // answers true, asked before the first step and after each pause, nothing more is raised, activated
    // or focused. Does nothing more once the controller is gone.
    static platform::Task<void> activateApp(std::weak_ptr<WMController> weak, platform::AXElement element,
                                            std::string tag, bool allowAllWindows,
                                            std::function<bool()> overtaken = {});
    // Maps the window to the zone once its number can be read, retrying every 0.12 s up to maxAttempts.
    void reconcileMapping(const platform::AXElement& element, pid_t pid, int zone,
                          const std::string& displayUUID, std::optional<WindowID> expected,
                          const std::string& tag, int attempt, int maxAttempts);

    // ---- Pruning (WMControllerPrune.cpp) ----

    // Drops windows that are gone or now on another display from the zone's stack and mapping. Does
    // nothing before `suppressPruneUntil`.
    void prune(int zone, WMState& state);
    // The UUID of the first screen whose frame (bottom-left global) contains the rectangle's centre.
    std::optional<std::string> displayUUID(const Rect& containingCenterOf);

    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<AXUtil> ax;
    std::function<void(WindowID wid, int zoneID)> onWindowMoved;
    std::function<void()> onLayoutChange;
    std::function<void(WindowID wid)> onWindowFocus;
    std::function<void(const std::string& displayUUID)> onCycleBounce;
    Nanos suppressPruneUntil = kDistantPast; // wall clock, ns since 1970

  private:
    platform::Platform& platform() const;

    // Activates the window on its own first; a failure goes to the activator's window-first handling,
    // which retries with all of the application's windows under `fallbackTag` when `allowFallback` is set.
    void startFocusRequest(const platform::AXElement& element, const std::string& reason,
                           const std::optional<std::string>& fallbackTag, bool allowFallback);
    // Makes the focused window the top of the zone when it belongs to the zone but is not the top,
    // unless topRaisedOverFocus.
    void syncStackTopWithFocus(int zone, WMState& state);
    // Whether the zone's top stands in front of the focused window on screen, being a window that takes
    // no keyboard focus (a clock) or the one the last cycle went to (which may ask for the keyboard and
    // never take it): a cycle raised it there (or the user did), and the focus it did not take says
    // nothing about where in the stack the user is. The next cycle goes on from the window in front.
    bool topRaisedOverFocus(int zone, WindowID focused, const WMState& state);
    // The element to activate for a window that a cycle brought to the top; nothing for a window that
    // cannot be found or is auxiliary.
    std::optional<platform::AXElement> resolveElementForCycle(WindowID wid, const WMState& state);
    // The element to activate for a zone's top: the managed element while it still reports this number,
    // else a fresh lookup; nothing for an unknown or auxiliary window. Writes no log line.
    std::optional<platform::AXElement> activatableElement(WindowID wid, const WMState& state);
    bool isAuxiliaryWindow(WindowID wid, const platform::AXElement& element, pid_t pid, const WMState& state);

    // A move under way: what it was asked, and what its check needs.
    struct PendingMove;
    static platform::Task<void> runMove(std::weak_ptr<WMController> weak, std::shared_ptr<AXUtil> ax,
                                        std::shared_ptr<PendingMove> move, MoveCompletion completion);
    // The end of a move once its frame is checked: placed or taken back, activated and reported.
    MoveOutcome finishMove(PendingMove& move);
    // Whether a later move of the same window took over.
    bool superseded(const PendingMove& move) const;
    // Watches the window for 3 s after its move's check: a window judged out of the zone whose frame then
    // lands in it (a window manager that carried the move out late) joins the zone, and one in the zone
    // that moves clearly out of it again (as the move's check judges it) goes back to where it was
    // before the move. Stands down once a later move of the window starts, another frame is asked of
    // it, the zone's frame changes, the window is placed anew by something else, or it goes.
    static platform::Task<void> followMove(std::weak_ptr<WMController> weak, std::shared_ptr<AXUtil> ax,
                                           std::shared_ptr<PendingMove> move);
    // One look of that watch; false once it is to end.
    bool followStep(PendingMove& move);
    // Whether the keyboard went, since the move was asked for, to another window than the one that had it
    // then and the one moved: the user's choice (a click), which the move does not take back.
    bool keyboardMovedOn(const PendingMove& move);

    // Whether the frame is to be set once more: any side off by more than 2.0 points, or the frame
    // unreadable; the frame the window tells it takes for the target (its size steps and limits) counts
    // as in place. `told` is that frame as the window told it to the move; without it the window is
    // asked now.
    bool frameDrifted(const platform::AXElement& element, const Rect& target,
                      const std::optional<Rect>& told);

    // The window server's entry for one window; nothing when it is not listed or is on another layer.
    std::optional<platform::WindowInfo> windowListEntry(WindowID wid);

    // Outlives the controller only while one of its requests runs; the controller's destructor cuts its
    // way back to `onWindowFocus`.
    std::shared_ptr<WindowActivator> activator_;
    // The window the last cycle brought to the top and asked to activate.
    std::optional<WindowID> cycledTo_;
    // Moves are numbered as they start: the latest one of each window, and the latest one asked to
    // activate, are the ones still to act.
    std::uint64_t lastMove_ = 0;
    std::unordered_map<platform::AXElement, std::weak_ptr<PendingMove>, platform::AXElementHash>
        latestMoveOf_;
    std::uint64_t latestActivatingMove_ = 0;
};

} // namespace korvane
