// Pushing one window of another application into a zone as a placement transaction: the push announces
// itself to the display layer, opens an intent under the display's current epoch, refuses auxiliary
// windows before anything moves, has the controller move the window, then, once the move has ended,
// finds the window that now stands for it in the zone and commits the intent, looking again every 0.12 s
// while none is found. A window that the move could not get into the zone is committed to nothing; one
// pushed again before its move ended is committed by the later push.
#pragma once

#include "core/WMController.h"
#include "core/WinRef.h"
#include "platform/Accessibility.h"
#include "tracking/MappingTransaction.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane {

class AXUtil;
class DisplayLayoutEventBus;
class MultiDisplayState;
class WMState;
class WindowMappingClassifier;
class WindowTracker;

namespace platform {
class Platform;
}

// Main thread only. Owned by a shared_ptr: a pending retry holds it weakly and does nothing once it is
// gone. Logs under "wm". Changes no zone state itself (the controller's move does) and writes nothing to
// the layout memory; committing changes only the coordinator's record.
class TransactionalPush : public std::enable_shared_from_this<TransactionalPush> {
  public:
    struct Dependencies {
        std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
        std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus;
        std::shared_ptr<WMController> controller;
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<const WindowTracker> tracker;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<WindowMappingClassifier> classifier;
    };

    static std::shared_ptr<TransactionalPush> create(platform::Platform& platform, Dependencies dependencies);
    TransactionalPush(const TransactionalPush&) = delete;
    TransactionalPush& operator=(const TransactionalPush&) = delete;

    static constexpr double kMinimumTimeToLive = 0.2; // seconds
    static constexpr double kRetryInterval = 0.12;    // seconds between two commit attempts
    static constexpr int kAttemptLimit = 10;
    static constexpr double kPruneAge = 20.0; // seconds a closed intent is kept

    // Returns as soon as the move has started, with the intent's id; nothing when the push was skipped
    // because the display's epoch is not `requiredEpoch`, or refused because the window is auxiliary
    // (then nothing moved). The intent lives `timeToLive` seconds, never less than 0.2 s; it is cancelled
    // as "move failed" when the window stays out of the zone, and as superseded when a later move of the
    // window took over.
    std::optional<std::string> transactionalPush(const platform::AXElement& window, int zoneID,
                                                 const std::string& displayUUID, MappingIntentSource source,
                                                 const std::string& context, MoveActivation activation,
                                                 double timeToLive,
                                                 std::optional<std::int64_t> requiredEpoch = std::nullopt);

    // One attempt to find the pushed window in the zone and commit the intent. Only the lack of a usable
    // window is tried again, 0.12 s later, until `attemptLimit` attempts were made; then the intent is
    // cancelled as "resolve timeout". A rejected commit is logged once and ends the transaction.
    void commitMappingTransaction(const std::string& intentID, pid_t pid, std::optional<WindowID> windowID,
                                  const std::string& displayUUID, int zoneID, const std::string& context,
                                  int attempt, int attemptLimit);

    // The window number that stands for the pushed window in the zone: the requested window while the
    // zone holds it, else the top-most entry of the zone's stack of that process (of any process when the
    // pid is 0), else a managed window of that process mapped to the zone. Windows the classifier says to
    // leave alone on the display never stand for it.
    std::optional<WindowID> resolveWindowForIntent(const WMState& state, pid_t pid,
                                                   std::optional<WindowID> windowID,
                                                   const std::string& displayUUID, int zoneID);
    // Whether the resolved window is auxiliary on the display; false when its element or its
    // application's bundle identifier cannot be found.
    bool isAuxiliaryForIntent(WindowID windowID, pid_t pid, const std::string& displayUUID);
    // The process id to show for a window in log lines: the given one, else the one any zone state or
    // the tracker knows for it, else 0.
    pid_t pidForIntentWindow(WindowID windowID, pid_t pid);

  private:
    TransactionalPush(platform::Platform& platform, Dependencies dependencies);

    std::optional<std::string> bundleIDOf(pid_t pid);

    platform::Platform& platform_;
    std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
    std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus;
    std::shared_ptr<WMController> controller;
    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<const WindowTracker> tracker;
    std::shared_ptr<AXUtil> ax;
    std::shared_ptr<WindowMappingClassifier> classifier;
};

} // namespace korvane
