// The channel on which components ask for the connected displays to be examined again: publishers send
// probes, the display-change handling subscribes; neither knows the other.
#pragma once

#include "app/DisplayLayoutProbeEvent.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace korvane {

namespace platform {
class Platform;
}

// The subscriber's handle on one registration. Cancelling, from any thread, removes the handler once;
// destroying the handle cancels it.
class DisplayLayoutEventSubscription {
  public:
    explicit DisplayLayoutEventSubscription(std::function<void()> cancelHandler);
    ~DisplayLayoutEventSubscription();
    DisplayLayoutEventSubscription(const DisplayLayoutEventSubscription&) = delete;
    DisplayLayoutEventSubscription& operator=(const DisplayLayoutEventSubscription&) = delete;

    void cancel();

  private:
    std::mutex lock;                     // guards only cancelHandler, so that concurrent cancels run it once
    std::function<void()> cancelHandler; // taken by the first cancel
};

// Handlers are kept and called on the main thread only; subscribing, cancelling and publishing from
// another thread reach it through the main queue, in the order asked. Deferred steps hold the bus
// weakly and are dropped once it is gone, so it is always owned through create().
class DisplayLayoutEventBus : public std::enable_shared_from_this<DisplayLayoutEventBus> {
  public:
    using ProbeHandler = std::function<void(const DisplayLayoutProbeEvent&)>;

    static std::shared_ptr<DisplayLayoutEventBus> create(platform::Platform& platform);

    [[nodiscard]] std::unique_ptr<DisplayLayoutEventSubscription> subscribe(ProbeHandler handler);
    // Delivered at once on the main thread, else later through the main queue. Each delivery takes the
    // next event number and calls the handlers registered at that moment, in token order.
    void publish(const DisplayLayoutProbeEvent& event);

  private:
    explicit DisplayLayoutEventBus(platform::Platform& platform);

    // Runs `step` with the bus on the main thread: now when called there, else through the main queue.
    void onMainThread(std::function<void(DisplayLayoutEventBus&)> step);
    void deliver(const DisplayLayoutProbeEvent& event);

    platform::Platform& platform_;
    std::map<std::string, ProbeHandler> probeHandlers;
    std::uint64_t nextEventID = 1;
};

} // namespace korvane
