// The main run loop over Qt's event loop. Posted blocks go through one queue drained by a queued call,
// so they run in the order posted from any thread; timers and delayed blocks share one schedule ordered
// by due instant and then by scheduling order, served by a single precise Qt timer.
#include "platform/x11/X11RunLoop.h"

#include "platform/x11/X11Queues.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace korvane::x11 {

using platform::RunLoopMode;

namespace {

Nanos steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

using Key = std::pair<Nanos, std::uint64_t>;
constexpr Nanos kNever = std::numeric_limits<Nanos>::max();

bool eligible(RunLoopMode timerMode, RunLoopMode loopMode) {
    return timerMode == RunLoopMode::Common || timerMode == loopMode;
}

} // namespace

struct X11RunLoop::Impl : std::enable_shared_from_this<Impl> {
    std::thread::id mainThread;
    QObject* receiver = nullptr;
    QTimer* pumpTimer = nullptr;

    std::mutex mutex;
    bool alive = true;
    std::deque<std::function<void()>> posted;
    bool drainQueued = false;
    std::map<Key, std::function<void()>> scheduled;
    std::uint64_t nextSeq = 0;
    Nanos armedFor = kNever;
    bool rearmQueued = false;
    // Timers that came due while the loop was in a mode they do not fire in, in the order they came
    // due; kept alive until their mode comes back or they are invalidated.
    std::vector<std::shared_ptr<platform::Timer>> parked;
    // Nested event-tracking scopes (a menu's own loop); the loop tracks while it is above 0. Changed on
    // the main thread only, read from any.
    std::atomic<int> trackingDepth{0};

    RunLoopMode mode() const {
        return trackingDepth.load() > 0 ? RunLoopMode::EventTracking : RunLoopMode::Default;
    }

    std::function<void()> aboutToBlock;
    ThreadPool pool{std::clamp(std::thread::hardware_concurrency(), 2u, 8u)};
    // The serial queues made here, stopped with the loop (guarded by `mutex`).
    std::vector<std::weak_ptr<X11SerialQueue>> serialQueues;

    bool onMain() const { return std::this_thread::get_id() == mainThread; }

    // Queues a call on the main thread through Qt; dropped once the loop is gone.
    void invokeOnMain(std::function<void()> call) {
        QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
    }

    void post(std::function<void()> block) {
        std::unique_lock lock(mutex);
        if (!alive) return;
        posted.push_back(std::move(block));
        if (drainQueued) return;
        drainQueued = true;
        lock.unlock();
        invokeOnMain([self = this] { self->drainPosts(); });
    }

