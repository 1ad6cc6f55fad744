// Watching folders with inotify; events are gathered per wake-up and delivered on the main run loop.
#pragma once

#include "platform/FolderWatcher.h"

#include <cstdint>

namespace korvane::x11 {

class X11RunLoop;

class X11FolderWatcher final : public platform::FolderWatcher {
  public:
    explicit X11FolderWatcher(X11RunLoop& loop) : loop_(loop) {}

    std::unique_ptr<platform::FolderWatch> watch(const std::string& path,
                                                 std::function<void(unsigned events)> handler) override;

    // inotify's mask → FolderEvent bits: entries created, removed, renamed or written are writes (a
    // new entry also extends the folder); the folder itself deleted, moved or no longer watchable is
    // delete, rename, revoke.
    static unsigned translate(std::uint32_t mask);

  private:
    X11RunLoop& loop_;
};

} // namespace korvane::x11
