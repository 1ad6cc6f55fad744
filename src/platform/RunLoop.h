// The main run loop and the dispatch queues: the one place where time passes and deferred work runs.
#pragma once

#include "platform/Time.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvane::platform {

enum class RunLoopMode {
    Default,       // does not fire while the loop tracks an event (a drag, an open menu)
    Common,        // fires in every mode
    EventTracking, // fires only while an event is being tracked
};

// The mode's name in log lines: "default", "common" or "eventTracking".
constexpr std::string_view toString(RunLoopMode mode) {
    switch (mode) {
    case RunLoopMode::Default:
        return "default";
    case RunLoopMode::Common:
        return "common";
    case RunLoopMode::EventTracking:
        return "eventTracking";
    }
    return "default";
}

// A block posted for later that can be called off; cancelling after it ran, or twice, is harmless.
class WorkItem {
  public:
    virtual ~WorkItem() = default;
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
};
using WorkItemRef = std::shared_ptr<WorkItem>;

// A scheduled timer; invalidate() stops it for good.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};
using TimerRef = std::shared_ptr<Timer>;

enum class QueueQoS { Background, Utility, UserInitiated };

// A queue of blocks that run one after another, off the main thread.
class SerialQueue {
  public:
    virtual ~SerialQueue() = default;
    virtual const std::string& label() const = 0;
    virtual void async(std::function<void()> block) = 0;
    // Runs the block on the queue and waits for it.
    virtual void sync(const std::function<void()>& block) = 0;
};

class RunLoop {
  public:
    virtual ~RunLoop() = default;

    // Monotonic clock, and the wall clock as nanoseconds since 1970-01-01 UTC.
    virtual Nanos now() const = 0;
    virtual Nanos wallClock() const = 0;

    // Main queue: blocks run on the main thread in the order they were posted, in every mode.
    virtual void post(std::function<void()> block) = 0;
    virtual WorkItemRef postAfter(Nanos delay, std::function<void()> block) = 0;

    // Timers fire on the main thread in the given mode; a repeating timer fires every `interval`.
    virtual TimerRef scheduleTimer(Nanos interval, bool repeats, RunLoopMode mode,
                                   std::function<void(Timer&)> fire) = 0;

    virtual bool isMainThread() const = 0;

    // Blocks the calling thread. On the real desktop the thread sleeps; a simulation advances its clock.
    virtual void sleepBlocking(Nanos duration) = 0;

    // Global concurrent queues and named serial queues for background work.
    virtual void dispatchGlobal(QueueQoS qos, std::function<void()> block) = 0;
    virtual std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label) = 0;

    // The mode the loop is in now (event tracking while a drag or menu is in progress).
    virtual RunLoopMode currentMode() const = 0;

    // A menu of this program runs a nested loop of its own while it tracks the pointer: it enters the
    // event-tracking mode before and leaves it after, so that default-mode timers wait until it has
    // closed and then fire late, once. Main thread; nested scopes leave the mode when the outermost
    // ends, and a leave without an enter does nothing.
    virtual void enterEventTracking() = 0;
    virtual void leaveEventTracking() = 0;
};

// Holds the loop in the event-tracking mode for its lifetime (around a menu's nested loop).
class EventTrackingScope {
  public:
    explicit EventTrackingScope(RunLoop& loop) : loop_(loop) { loop_.enterEventTracking(); }
    ~EventTrackingScope() { loop_.leaveEventTracking(); }
    EventTrackingScope(const EventTrackingScope&) = delete;
    EventTrackingScope& operator=(const EventTrackingScope&) = delete;

  private:
    RunLoop& loop_;
};

} // namespace korvane::platform