    void drainPosts() {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(posted);
            drainQueued = false;
        }
        for (auto& block : batch)
            block();
    }

    Key schedule(Nanos due, std::function<void()> block) {
        std::unique_lock lock(mutex);
        Key key{due, nextSeq++};
        if (!alive) return key;
        scheduled.emplace(key, std::move(block));
        if (due >= armedFor) return key;
        if (onMain()) {
            lock.unlock();
            rearm();
        } else if (!rearmQueued) {
            rearmQueued = true;
            lock.unlock();
            invokeOnMain([self = this] { self->rearm(); });
        }
        return key;
    }

    void unschedule(const Key& key) {
        std::function<void()> dropped;
        std::lock_guard lock(mutex);
        auto it = scheduled.find(key);
        if (it == scheduled.end()) return;
        dropped = std::move(it->second);
        scheduled.erase(it);
    }

    // Main thread: points the Qt timer at `instant`, or stops it for kNever.
    void armAt(Nanos instant) {
        if (instant == kNever) {
            pumpTimer->stop();
            return;
        }
        Nanos wait = std::max<Nanos>(0, instant - steadyNow());
        pumpTimer->start(static_cast<int>(std::min<Nanos>((wait + 999'999) / 1'000'000, 24 * 3600 * 1000)));
    }

    // Main thread: points the Qt timer at the earliest due item.
    void rearm() {
        Nanos earliest;
        {
            std::lock_guard lock(mutex);
            rearmQueued = false;
            if (!alive) return;
            earliest = scheduled.empty() ? kNever : scheduled.begin()->first.first;
            armedFor = earliest;
        }
        armAt(earliest);
    }

    // Main thread: runs everything that is due, one at a time, then re-arms. A block may run a nested
    // event loop that lasts (a modal dialog's): the timer is pointed at the item after it first, so that
    // the nested loop goes on serving the schedule, and what the block schedules re-arms it as usual.
    void pump() {
        for (;;) {
            std::function<void()> block;
            Nanos next;
            {
                std::lock_guard lock(mutex);
                if (scheduled.empty() || scheduled.begin()->first.first > steadyNow()) break;
                block = std::move(scheduled.begin()->second);
                scheduled.erase(scheduled.begin());
                next = scheduled.empty() ? kNever : scheduled.begin()->first.first;
                armedFor = next;
            }
            armAt(next);
            block();
        }
        rearm();
    }
};

namespace {

class WorkItemImpl final : public platform::WorkItem {
  public:
    explicit WorkItemImpl(std::weak_ptr<X11RunLoop::Impl> loop) : loop_(std::move(loop)) {}

    void cancel() override {
        if (cancelled_.exchange(true)) return;
        std::optional<Key> key;
        {
            std::lock_guard lock(keyMutex_);
            key = key_;
        }
        if (auto loop = loop_.lock(); loop && key) loop->unschedule(*key);
    }
    bool isCancelled() const override { return cancelled_; }

    void setKey(Key key) {
        std::lock_guard lock(keyMutex_);
        key_ = key;
    }

  private:
    std::weak_ptr<X11RunLoop::Impl> loop_;
    std::atomic<bool> cancelled_{false};
    std::mutex keyMutex_;
    std::optional<Key> key_;
};

class TimerImpl final : public platform::Timer, public std::enable_shared_from_this<TimerImpl> {
  public:
    TimerImpl(std::weak_ptr<X11RunLoop::Impl> loop, Nanos interval, bool repeats, RunLoopMode mode,
              std::function<void(platform::Timer&)> fire)
        : loop_(std::move(loop)), interval_(std::max<Nanos>(interval, 0)), repeats_(repeats), mode_(mode),
          fire_(std::move(fire)) {}

    void invalidate() override {
        if (!valid_.exchange(false)) return;
        auto loop = loop_.lock();
        if (!loop) return;
        std::optional<Key> key;
        {
            std::lock_guard lock(keyMutex_);
            key = key_;
        }
        if (key) loop->unschedule(*key);
        std::shared_ptr<platform::Timer> self;
        {
            std::lock_guard lock(loop->mutex);
            auto it = std::find_if(loop->parked.begin(), loop->parked.end(),
                                   [&](const auto& t) { return t.get() == this; });
            if (it != loop->parked.end()) {
                self = *it; // released outside the lock
                loop->parked.erase(it);
            }
        }
    }
    bool isValid() const override { return valid_; }

    void arm(Nanos due) {
        std::lock_guard guard(armMutex_);
        due_ = due;
        scheduleAt(due);
    }

    RunLoopMode mode() const { return mode_; }

    // A parked timer whose mode has come back fires at `at`, late; a repeating one keeps its schedule.
    void resume(Nanos at) { scheduleAt(at); }

  private:
    void scheduleAt(Nanos at) {
        auto loop = loop_.lock();
        if (!loop || !valid_) return;
        Key key = loop->schedule(at, [self = shared_from_this()] { self->fire(); });
        std::lock_guard lock(keyMutex_);
        key_ = key;
    }

    void fire() {
        if (!valid_) return;
        auto loop = loop_.lock();
        if (!loop) return;
        if (!eligible(mode_, loop->mode())) {
            std::lock_guard lock(loop->mutex);
            loop->parked.push_back(shared_from_this());
            return;
        }
        if (fire_) fire_(*this);
        if (!repeats_) {
            valid_ = false;
            return;
        }
        if (!valid_) return;
        // Missed firings are skipped, not caught up.
        Nanos step = std::max<Nanos>(interval_, 100'000);
        Nanos now = steadyNow();
        Nanos next = due_ + step;
        if (next <= now) next = due_ + ((now - due_) / step + 1) * step;
        arm(next);
    }

    std::weak_ptr<X11RunLoop::Impl> loop_;
    Nanos interval_;
    bool repeats_;
    RunLoopMode mode_;
    std::function<void(platform::Timer&)> fire_;
    std::atomic<bool> valid_{true};
    std::mutex armMutex_;
    Nanos due_ = 0;
    std::mutex keyMutex_;
    std::optional<Key> key_;
};

struct WatchState {
    std::atomic<bool> active{true};
    std::function<void()> onReadable;
    QPointer<QSocketNotifier> notifier;
};

class DescriptorWatchImpl final : public DescriptorWatch {
  public:
    DescriptorWatchImpl(std::weak_ptr<X11RunLoop::Impl> loop, std::shared_ptr<WatchState> state)
        : loop_(std::move(loop)), state_(std::move(state)) {}
    ~DescriptorWatchImpl() override {
        state_->active = false;
        auto loop = loop_.lock();
        if (!loop) return;
        // Later, not now: the watch may end from inside the notifier's own signal.
        auto retire = [state = state_] {
            if (QSocketNotifier* n = state->notifier.data()) {
                n->setEnabled(false);
                n->deleteLater();
            }
        };
        if (loop->onMain())
            retire();
        else
            loop->post(retire);
    }

  private:
    std::weak_ptr<X11RunLoop::Impl> loop_;
    std::shared_ptr<WatchState> state_;
};

} // namespace

X11RunLoop::X11RunLoop() : impl_(std::make_shared<Impl>()) {
    impl_->mainThread = std::this_thread::get_id();
    impl_->receiver = new QObject();
    impl_->pumpTimer = new QTimer(impl_->receiver);
    impl_->pumpTimer->setSingleShot(true);
    impl_->pumpTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(impl_->pumpTimer, &QTimer::timeout, impl_->receiver,
                     [impl = impl_.get()] { impl->pump(); });
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread())) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, impl_->receiver,
                         [impl = impl_.get()] {
                             if (impl->aboutToBlock) impl->aboutToBlock();
                         });
    }
}

