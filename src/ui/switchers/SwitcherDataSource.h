// The switcher's items: a snapshot of the running applications and the on-screen window list, passed
// through the window pipeline, given hints and published as one region; kept warm for reopening.
#pragma once

#include "ui/switchers/SwitcherItem.h"

#include "platform/Geometry.h"
#include "platform/Time.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class WMController;
class WindowTracker;

namespace platform {
class Platform;
}

// Main thread only. Every reload runs synchronously and is never refused or delayed.
class SwitcherDataSource {
  public:
    SwitcherDataSource(platform::Platform& platform, std::shared_ptr<WindowTracker> tracker,
                       std::shared_ptr<WMController> wmController);

    // The last reload's results, copied back when it is younger than `warmSnapshotTTL`: true then, false
    // (changing nothing) when there is none or it is older.
    bool useWarmSnapshot();
    // Forgets the last reload's results, so that the next showing lists afresh: the zone numbers they
    // carry are those of the display that was active then.
    void dropWarmSnapshot();
    // Rebuilds the items from the desktop as it is now; `frame` becomes the region's frame.
    void reload(const Rect& frame);

    // Every running application in the workspace's order; `ownBundleID` marks this program's own.
    std::vector<RunningAppSnapshot> runningAppSnapshots(const std::optional<std::string>& ownBundleID);

    std::shared_ptr<WindowTracker> tracker; // held for the switcher; the reload does not read it
    std::shared_ptr<WMController> wmController;
    // What the switcher shows; emptied by the switcher when it hides, unlike the caches.
    std::vector<SwitcherItem> items;
    std::vector<ZoneDisplayModel> regionDisplays;
    std::vector<SwitcherItem> cachedItems;
    std::vector<ZoneDisplayModel> cachedRegionDisplays;
    std::optional<Nanos> snapshotTime;                    // monotonic, when the last reload completed
    std::optional<Nanos> lastReloadTime;                  // monotonic, when the last reload began
    static constexpr double warmSnapshotTTL = 1.2;        // seconds
    static constexpr double minimumReloadInterval = 0.16; // seconds; advisory, no reload waits for it

  private:
    platform::Platform& platform_;
};

} // namespace korvane
