// The simulated main run loop: one ordered queue of timed work on a virtual clock. Background queues
// run their blocks on the same loop so that tests stay deterministic.
#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace korvane::sim {

namespace {

// Real run loops refuse repeating intervals this small; the floor also keeps a zero-interval
// repeating timer from pinning the simulated clock.
constexpr Nanos kMinRepeatInterval = 100'000;

class SimTimer;

// Queue order: due time first, then the order of scheduling.
using Key = std::pair<Nanos, std::uint64_t>;

struct Entry {
    std::function<void()> block;     // a posted block, a global-queue block or a serial-queue step
    std::shared_ptr<SimTimer> timer; // set for a timer's next firing instead of a block
    bool background = false;         // runs "off the main thread"
};

using Queue = std::map<Key, Entry>;

Nanos saturatingAdd(Nanos a, Nanos b) {
    if (b > 0 && a > std::numeric_limits<Nanos>::max() - b) return std::numeric_limits<Nanos>::max();
    return a + b;
}

bool eligible(RunLoopMode timerMode, RunLoopMode loopMode) {
    return timerMode == RunLoopMode::Common || timerMode == loopMode;
}

// State shared with the work items, timers and queues the loop hands out, so that they stay safe
// to use (as no-ops) after the loop is gone.
struct Core {
    mutable std::mutex mutex;
    Queue queue;
    Nanos now = 0;
    std::uint64_t nextSeq = 0;
    bool closed = false;
    std::atomic<RunLoopMode> mode{RunLoopMode::Default};
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<int> backgroundDepth{0};
    int trackingDepth = 0; // main thread only
    RunLoopMode modeBeforeTracking = RunLoopMode::Default;

    // Takes the entry only when the loop still accepts work; otherwise the caller's entry is left
    // for the caller to destroy after the lock is released (its destructor may post again).
    std::optional<Key> schedule(Nanos delay, Entry& entry) {
        std::lock_guard lock(mutex);
        if (closed) return std::nullopt;
        Key key{saturatingAdd(now, std::max<Nanos>(delay, 0)), nextSeq++};
        queue.emplace(key, std::move(entry));
        return key;
    }

    // Removes a queued entry; the node is returned so it is destroyed outside the lock.
    Queue::node_type extract(const Key& key) {
        std::lock_guard lock(mutex);
        return queue.extract(key);
    }

    bool runOne(Nanos target);
    void fireTimer(const std::shared_ptr<SimTimer>& timer, Nanos due);
};

// Marks the running block as background work, for isMainThread().
struct BackgroundScope {
    BackgroundScope(Core* c, bool on) : core(on ? c : nullptr) {
        if (core) core->backgroundDepth.fetch_add(1);
    }
    ~BackgroundScope() {
        if (core) core->backgroundDepth.fetch_sub(1);
    }
    BackgroundScope(const BackgroundScope&) = delete;
    BackgroundScope& operator=(const BackgroundScope&) = delete;
    Core* core;
};

class SimWorkItem final : public platform::WorkItem, public std::enable_shared_from_this<SimWorkItem> {
  public:
    SimWorkItem(std::weak_ptr<Core> core, std::optional<Key> key)
        : core_(std::move(core)), key_(key), cancelled_(!key) {}

    void cancel() override {
        if (cancelled_.exchange(true)) return;
        auto keepAlive = shared_from_this(); // the extracted block may hold the last reference
        Queue::node_type node;
        if (auto core = core_.lock(); core && key_) node = core->extract(*key_);
    }
    bool isCancelled() const override { return cancelled_.load(); }

  private:
    std::weak_ptr<Core> core_;
    std::optional<Key> key_;
    std::atomic<bool> cancelled_;
};

class SimTimer final : public platform::Timer, public std::enable_shared_from_this<SimTimer> {
  public:
    SimTimer(std::weak_ptr<Core> core, Nanos interval, bool repeats, RunLoopMode mode,
             std::function<void(platform::Timer&)> fire)
        : core(std::move(core)), interval(interval), repeats(repeats), mode(mode), fire(std::move(fire)) {}

    void invalidate() override {
        if (!valid.exchange(false)) return;
        auto keepAlive = shared_from_this();
        Queue::node_type node;
        std::function<void(platform::Timer&)> dropped;
        if (auto c = core.lock()) {
            std::lock_guard lock(c->mutex);
            if (key) node = c->queue.extract(*key);
            key.reset();
        }
        // A timer invalidated from its own callback keeps the callback until it returns.
        if (!firing) dropped = std::move(fire);
    }
    bool isValid() const override { return valid.load(); }