X11RunLoop::~X11RunLoop() {
    stopBackgroundWork();
    std::map<Key, std::function<void()>> scheduled;
    std::deque<std::function<void()>> posted;
    std::vector<std::shared_ptr<platform::Timer>> parked;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->alive = false;
        scheduled.swap(impl_->scheduled);
        posted.swap(impl_->posted);
        parked.swap(impl_->parked);
    }
    // Pending blocks are destroyed, never run; Qt drops the queued calls addressed to the receiver.
    delete impl_->receiver;
    impl_->receiver = nullptr;
    impl_->pumpTimer = nullptr;
}

Nanos X11RunLoop::now() const {
    return steadyNow();
}

Nanos X11RunLoop::wallClock() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void X11RunLoop::post(std::function<void()> block) {
    impl_->post(std::move(block));
}

platform::WorkItemRef X11RunLoop::postAfter(Nanos delay, std::function<void()> block) {
    auto item = std::make_shared<WorkItemImpl>(impl_);
    std::weak_ptr<WorkItemImpl> weakItem = item;
    Key key = impl_->schedule(steadyNow() + std::max<Nanos>(delay, 0), [weakItem, block = std::move(block)] {
        auto item = weakItem.lock();
        if (item && item->isCancelled()) return;
        block();
    });
    item->setKey(key);
    return item;
}

