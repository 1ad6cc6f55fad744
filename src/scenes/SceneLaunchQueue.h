// The starts a scene restore asks for, for zones no running window could fill: one start of an
// application at a time. Where every start of an application makes one window, an application the scene
// names in several zones is started once per zone, each start made once the window of the one before has
// come or its wait has run out; so one intent at a time waits for the application's next window, and
// every window lands in the zone that asked for it, in the order the zones asked. It tells how each start
// of the latest restore ended: its window placed, or the application not started (it ended, or brought no
// window before its intent ran out).
#pragma once

#include "platform/Time.h"
#include "platform/WindowServer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

class MappingTransactionCoordinator;

namespace platform {
class RunLoop;
class Workspace;
} // namespace platform

// Main thread only. While a start is awaited it looks at the intents every kPollInterval, from a block
// that holds it weakly. It moves no window: the new-window placement does, through the intents.
class SceneLaunchQueue : public std::enable_shared_from_this<SceneLaunchQueue> {
  public:
    // Opens the automatic-launch intent of the zone and starts or activates its application; answers the
    // intent's id, or nothing when the application cannot be started.
    using Start = std::function<std::optional<std::string>(const std::string& bundleID, std::int64_t zoneID,
                                                           const std::string& displayUUID)>;

    static std::shared_ptr<SceneLaunchQueue> create(platform::RunLoop& loop, platform::Workspace& workspace,
                                                    std::shared_ptr<MappingTransactionCoordinator> intents,
                                                    Start start);
    SceneLaunchQueue(const SceneLaunchQueue&) = delete;
    SceneLaunchQueue& operator=(const SceneLaunchQueue&) = delete;

    // A restore's requests follow, until endRestore(), which comes once the restore's own moves have ended.
    // Starts that earlier restores still had waiting are dropped (this restore asks again for what it
    // wants), and the windows of earlier restores are no longer reported. What becomes of this restore's
    // starts before it ends is told right after it ends. A restore replaces the ones before it: as it ends,
    // the starts they made whose windows it did not take for zones of its own place nothing (their intents
    // are withdrawn), so that a late window opens where it opens, like any new window.
    void beginRestore();
    void endRestore();
    // A window of the application for the zone: started now when no start of the application awaits its
    // window, else in its turn. A zone already waiting or awaited is not asked for twice; it counts for
    // the restore asking now, aimed at the zone as its layouts have it. A start an earlier restore made
    // for another zone whose window has not come is taken for this zone instead of starting the
    // application again. False when the start made now was refused: the application cannot be started,
    // and the zones of it still waiting are dropped.
    bool request(const std::string& bundleID, std::int64_t zoneID, const std::string& displayUUID);
    // The start behind the intent has brought its application up (or found it running): from now on the
    // application running no more means that no window will come of it.
    void startLaunched(const std::string& intentID);
    // Whether the latest restore still awaits a window of an application it started, or a start.
    bool awaitsWindows() const;

    // Reports on the latest restore, after its sweep, on the main queue. A window started for it has been
    // placed in its zone (its intent committed).
    std::function<void()> onRestoredWindowPlaced;
    // A start of the application ended without its window: the application is running no more, or its
    // intent ran out (the launch's time-out). Its zones still waiting are dropped with it.
    std::function<void(const std::string& bundleID)> onRestoredAppNotStarted;
    // The restore awaited windows, and awaits none any more.
    std::function<void()> onRestoreLaunchesEnded;
    // Whether the zone holds the window now. A window is moved into its zone before its intent commits,
    // and stays there when the commit is refused because the displays were looked at again meanwhile
    // (every such pass raises their epochs): it counts as placed all the same. Unset: only a committed
    // intent counts.
    std::function<bool(const std::string& displayUUID, std::int64_t zoneID, WindowID wid)> zoneHoldsWindow;

    static constexpr Nanos kPollInterval = milliseconds(100);

  private:
    struct Request {
        std::string bundleID;
        std::int64_t zoneID = 0;
        std::string displayUUID;
        std::uint64_t restore = 0; // the restore that asked; 0 for a sweep of one display
    };
    struct Started {
        Request request;
        std::string intentID;
        bool launched = false; // see startLaunched
    };
    // What became of a start whose intent closed.
    enum class Ending { placed, notStarted, other };

    SceneLaunchQueue(platform::RunLoop& loop, platform::Workspace& workspace,
                     std::shared_ptr<MappingTransactionCoordinator> intents, Start start);

    // Forgets the starts whose intents have closed or run out (withdrawing those whose application has
    // ended), reporting what became of them, then makes the starts whose turn has come, and looks again
    // later while anything is left. Answers the applications whose start was refused.
    std::set<std::string> advance();
    // The start's intent withdrawn when its application, once up, runs no more before its window came.
    // `running` holds the applications running, read once per pass when first needed.
    void withdrawIfEnded(const Started& started, std::optional<std::set<std::string>>& running);
    Ending endingOf(const Started& started) const;
    // The started intents of earlier restores still open, withdrawn.
    void withdrawEarlierStarts();
    // The start's intent turned to the zone its request names now.
    void aim(const Started& started);
    // A start of the same application that an earlier restore made and whose window has not come, taken
    // for the request; false when there is none.
    bool takeEarlierStart(const Request& request);
    // Whether a start of the application still awaits its window.
    bool awaitsWindow(const std::string& bundleID) const;
    bool isOpen(const Started& started) const;
    bool reportsOn(std::uint64_t restore) const {
        return restore != 0 && restore == latestRestore_ && !inRestore_;
    }
    // Whether news of the start is kept for the end of its restore, which has not reported yet.
    bool holdsFor(std::uint64_t restore) const {
        return restore != 0 && restore == latestRestore_ && inRestore_;
    }

    platform::RunLoop& loop_;
    platform::Workspace& workspace_;
    std::shared_ptr<MappingTransactionCoordinator> intents_;
    Start start_;
    std::map<std::string, std::deque<Request>> waiting_; // by bundle identifier, in the order asked
    std::vector<Started> started_;
    std::uint64_t latestRestore_ = 0;
    bool inRestore_ = false;
    bool polling_ = false;
    // The latest restore ended its sweep awaiting windows; onRestoreLaunchesEnded has not been said.
    bool awaitingEnd_ = false;
    // News of the latest restore's starts that came while its moves were under way, told once it ends.
    int heldPlaced_ = 0;
    std::set<std::string> heldNotStarted_;
};

} // namespace korvane
