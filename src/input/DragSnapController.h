// Snapping an ordinarily dragged window into the zone under the cursor when it is released. Observes the
// mouse tap's events and never consumes them: the window manager moves the window, Korvane snaps it after.
#pragma once

#include "input/MouseEventTap.h"
#include "platform/Accessibility.h"

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
// where the drag began, the focused window stands elsewhere than it stood when the drag began (the window
// manager moved it with the cursor); a drag whose frontmost application is listed in "DragSnapBlacklist"
// counts without that test, for applications that move their windows themselves. The list is read when the
// controller is made and again on every "DragSnapBlacklistChanged"; while the key holds no list of text it
// is the one-entry default list the settings show. The focused window's
// position is read once when the drag begins and once when the distance is reached: two or three
// accessibility reads per drag, none per motion event.
class DragSnapController : public MouseEventHandler, public std::enable_shared_from_this<DragSnapController> {
  public:
    DragSnapController(platform::Platform& platform, const std::shared_ptr<WMController>& controller,
                       const std::shared_ptr<MultiDisplayState>& multiState);
    ~DragSnapController() override;

    void handle(const platform::MouseEvent& event) override;

    // Set by the application: a drag gesture began; a snap onto this display is about to happen.
    std::function<void()> onGestureActivated;
    std::function<void(const std::string& displayUUID)> onBeforeSnap;

    // How far, in points, a drag must go before it can snap.
    double activationDistance = 30.0;
    static constexpr const char* kBlacklistKey = "DragSnapBlacklist";
    static constexpr const char* kBlacklistChanged = "DragSnapBlacklistChanged";
    // The list while the defaults hold none.
    static std::vector<std::string> defaultBlacklist();
    // The stored list when the key holds a list whose every entry is text (an empty one included), else the
    // default list.
    static std::vector<std::string> storedBlacklist(platform::UserDefaults& defaults);
    // The bundle identifiers that count as window drags without the test, as last read.
    const std::vector<std::string>& blacklist() const { return blacklist_; }

    struct Tracking {
        Point origin;                      // top-left global
        std::optional<Point> windowOrigin; // the focused window's position when the drag began
    };
    struct Highlighting {
        int zoneID = 0;
        std::string displayUUID;
        bool useSwap = false;
    };
    struct Idle {};
    struct Skipping {};
    using State = std::variant<Tracking, Highlighting, Idle, Skipping>;
    const State& state() const { return state_; }

  private:
    void reset();
    bool isOwnAppFrontmost();
    void drag(const platform::MouseEvent& event);
    void zoneStep(Point location, bool shift);
    bool isWindowDrag(const Tracking& tracking);
    std::optional<Point> focusedWindowPosition();
    void snap(int zoneID, const std::string& displayUUID, bool useSwap);
    void fallback(int zoneID, const std::string& displayUUID, bool useSwap);
    void push(const platform::AXElement& window, int zoneID, const std::string& displayUUID);
    std::optional<int> sourceZone(const platform::AXElement& window, const std::string& displayUUID);
    std::optional<platform::AXElement> positionMatchedWindow(Point topLeft);

    platform::Platform& platform_;
    std::weak_ptr<WMController> wmController_;
    std::weak_ptr<MultiDisplayState> multiState_;
    std::unique_ptr<ZoneHighlightController> zoneHighlight_;
    State state_ = Idle{};
    std::vector<std::string> blacklist_;
    std::unique_ptr<platform::ObserverToken> blacklistObservation_;
};

} // namespace korvane
