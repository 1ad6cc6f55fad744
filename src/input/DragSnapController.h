// Snapping an ordinarily dragged window into the zone under the cursor when it is released. Observes the
// mouse tap's events and never consumes them: the window manager moves the window, Korvane snaps it after.
#pragma once

#include "input/MouseEventTap.h"
#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/Time.h"
#include "platform/WindowServer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace korvane {

class MultiDisplayState;
class WMController;
class ZoneHighlightController;

namespace platform {
class ObserverToken;
class Platform;
class UserDefaults;
} // namespace platform

// Main thread only. Holds the zone controller and the zone state weakly: the application owns them.
//
// Which drags snap: a left drag is a window drag once, with the cursor at least `activationDistance` from
// where the drag began, the window focused when it began stands elsewhere at the same size (the window
// manager moved it with the cursor). A window whose size changed is being resized from an edge that moves
// its origin too, never dragged, unless the window manager fitted it to the monitor it was carried onto,
// as it does a maximised window (it filled its monitor and fills the other one in each side that changed,
// by the drag's judgement or at the release); a maximised window, which the window manager keeps in place
// while the pointer is on its monitor, is judged again once the pointer is on another one. When the focus
// went to another window during the press (the
// press focused it) that window is judged afresh, from there on. A drag that begins on a window of the
// frontmost application, when "DragSnapBlacklist" lists it (in any case), counts without the move test, for
// applications that move their windows themselves; a drag begun anywhere else (the desktop, another
// window) is judged as any other, whichever window has the keyboard. The list is read when the controller
// is made and again on every "DragSnapBlacklistChanged"; while the key holds no list of text it is the
// default list the settings show. The focused window is read when the drag begins and when the distance
// is reached, and the window list once as the drag begins while the list holds an entry: a few reads per
// drag, none per motion event (and the dragged window's place once a check while a zone is lit, below).
//
// The snap after the release acts only on the window the drag carried: the focused window, or a window the
// window-list fallback finds at the cursor, is taken when it has the dragged window's number, or, where a
// number is unknown, its process and title. A dragged window that closed before the release moves nothing.
//
// A drag the window manager cancels (Escape during a title-bar move, as most window managers have it)
// snaps nothing. No window manager says so to other clients, and how each ends its move differs (its own
// grab, its own key); what they share is the outcome: the window goes back to where the move began while
// the pointer stays where the hand left it. So while a zone is lit the dragged window is looked at every
// kCancelCheckInterval, and once more at the release: found back at its place of the drag's beginning
// with the pointer at least `activationDistance` from where it was then, the drag is over for the
// controller, the highlight goes, and the release snaps nothing. A window carried back to its place by
// the hand has the pointer back there too, and still snaps.
class DragSnapController : public MouseEventHandler, public std::enable_shared_from_this<DragSnapController> {
  public:
    DragSnapController(platform::Platform& platform, const std::shared_ptr<WMController>& controller,
                       const std::shared_ptr<MultiDisplayState>& multiState);
    ~DragSnapController() override;

    void handle(const platform::MouseEvent& event) override;

    // Set by the application. The first is never called by the controller (the application's handler
    // examines the displays, which a drag has no need of until it snaps); the second just before each
    // snap, with the display it is onto.
    std::function<void()> onGestureActivated;
    std::function<void(const std::string& displayUUID)> onBeforeSnap;

    // How far, in points, a drag must go before it can snap.
    double activationDistance = 30.0;
    // How often the window of a lit drag is looked at for a move the window manager cancelled.
    static constexpr Nanos kCancelCheckInterval = milliseconds(100);
    static constexpr const char* kBlacklistKey = "DragSnapBlacklist";
    static constexpr const char* kBlacklistChanged = "DragSnapBlacklistChanged";
    // The list while the defaults hold none.
    static std::vector<std::string> defaultBlacklist();
    // The stored list when the key holds a list whose every entry is text (an empty one included), else the
    // default list.
    static std::vector<std::string> storedBlacklist(platform::UserDefaults& defaults);
    // The bundle identifiers that count as window drags without the test, as last read.
    const std::vector<std::string>& blacklist() const { return blacklist_; }

