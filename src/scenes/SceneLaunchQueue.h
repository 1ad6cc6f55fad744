// The starts a scene restore asks for, for zones no running window could fill: one start of an
// application at a time. Where every start of an application makes one window, an application the scene
// names in several zones is started once per zone, each start made once the window of the one before has
// come or its wait has run out; so one intent at a time waits for the application's next window, and
// every window lands in the zone that asked for it, in the order the zones asked.
#pragma once

#include "platform/Time.h"

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
}

// Main thread only. While a start is awaited it looks at the intents every kPollInterval, from a block
// that holds it weakly. It moves no window: the new-window placement does, through the intents.
class SceneLaunchQueue : public std::enable_shared_from_this<SceneLaunchQueue> {
  public:
    // Opens the automatic-launch intent of the zone and starts or activates its application; answers the
    // intent's id, or nothing when the application cannot be started.
    using Start = std::function<std::optional<std::string>(const std::string& bundleID, std::int64_t zoneID,
                                                           const std::string& displayUUID)>;

    static std::shared_ptr<SceneLaunchQueue>
    create(platform::RunLoop& loop, std::shared_ptr<MappingTransactionCoordinator> intents, Start start);
    SceneLaunchQueue(const SceneLaunchQueue&) = delete;
    SceneLaunchQueue& operator=(const SceneLaunchQueue&) = delete;

    // A restore's requests follow, until endRestore(). Starts that earlier restores still had waiting
    // are dropped (this restore asks again for what it wants), and the windows of earlier restores are
    // no longer reported.
    void beginRestore();
    void endRestore();
    // A window of the application for the zone: started now when no start of the application awaits its
    // window, else in its turn. A zone already waiting or awaited is not asked for twice; it counts for
    // the restore asking now. False when the start made now was refused: the application cannot be
    // started, and the zones of it still waiting are dropped.
    bool request(const std::string& bundleID, std::int64_t zoneID, const std::string& displayUUID);

    // A window started for the latest restore has been placed in its zone (its intent committed).
    std::function<void()> onRestoredWindowPlaced;

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
    };

    SceneLaunchQueue(platform::RunLoop& loop, std::shared_ptr<MappingTransactionCoordinator> intents,
                     Start start);

    // Forgets the starts whose intents have closed or run out, reporting the windows placed, then makes
    // the starts whose turn has come, and looks again later while anything is left. Answers the
    // applications whose start was refused.
    std::set<std::string> advance();
    // Whether a start of the application still awaits its window.
    bool awaitsWindow(const std::string& bundleID) const;
    bool isOpen(const Started& started) const;

    platform::RunLoop& loop_;
    std::shared_ptr<MappingTransactionCoordinator> intents_;
    Start start_;
    std::map<std::string, std::deque<Request>> waiting_; // by bundle identifier, in the order asked
    std::vector<Started> started_;
    std::uint64_t latestRestore_ = 0;
    bool inRestore_ = false;
    bool polling_ = false;
};

} // namespace korvane
