// What happens to a window that has just joined the tracker's managed set: the first window of an
// application that a scene restore launched is moved into the zone its automatic-launch intent names and
// the intent committed; any other new window stays where it is.
#pragma once

#include "core/WMController.h"
#include "platform/Accessibility.h"
#include "tracking/MappingTransaction.h"
#include "tracking/WindowTrackerDelegate.h"

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane {

class AXUtil;
class WMController;
class WindowMappingClassifier;

namespace platform {
class Platform;
}

// Main thread only. Owned by a shared_ptr (the tracker holds its delegate weakly); the deferred move
// holds it weakly and does nothing once it is gone. Logs under "app"; the coordinator logs the claims.
class NewWindowPlacement final : public WindowTrackerDelegate,
                                 public std::enable_shared_from_this<NewWindowPlacement> {
  public:
    struct Dependencies {
        std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
        std::shared_ptr<WMController> controller;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<WindowMappingClassifier> classifier;
    };

    static std::shared_ptr<NewWindowPlacement> create(platform::Platform& platform,
                                                      Dependencies dependencies);
    NewWindowPlacement(const NewWindowPlacement&) = delete;
    NewWindowPlacement& operator=(const NewWindowPlacement&) = delete;

    // The tracker's reports: a new window goes to windowTrackerDidCreateWindow; titles change nothing.
    void windowTracker(WindowTracker& tracker, const platform::AXElement& didAddWindow, pid_t pid) override;
    void windowTracker(WindowTracker& tracker, const platform::AXElement& didChangeTitleOf, pid_t pid,
                       const std::string& title) override;
    // The window leaves every zone and record, unless the zones hold its number for another process's
    // window already.
    void windowTrackerDidDestroyWindow(WindowTracker& tracker, WindowID wid, pid_t pid) override;

    // Claims a waiting automatic-launch intent of the window's application for this window and moves the
    // window on a later turn of the main queue, so that the tracker's current batch is handled first.
    // Each intent takes one window: an intent already claimed by another window is not claimed again.
    // A window that no intent waits for is left alone (an auxiliary one is logged as skipped).
    void windowTrackerDidCreateWindow(const platform::AXElement& window, pid_t pid);

    // Moves the window into the intent's zone without bringing its application forward, then commits the
    // intent with the window number found at creation; a window the move leaves out of the zone (or a
    // zone that is not there) cancels it as "move failed" instead. Nothing happens once the intent is no
    // longer open for this window (withdrawn, run out, or taken by another window since).
    void autoPush(const platform::AXElement& window, const MappingIntent& intent,
                  std::optional<WindowID> createdWindowID);

  private:
    NewWindowPlacement(platform::Platform& platform, Dependencies dependencies);

    // The move of an automatic push has ended: the intent is committed, or cancelled when the move failed,
    // while it is still open and aimed where the window was moved; re-aimed meanwhile, the window is moved
    // again to where it is aimed now; withdrawn meanwhile, nothing more happens.
    void autoPushEnded(const platform::AXElement& window, const MappingIntent& intent,
                       std::optional<WindowID> createdWindowID, MoveOutcome moved);

    // Whether a launch is placing the window or a zone holds it.
    bool placedAlready(WindowID wid) const;
    // Whether a display records the number for a window of another process than `pid` (both known).
    bool recordedForAnotherProcess(WindowID wid, pid_t pid) const;
    // The window leaves every display's zones and records.
    void forget(WindowID wid);
    // An open automatic-launch intent of the application that no other window has claimed.
    std::optional<MappingIntent> claimableIntent(const std::string& bundleID, WindowID wid);

    platform::Platform& platform_;
    std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
    std::shared_ptr<WMController> controller;
    std::shared_ptr<AXUtil> ax;
    std::shared_ptr<WindowMappingClassifier> classifier;
};

} // namespace korvane
