// Watching one folder for changes (inotify on Linux, injected events in the simulation).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace korvane::platform {

enum FolderEvent : unsigned {
    kFolderWrite = 1u << 0,
    kFolderDelete = 1u << 1,
    kFolderRename = 1u << 2,
    kFolderExtend = 1u << 3,
    kFolderAttrib = 1u << 4,
    kFolderRevoke = 1u << 5,
};

// Stops watching when cancelled or destroyed.
class FolderWatch {
  public:
    virtual ~FolderWatch() = default;
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

class FolderWatcher {
  public:
    virtual ~FolderWatcher() = default;
    // Events (a mask of FolderEvent) are delivered on the main run loop. Nothing when the folder
    // cannot be opened.
    virtual std::unique_ptr<FolderWatch> watch(const std::string& path,
                                               std::function<void(unsigned events)> handler) = 0;
};

} // namespace korvane::platform
