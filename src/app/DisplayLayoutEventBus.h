// The channel on which components ask for the connected displays to be examined again: publishers send
// probes, the display-change handling subscribes; neither knows the other.
#pragma once

#include "app/DisplayLayoutProbeEvent.h"
#include "app/EventBusBase.h"

#include <functional>
#include <memory>

namespace korvane {

// The subscriber's handle on one probe handler: cancelling, from any thread, removes it once;
// destroying the handle cancels it.
class DisplayLayoutEventSubscription final : public EventSubscription {
  public:
    using EventSubscription::EventSubscription;
};

// Handlers are kept and called on the main thread only; subscribing, cancelling and publishing from
// another thread reach it through the main queue, in the order asked. Logs at debug level under the
// category "DisplayLayoutEventBus".
class DisplayLayoutEventBus final
    : public EventBusBase<DisplayLayoutEventBus, DisplayLayoutEventSubscription> {
  public:
    using ProbeHandler = std::function<void(const DisplayLayoutProbeEvent&)>;

    static std::shared_ptr<DisplayLayoutEventBus> create(platform::Platform& platform);

    [[nodiscard]] std::unique_ptr<DisplayLayoutEventSubscription> subscribe(ProbeHandler handler);
    // Delivered at once on the main thread, else later through the main queue. Each delivery takes the
    // next event number and calls the handlers registered at that moment, in token order.
    void publish(const DisplayLayoutProbeEvent& event);

  private:
    explicit DisplayLayoutEventBus(platform::Platform& platform);

    Handlers<ProbeHandler> probeHandlers;
};

} // namespace korvane
