// The simulated main run loop: a virtual clock and a queue of timed work, run only when a test says so.
#pragma once

#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace korvane::sim {

using platform::RunLoopMode;

class SimRunLoop final : public platform::RunLoop {
  public:
    // The virtual clock starts at 0 (monotonic) and at `wallStart` (wall clock, ns since 1970).
    explicit SimRunLoop(Nanos wallStart = 1'780'000'000LL * kNanosPerSecond);
    // Pending blocks and timers are destroyed without running; handles to them stay safe to use.
    ~SimRunLoop() override;

    Nanos now() const override;
    Nanos wallClock() const override;
    void post(std::function<void()> block) override;
    platform::WorkItemRef postAfter(Nanos delay, std::function<void()> block) override;
    // A repeating timer re-arms at its previous instant + interval (at least 0.1 ms); firings missed
    // while its mode held it back or a callback blocked are skipped, not replayed in a burst.
    platform::TimerRef scheduleTimer(Nanos interval, bool repeats, RunLoopMode mode,
                                     std::function<void(platform::Timer&)> fire) override;
    bool isMainThread() const override;
    // Advances the clock without running any queued work; `onBlockingSleep` lets the simulated
    // desktop react to the time passing.
    void sleepBlocking(Nanos duration) override;
    // Background work runs on the loop too (deterministically), but isMainThread() is false inside it.
    // A serial queue's sync() runs inline, after the blocks already queued on it.
    void dispatchGlobal(platform::QueueQoS qos, std::function<void()> block) override;
    std::shared_ptr<platform::SerialQueue> makeSerialQueue(const std::string& label) override;
    RunLoopMode currentMode() const override;
    // Tracking puts the loop in the event-tracking mode; leaving the outermost scope returns it to the
    // mode it was in before.
    void enterEventTracking() override;
    void leaveEventTracking() override;

    // Test hooks.
    // Runs, in time order (equal times in scheduling order), everything due up to now + d, moving the
    // clock to each item's instant; the clock ends at now + d.
    void advance(Nanos d);
    // Runs everything due at the current instant, including what that work posts for now.
    void runUntilIdle();
    // Advances in small steps until `done` holds or `limit` has passed; returns whether it held.
    bool advanceUntil(const std::function<bool()>& done, Nanos limit, Nanos step = 1'000'000);
    void setMode(RunLoopMode mode);
    // Work items and timers still waiting (not counting invalidated or cancelled ones).
    std::size_t pendingCount() const;
    // Called with the clock's old and new value whenever sleepBlocking() moves it.
    std::function<void(Nanos from, Nanos to)> onBlockingSleep;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace korvane::sim