    std::weak_ptr<Core> core;
    const Nanos interval;
    const bool repeats;
    const RunLoopMode mode;
    std::function<void(platform::Timer&)> fire;
    std::atomic<bool> valid{true};
    std::optional<Key> key; // where the next firing waits in the queue; guarded by the core's mutex
    bool firing = false;    // touched on the loop's thread only
};

bool Core::runOne(Nanos target) {
    std::unique_lock lock(mutex);
    const RunLoopMode current = mode.load();
    auto it = queue.begin();
    for (; it != queue.end() && it->first.first <= target; ++it) {
        if (!it->second.timer || eligible(it->second.timer->mode, current)) break;
    }
    if (it == queue.end() || it->first.first > target) return false;
    Queue::node_type node = queue.extract(it);
    // Work held back by the mode runs late; the clock never goes backwards.
    now = std::max(now, node.key().first);
    if (node.mapped().timer) node.mapped().timer->key.reset();
    lock.unlock();

    Entry& entry = node.mapped();
    if (entry.timer) {
        fireTimer(entry.timer, node.key().first);
    } else {
        BackgroundScope scope(this, entry.background);
        entry.block();
    }
    return true;
}

void Core::fireTimer(const std::shared_ptr<SimTimer>& timer, Nanos due) {
    if (!timer->valid.load()) return;
    {
        struct Firing {
            SimTimer& t;
            ~Firing() { t.firing = false; }
        } firing{*timer};
        timer->firing = true;
        timer->fire(*timer);
    }
    std::function<void(platform::Timer&)> dropped;
    if (timer->valid.load() && timer->repeats) {
        std::lock_guard lock(mutex);
        if (!closed) {
            Nanos next = saturatingAdd(due, timer->interval);
            // Firings missed while the mode held the timer back are skipped, not replayed in a burst.
            if (next <= now) next = saturatingAdd(due, ((now - due) / timer->interval + 1) * timer->interval);
            Key key{next, nextSeq++};
            queue.emplace(key, Entry{{}, timer, false});
            timer->key = key;
            return;
        }
    }
    timer->valid.store(false);
    dropped = std::move(timer->fire);
}

class SimSerialQueue final : public platform::SerialQueue,
                             public std::enable_shared_from_this<SimSerialQueue> {
  public:
    SimSerialQueue(std::string label, std::weak_ptr<Core> core)
        : label_(std::move(label)), core_(std::move(core)) {}

    const std::string& label() const override { return label_; }

    // The loop's entry owns the block, so a loop destroyed with the block pending destroys it.
    void async(std::function<void()> block) override {
        auto core = core_.lock();
        if (!core) return;
        auto key = std::make_shared<std::optional<Key>>();
        Entry step{[self = shared_from_this(), key, block = std::move(block)] {
                       self->forget(*key);
                       self->runInline(block);
                   },
                   nullptr, true};
        std::lock_guard lock(mutex_);
        // Scheduled under the queue's lock so that `pending_` lists the keys in the loop's order.
        *key = core->schedule(0, step);
        if (*key) pending_.push_back(**key);
    }

    // Blocks already queued run first, as a serial queue would run them before this one. The block
    // runs on the caller's thread but counts as off the main thread, like the queue's other blocks.
    void sync(const std::function<void()>& block) override {
        std::deque<Key> earlier;
        if (!running_) {
            std::lock_guard lock(mutex_);
            earlier.swap(pending_);
        }
        auto core = core_.lock();
        std::vector<Queue::node_type> steps;
        if (core) {
            std::lock_guard lock(core->mutex);
            for (const Key& key : earlier) {
                if (auto node = core->queue.extract(key)) steps.push_back(std::move(node));
            }
        }
        BackgroundScope scope(core.get(), true);
        for (auto& node : steps)
            node.mapped().block();
        runInline(block);
    }

  private:
    // Reads the key under the lock: async() may still be setting it from another thread.
    void forget(const std::optional<Key>& key) {
        std::lock_guard lock(mutex_);
        if (!key) return;
        auto it = std::find(pending_.begin(), pending_.end(), *key);
        if (it != pending_.end()) pending_.erase(it);
    }

    void runInline(const std::function<void()>& block) {
        const bool outer = !running_;
        running_ = true;
        struct Reset {
            bool& flag;
            bool restore;
            ~Reset() {
                if (restore) flag = false;
            }
        } reset{running_, outer};
        block();
    }

    std::string label_;
    std::weak_ptr<Core> core_;
    std::mutex mutex_;
    std::deque<Key> pending_; // keys of this queue's blocks still waiting in the loop
    bool running_ = false;    // a block of this queue is running (loop thread only)
};

} // namespace

struct SimRunLoop::Impl {
    Nanos wallStart;
    std::shared_ptr<Core> core = std::make_shared<Core>();
};

