// The watcher of the Layouts folder: user layout files added, edited or removed while the application
// runs are reloaded after a short quiet time, and a folder that was deleted or moved away is watched
// again at its path.
#pragma once

#include "platform/FolderWatcher.h"
#include "platform/RunLoop.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korvane {

// Main thread only. Every deferred step holds the watcher weakly and does nothing once it is gone, so
// it is always owned through create(); destroying it stops the watch and drops what is pending.
class LayoutDirectoryWatcher : public std::enable_shared_from_this<LayoutDirectoryWatcher> {
  public:
    // Reloads the user layouts and answers how many there are now.
    using Reload = std::function<std::size_t()>;

    static std::shared_ptr<LayoutDirectoryWatcher> create(platform::RunLoop& runLoop,
                                                          platform::FolderWatcher& folders, Reload reload);
    ~LayoutDirectoryWatcher();
    LayoutDirectoryWatcher(const LayoutDirectoryWatcher&) = delete;
    LayoutDirectoryWatcher& operator=(const LayoutDirectoryWatcher&) = delete;

    // Creates the folder when missing and watches it, stopping any earlier watch first; a failure is
    // logged and leaves nothing watched.
    void startLayoutDirectoryWatcher();
    void stopLayoutDirectoryWatcher();
    // A reload 0.25 s after the last change, a restart 0.2 s after the folder was deleted, renamed or
    // revoked.
    void handleLayoutDirectoryEvent(unsigned mask);
    void scheduleLayoutDirectoryReload(const std::string& reason);
    void scheduleLayoutDirectoryWatcherRestart(const std::string& reason);
    void restartLayoutDirectoryWatcher(const std::string& reason);

  private:
    LayoutDirectoryWatcher(platform::RunLoop& runLoop, platform::FolderWatcher& folders, Reload reload);

    platform::RunLoop& runLoop_;
    platform::FolderWatcher& folders_;
    Reload reload_;
    std::unique_ptr<platform::FolderWatch> layoutDirectoryWatcher;
    platform::WorkItemRef pendingLayoutDirectoryReloadWorkItem;
    double layoutDirectoryReloadDebounce = 0.25; // seconds
    platform::WorkItemRef pendingLayoutDirectoryWatcherRestartWorkItem;
};

} // namespace korvane