    // The focused window as the drag began (or as it was judged afresh), top-left global.
    struct WindowSnapshot {
        platform::AXElement element;
        Point position;
        Size size;
    };
    // The window a snap drag carries, as the snap after the release recognises it.
    struct DraggedWindow {
        pid_t pid = 0;
        std::optional<WindowID> number;
        std::optional<std::string> title;
        std::optional<Size> size; // when the drag began
        // Where the window and the pointer were as the drag began (top-left global), for a window the
        // window manager moves with the pointer; absent for one of an application on the exclusion list.
        platform::AXElement element;
        std::optional<Point> startPosition;
        Point startPointer;
    };
    struct Tracking {
        Point origin; // top-left global
        std::optional<WindowSnapshot> window;
        // The visible frame (top-left global) that the window fills, maximised, where the window manager
        // holds it while the pointer stays on that monitor: the drag is judged again once it leaves.
        std::optional<Rect> heldOn;
    };
    struct Highlighting {
        int zoneID = 0;
        std::string displayUUID;
        bool useSwap = false;
        DraggedWindow window;
        Point pointer; // where the last drag event left it, top-left global
        Rect zoneFrame;
        // The window manager put the window back where the drag began: nothing is lit, and nothing snaps
        // unless the window follows the pointer again.
        bool putBack = false;
    };
    struct Idle {};
    struct Skipping {};
    using State = std::variant<Tracking, Highlighting, Idle, Skipping>;
    const State& state() const { return state_; }

  private:
    void reset();
    bool isOwnAppFrontmost();
    void drag(const platform::MouseEvent& event);
    void decide(const Tracking& tracking, Point location, bool shift);
    // The frontmost application's pid when the exclusion list holds it.
    std::optional<pid_t> listedFrontmostApplication();
    // The process of the window under the top-left point, when the exclusion list could matter.
    std::optional<pid_t> processUnder(Point location);
    void zoneStep(Point location, bool shift, const DraggedWindow& dragged);
    // Whether the window manager put the dragged window back where the drag began, the pointer being
    // elsewhere (logged).
    bool moveCancelled(const DraggedWindow& dragged, Point pointer);
    void checkCancelled();
    void stopCancelChecks();
    std::optional<WindowSnapshot> focusedWindow();
    DraggedWindow draggedWindow(const platform::AXElement& window, std::optional<Size> size);
    // Whether a window found at the release is the dragged one; whether its size changed since the drag
    // began (logged).
    bool isDragged(const platform::AXElement& window, const DraggedWindow& dragged);
    bool wasResized(const platform::AXElement& window, const DraggedWindow& dragged);
    void snap(int zoneID, const std::string& displayUUID, bool useSwap, const DraggedWindow& dragged);
    void fallback(int zoneID, const std::string& displayUUID, bool useSwap, const DraggedWindow& dragged);
    void push(const platform::AXElement& window, int zoneID, const std::string& displayUUID);
    std::optional<int> sourceZone(const platform::AXElement& window, const std::string& displayUUID);
    std::optional<platform::AXElement> positionMatchedWindow(Point topLeft, const DraggedWindow& dragged);

    platform::Platform& platform_;
    std::weak_ptr<WMController> wmController_;
    std::weak_ptr<MultiDisplayState> multiState_;
    std::unique_ptr<ZoneHighlightController> zoneHighlight_;
    State state_ = Idle{};
    // The process whose window lay under the pointer as the current drag began.
    std::optional<pid_t> dragStartedOn_;
    std::vector<std::string> blacklist_;
    std::unique_ptr<platform::ObserverToken> blacklistObservation_;
    platform::TimerRef cancelCheck_;
};

} // namespace korvane
