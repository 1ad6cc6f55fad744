// The simulated folder watcher: watches real folders (tests use temporary ones) and delivers events that
// a test injects, through the simulated main run loop.
#pragma once

#include "platform/FolderWatcher.h"

#include <cstddef>
#include <memory>
#include <string>

namespace korvane::sim {

class SimRunLoop;

class SimFolderWatcher final : public platform::FolderWatcher {
  public:
    explicit SimFolderWatcher(SimRunLoop& loop);
    ~SimFolderWatcher() override;

    // Nothing when no folder exists at `path`.
    std::unique_ptr<platform::FolderWatch> watch(const std::string& path,
                                                 std::function<void(unsigned events)> handler) override;

    // Test hooks. `inject` queues the events for every watch of `path` active now; each handler runs later
    // on the loop, and only if its watch is still active then.
    void inject(const std::string& path, unsigned events);
    std::size_t activeWatchCount(const std::string& path) const;

    struct State;

  private:
    SimRunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace korvane::sim
