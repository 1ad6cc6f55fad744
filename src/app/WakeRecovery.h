// Recovering the zone mappings after the computer wakes from sleep. For a moment after a wake the window
// server hides, renumbers and shuffles windows; a recovery, named by a token, holds back every pruning
// while it writes the zones' windows into the layout memory, refreshes the window tracker, warms the
// accessibility connection and the window list off the main thread, puts the windows back into their
// remembered slots, rebuilds the mappings in short passes, asks for the displays to be examined again,
// and ends 1.8 s after the wake with a final rebuild.
#pragma once

#include "platform/Time.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class AXUtil;
class DisplayLayoutEventBus;
class WMController;
class WakeSlotReplay;
class WindowMappingRebuild;
class WindowTracker;
class ZoneMemberships;

namespace platform {
class Platform;
}

// Main thread only, except the two warm-up blocks, which run on a global queue and touch nothing of it.
// Owned by a shared_ptr: every deferred step holds it weakly and does nothing once it is gone. Logs
// under "app".
class WakeRecovery : public std::enable_shared_from_this<WakeRecovery> {
  public:
    struct Dependencies {
        std::shared_ptr<WindowTracker> tracker;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus;
        std::shared_ptr<WMController> controller;
        std::shared_ptr<WindowMappingRebuild> mappingRebuild;
        std::shared_ptr<WakeSlotReplay> slotReplay;
        // Written down before the replays, which take the layout memory for the zones' truth.
        std::shared_ptr<ZoneMemberships> memberships;
    };

    static std::shared_ptr<WakeRecovery> create(platform::Platform& platform, Dependencies dependencies);
    WakeRecovery(const WakeRecovery&) = delete;
    WakeRecovery& operator=(const WakeRecovery&) = delete;

    // The whole sequence after a wake; returns at once, with every later step scheduled. A wake during a
    // recovery replaces it: the earlier wake's pending steps then do nothing.
    void handleSystemWake();
    // Opens a recovery under a new token and returns it: the missing-window dates are forgotten and the
    // controller prunes nothing for 8.0 s from now.
    std::string beginWakeRecovery();
    // Closes the recovery when `token` is the current one and rebuilds the mappings, pruning allowed;
    // a stale token changes nothing.
    void endWakeRecovery(const std::string& token, const std::string& reason);

    bool wakeRecoveryInProgress() const { return wakeRecoveryInProgress_; }
    const std::optional<std::string>& wakeRecoveryToken() const { return wakeRecoveryToken_; }

    // How long a recovery lasts; the mapping rebuild prunes nothing meanwhile.
    static constexpr double wakeRecoveryPruneSuppression = 1.8; // seconds
    // How long after the latest wake the controller leaves zone stacks unpruned.
    static constexpr double controllerPruneSuppression = 8.0; // seconds
    // From the wake: the slot replays, the mapping passes (the last one asking to prune) and the probe.
    static constexpr std::array<Nanos, 3> slotReplayDelays{milliseconds(0), milliseconds(250),
                                                           milliseconds(800)};
    static constexpr std::array<Nanos, 3> mappingPassDelays{milliseconds(0), milliseconds(150),
                                                            milliseconds(450)};
    static constexpr Nanos displayProbeDelay = milliseconds(500);

  private:
    WakeRecovery(platform::Platform& platform, Dependencies dependencies);

    // Whether a step scheduled under `token` may still run.
    bool isCurrent(const std::string& token) const;

    platform::Platform& platform_;
    Dependencies deps_;
    bool wakeRecoveryInProgress_ = false;
    std::optional<std::string> wakeRecoveryToken_;
};

} // namespace korvane
