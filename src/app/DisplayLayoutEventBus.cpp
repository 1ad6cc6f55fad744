// Registration, removal and delivery of display-layout probes, all confined to the main thread.
#include "app/DisplayLayoutEventBus.h"

namespace korvane {

DisplayLayoutEventBus::DisplayLayoutEventBus(platform::Platform& platform)
    : EventBusBase(platform, "DisplayLayoutEventBus") {}

std::shared_ptr<DisplayLayoutEventBus> DisplayLayoutEventBus::create(platform::Platform& platform) {
    return std::shared_ptr<DisplayLayoutEventBus>(new DisplayLayoutEventBus(platform));
}

std::unique_ptr<DisplayLayoutEventSubscription> DisplayLayoutEventBus::subscribe(ProbeHandler handler) {
    return subscribeTo(&DisplayLayoutEventBus::probeHandlers, std::move(handler),
                       "subscribe probe token=%{public}s total=%ld",
                       "unsubscribe probe token=%{public}s total=%ld");
}

void DisplayLayoutEventBus::publish(const DisplayLayoutProbeEvent& event) {
    onMainThread([event](DisplayLayoutEventBus& bus) {
        bus.deliverTo(bus.probeHandlers, event,
                      "publish[%llu] probe reason=%{public}s source=%{public}s force=%{bool}d "
                      "preferred=%{public}s subscribers=%ld",
                      toString(event.reason), event.source, event.forceImmediate,
                      event.preferredDisplayUUID.value_or("-"));
    });
}

} // namespace korvane
