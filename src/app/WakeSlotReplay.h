// Putting the windows seen on screen after a wake back into the zone model: each remembered region takes
// the windows of the applications the layout memory lists for it that lie in its zone, nearest first and
// as many as listed; every other window the zone state still maps keeps its zone while it lies in it, and
// leaves it when it is seen elsewhere. The placements are recorded as the scope's slot claims. Nothing on
// screen moves.
#pragma once

#include "app/OnScreenWindows.h"
#include "platform/Time.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

class LayoutMemory;
class MultiDisplayState;
class StatusBarEventBus;
class WindowMappingClassifier;
class WindowMappingRebuild;
class WMState;
class WindowTracker;

namespace platform {
class Platform;
}

// Main thread only. Keeps nothing between replays. Logs under "app".
class WakeSlotReplay {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<LayoutMemory> layoutMemory;
        std::shared_ptr<const WindowTracker> tracker; // the element of a managed window
        std::shared_ptr<WindowMappingClassifier> classifier;
        std::shared_ptr<WindowMappingRebuild> mappingRebuild; // the missing-window dates
        std::shared_ptr<StatusBarEventBus> statusBarEventBus;
    };

    // One application window on screen during a replay.
    using WakeObservedWindow = OnScreenWindow;

    WakeSlotReplay(platform::Platform& platform, Dependencies dependencies);

    // Replays the remembered slots of every display that has a zone state and windows on screen, records
    // the placements as slot claims with the source "wake.replay", writes "layout-memory.json" once when
    // some scope's claims changed, and asks the status-bar menu to refresh when a window was placed or
    // left its zone. `reason` names the pass in the log.
    void replayWakeSlotAssignments(const std::string& reason);

    // The windows on screen by display, front-most first: application-layer windows of other running
    // applications with a bundle identifier, minus those the classifier says to leave alone on their
    // display. Empty when the window list cannot be read.
    std::map<std::string, std::vector<WakeObservedWindow>> collectWakeObservedWindows();

    static constexpr const char* kClaimSource = "wake.replay";
    // Where the memory keeps regions that hold on every display.
    static constexpr const char* kAllDisplaysKey = "__ALL_DISPLAYS__";

  private:
    struct DisplayReplay {
        std::size_t placed = 0;
        std::size_t left = 0; // windows on screen that left the zone they no longer lie in
    };
    // Steps a to g for one display, `seen` the windows on screen on every display. Notes in
    // `claimsChanged` when the scope's claims were replaced.
    DisplayReplay replayDisplay(const std::string& displayUUID, WMState& state,
                                const std::vector<WakeObservedWindow>& windows,
                                const std::set<WindowID>& seen, Nanos replayTime, bool& claimsChanged);

    platform::Platform& platform_;
    Dependencies deps_;
    OnScreenWindows onScreen_;
};

} // namespace korvane