SimRunLoop::SimRunLoop(Nanos wallStart) : impl_(std::make_unique<Impl>()) {
    impl_->wallStart = wallStart;
}

SimRunLoop::~SimRunLoop() {
    Core& core = *impl_->core;
    Queue doomed;
    {
        std::lock_guard lock(core.mutex);
        core.closed = true;
        doomed.swap(core.queue);
        for (auto& [key, entry] : doomed) {
            if (entry.timer) entry.timer->key.reset();
        }
    }
    // Pending work is destroyed, never run; destructors that post meet a closed loop.
    for (auto& [key, entry] : doomed) {
        if (entry.timer && entry.timer->valid.exchange(false)) entry.timer->fire = nullptr;
    }
    doomed.clear();
}

Nanos SimRunLoop::now() const {
    std::lock_guard lock(impl_->core->mutex);
    return impl_->core->now;
}

Nanos SimRunLoop::wallClock() const {
    return impl_->wallStart + now();
}

void SimRunLoop::post(std::function<void()> block) {
    postAfter(0, std::move(block));
}

platform::WorkItemRef SimRunLoop::postAfter(Nanos delay, std::function<void()> block) {
    Entry entry{std::move(block), nullptr, false};
    auto key = impl_->core->schedule(delay, entry);
    return std::make_shared<SimWorkItem>(impl_->core, key);
}

platform::TimerRef SimRunLoop::scheduleTimer(Nanos interval, bool repeats, RunLoopMode mode,
                                             std::function<void(platform::Timer&)> fire) {
    if (repeats) interval = std::max(interval, kMinRepeatInterval);
    auto timer = std::make_shared<SimTimer>(impl_->core, interval, repeats, mode, std::move(fire));
    Core& core = *impl_->core;
    std::lock_guard lock(core.mutex);
    if (core.closed) {
        timer->valid.store(false);
        return timer; // its callback goes with the last reference, outside this lock
    }
    Key key{saturatingAdd(core.now, std::max<Nanos>(interval, 0)), core.nextSeq++};
    core.queue.emplace(key, Entry{{}, timer, false});
    timer->key = key;
    return timer;
}

bool SimRunLoop::isMainThread() const {
    const Core& core = *impl_->core;
    return std::this_thread::get_id() == core.mainThread && core.backgroundDepth.load() == 0;
}

void SimRunLoop::sleepBlocking(Nanos duration) {
    Nanos from = 0;
    Nanos to = 0;
    {
        std::lock_guard lock(impl_->core->mutex);
        from = impl_->core->now;
        to = saturatingAdd(from, std::max<Nanos>(duration, 0));
        impl_->core->now = to;
    }
    if (onBlockingSleep) onBlockingSleep(from, to);
}

void SimRunLoop::dispatchGlobal(platform::QueueQoS, std::function<void()> block) {
    Entry entry{std::move(block), nullptr, true};
    impl_->core->schedule(0, entry);
}

std::shared_ptr<platform::SerialQueue> SimRunLoop::makeSerialQueue(const std::string& label) {
    return std::make_shared<SimSerialQueue>(label, impl_->core);
}

RunLoopMode SimRunLoop::currentMode() const {
    return impl_->core->mode.load();
}

void SimRunLoop::advance(Nanos d) {
    Core& core = *impl_->core;
    const Nanos target = saturatingAdd(now(), std::max<Nanos>(d, 0));
    while (core.runOne(target)) {
    }
    std::lock_guard lock(core.mutex);
    core.now = std::max(core.now, target);
}

void SimRunLoop::runUntilIdle() {
    advance(0);
}

bool SimRunLoop::advanceUntil(const std::function<bool()>& done, Nanos limit, Nanos step) {
    if (done()) return true;
    step = std::max<Nanos>(step, 1);
    const Nanos end = saturatingAdd(now(), std::max<Nanos>(limit, 0));
    while (now() < end) {
        advance(std::min(step, end - now()));
        if (done()) return true;
    }
    return false;
}

void SimRunLoop::enterEventTracking() {
    Core& core = *impl_->core;
    if (core.trackingDepth++ > 0) return;
    core.modeBeforeTracking = core.mode.exchange(RunLoopMode::EventTracking);
}

void SimRunLoop::leaveEventTracking() {
    Core& core = *impl_->core;
    if (core.trackingDepth == 0 || --core.trackingDepth > 0) return;
    core.mode.store(core.modeBeforeTracking);
}

void SimRunLoop::setMode(RunLoopMode mode) {
    impl_->core->mode.store(mode);
}

std::size_t SimRunLoop::pendingCount() const {
    std::lock_guard lock(impl_->core->mutex);
    return impl_->core->queue.size();
}

} // namespace korvane::sim