platform::TimerRef X11RunLoop::scheduleTimer(Nanos interval, bool repeats, RunLoopMode mode,
                                             std::function<void(platform::Timer&)> fire) {
    auto timer = std::make_shared<TimerImpl>(impl_, interval, repeats, mode, std::move(fire));
    timer->arm(steadyNow() + std::max<Nanos>(interval, 0));
    return timer;
}

bool X11RunLoop::isMainThread() const {
    return impl_->onMain();
}

void X11RunLoop::sleepBlocking(Nanos duration) {
    if (duration > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(duration));
}

void X11RunLoop::dispatchGlobal(platform::QueueQoS, std::function<void()> block) {
    impl_->pool.async(std::move(block));
}

std::shared_ptr<platform::SerialQueue> X11RunLoop::makeSerialQueue(const std::string& label) {
    auto queue = std::make_shared<X11SerialQueue>(label);
    std::lock_guard lock(impl_->mutex);
    std::erase_if(impl_->serialQueues, [](const auto& weak) { return weak.expired(); });
    impl_->serialQueues.push_back(queue);
    return queue;
}

RunLoopMode X11RunLoop::currentMode() const {
    return impl_->mode();
}

namespace {

// Main thread, after the mode changed: the parked timers that fire in the new mode are due now, in the
// order they came due; the others stay parked.
void resumeParked(X11RunLoop::Impl& loop) {
    std::vector<std::shared_ptr<platform::Timer>> resumed;
    {
        std::lock_guard lock(loop.mutex);
        const RunLoopMode mode = loop.mode();
        auto firesNow = [mode](const auto& t) { return eligible(static_cast<TimerImpl&>(*t).mode(), mode); };
        std::copy_if(loop.parked.begin(), loop.parked.end(), std::back_inserter(resumed), firesNow);
        std::erase_if(loop.parked, firesNow);
    }
    const Nanos now = steadyNow();
    for (const auto& timer : resumed)
        static_cast<TimerImpl&>(*timer).resume(now);
}

} // namespace

void X11RunLoop::enterEventTracking() {
    if (impl_->trackingDepth.fetch_add(1) == 0) resumeParked(*impl_);
}

void X11RunLoop::leaveEventTracking() {
    int depth = impl_->trackingDepth.load();
    while (depth > 0 && !impl_->trackingDepth.compare_exchange_weak(depth, depth - 1)) {
    }
    if (depth == 1) resumeParked(*impl_);
}

bool X11RunLoop::runUntil(const std::function<bool()>& done, Nanos timeout) {
    const Nanos deadline = steadyNow() + std::max<Nanos>(timeout, 0);
    // The tick bounds each wait for events, so that the deadline is noticed without any event.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(5);
    while (!done()) {
        if (steadyNow() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::unique_ptr<DescriptorWatch> X11RunLoop::watchDescriptor(int fd, std::function<void()> onReadable) {
    auto state = std::make_shared<WatchState>();
    state->onReadable = std::move(onReadable);
    auto install = [impl = impl_.get(), state, fd] {
        if (!state->active) return;
        auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, impl->receiver);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [state] {
            if (state->active) state->onReadable();
        });
        state->notifier = notifier;
    };
    if (impl_->onMain())
        install();
    else
        impl_->post(install);
    return std::make_unique<DescriptorWatchImpl>(impl_, state);
}

void X11RunLoop::setAboutToBlock(std::function<void()> hook) {
    impl_->aboutToBlock = std::move(hook);
}

void X11RunLoop::stopBackgroundWork() {
    std::vector<std::weak_ptr<X11SerialQueue>> queues;
    {
        std::lock_guard lock(impl_->mutex);
        queues.swap(impl_->serialQueues);
    }
    for (const auto& weak : queues)
        if (auto queue = weak.lock()) queue->stop();
    impl_->pool.stop();
}

} // namespace korvane::x11
