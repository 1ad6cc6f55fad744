// The one full reconciliation of every display's window-to-zone mapping with the windows the window
// server really lists: mappings of windows gone for longer than a grace period are dropped, those a
// recent placement or a wake still justifies are kept, and zone stacks that no longer cover the mapping
// are rebuilt in the window server's front-to-back order. It never moves a window and never maps one.
#pragma once

#include "platform/Time.h"
#include "platform/WindowServer.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace korvane {

class LayoutMemory;
class MultiDisplayState;

namespace platform {
class Platform;
}

// Main thread only, like every user of the zone states. Instants are the run loop's monotonic clock.
class WindowMappingRebuild {
  public:
    WindowMappingRebuild(platform::Platform& platform, std::shared_ptr<MultiDisplayState> multiState,
                         std::shared_ptr<LayoutMemory> layoutMemory);

    // Reconciles every display's mapping. `reason` names the caller in the log; one that begins with
    // "system-wake" marks a pass after a wake, which prunes nothing and rebuilds every display's stacks.
    // Pruning also stays off while a wake recovery is in progress, whatever `allowPrune` says. A window
    // list that cannot be read, or that is empty, changes nothing.
    void rebuildWindowRegionMappings(bool allowPrune, const std::string& reason);

    // Whether a wake recovery is under way; unset counts as none.
    std::function<bool()> isWakeRecoveryInProgress;

    // A missing window's mapping is dropped only once this much time has passed since a rebuild first
    // saw it missing.
    static constexpr Nanos mappingPruneMissingGrace = 8 * kNanosPerSecond;

    // "DISPLAY#wid" of each mapped window a rebuild has seen missing, with the first instant it did.
    const std::map<std::string, Nanos>& missingWindowFirstSeenAt() const { return missingWindowFirstSeenAt_; }
    // Windows hidden by a sleep were not gone: a wake starts every missing window's grace afresh.
    void forgetMissingWindows() { missingWindowFirstSeenAt_.clear(); }
    // The window was seen on the display again; its grace starts afresh should it go missing later.
    void forgetMissingWindow(const std::string& displayUUID, WindowID wid);

  private:
    platform::Platform& platform_;
    std::shared_ptr<MultiDisplayState> multiState_;
    std::shared_ptr<LayoutMemory> layoutMemory_;
    std::map<std::string, Nanos> missingWindowFirstSeenAt_;
};

} // namespace korvane
