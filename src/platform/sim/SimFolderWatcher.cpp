// Watches of the simulated folder watcher. Paths are compared in a normal form ("a/b/" and "a/./b" are
// one folder), and event delivery always goes through the loop, like the real watcher's.
#include "platform/sim/SimFolderWatcher.h"

#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace korvane::sim {

struct SimFolderWatcher::State {
    struct Watch {
        std::string key;
        // Never cleared while the watch lives: a handler may cancel its own watch while it runs.
        std::function<void(unsigned)> handler;
        std::atomic<bool> active{true};
    };

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Watch>> watches;

    void removeWatch(const Watch* w) {
        std::lock_guard lock(mutex);
        std::erase_if(watches, [&](const auto& p) { return p.get() == w; });
    }
};

namespace {

using WatchState = SimFolderWatcher::State::Watch;

std::string normalKey(const std::string& path) {
    std::string key = std::filesystem::path(path).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

class Handle final : public platform::FolderWatch {
  public:
    Handle(std::weak_ptr<SimFolderWatcher::State> state, std::shared_ptr<WatchState> watch)
        : state_(std::move(state)), watch_(std::move(watch)) {}
    ~Handle() override { cancel(); }

    void cancel() override {
        if (!watch_->active.exchange(false)) return;
        if (auto s = state_.lock()) s->removeWatch(watch_.get());
    }
    bool isActive() const override { return watch_->active.load(); }

  private:
    std::weak_ptr<SimFolderWatcher::State> state_;
    std::shared_ptr<WatchState> watch_;
};

} // namespace

SimFolderWatcher::SimFolderWatcher(SimRunLoop& loop) : loop_(loop), state_(std::make_shared<State>()) {}

SimFolderWatcher::~SimFolderWatcher() = default;

std::unique_ptr<platform::FolderWatch> SimFolderWatcher::watch(const std::string& path,
                                                               std::function<void(unsigned events)> handler) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec) || ec) return nullptr;
    auto w = std::make_shared<WatchState>();
    w->key = normalKey(path);
    w->handler = std::move(handler);
    {
        std::lock_guard lock(state_->mutex);
        state_->watches.push_back(w);
    }
    return std::make_unique<Handle>(state_, w);
}

void SimFolderWatcher::inject(const std::string& path, unsigned events) {
    std::string key = normalKey(path);
    std::vector<std::weak_ptr<WatchState>> targets;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& w : state_->watches)
            if (w->key == key && w->active.load()) targets.push_back(w);
    }
    for (auto& weak : targets) {
        loop_.post([weak, events] {
            auto w = weak.lock();
            if (w && w->active.load() && w->handler) w->handler(events);
        });
    }
}

std::size_t SimFolderWatcher::activeWatchCount(const std::string& path) const {
    std::string key = normalKey(path);
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(
        std::count_if(state_->watches.begin(), state_->watches.end(),
                      [&](const auto& w) { return w->key == key && w->active.load(); }));
}

} // namespace korvane::sim
