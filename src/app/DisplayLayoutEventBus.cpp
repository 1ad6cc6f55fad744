// Registration, removal and delivery of display-layout probes, all confined to the main thread.
#include "app/DisplayLayoutEventBus.h"

#include "core/Log.h"
#include "platform/Platform.h"

#include <vector>

namespace korvane {

namespace {

// The application has no bundle identifier on this desktop, so the bus logs under the subsystem.
const platform::Logger& busLog() {
    static const platform::Logger log = Log::category("DisplayLayoutEventBus");
    return log;
}

} // namespace

DisplayLayoutEventSubscription::DisplayLayoutEventSubscription(std::function<void()> handler)
    : cancelHandler(std::move(handler)) {}

DisplayLayoutEventSubscription::~DisplayLayoutEventSubscription() {
    cancel();
}

void DisplayLayoutEventSubscription::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard guard(lock);
        handler = std::move(cancelHandler);
        cancelHandler = nullptr;
    }
    if (handler) handler();
}

DisplayLayoutEventBus::DisplayLayoutEventBus(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<DisplayLayoutEventBus> DisplayLayoutEventBus::create(platform::Platform& platform) {
    return std::shared_ptr<DisplayLayoutEventBus>(new DisplayLayoutEventBus(platform));
}

void DisplayLayoutEventBus::onMainThread(std::function<void(DisplayLayoutEventBus&)> step) {
    if (platform_.runLoop().isMainThread()) {
        step(*this);
        return;
    }
    platform_.runLoop().post([weak = weak_from_this(), step = std::move(step)] {
        if (auto bus = weak.lock()) step(*bus);
    });
}

std::unique_ptr<DisplayLayoutEventSubscription> DisplayLayoutEventBus::subscribe(ProbeHandler handler) {
    const std::string token = platform_.processInfo().makeUUID();
    onMainThread([token, handler = std::move(handler)](DisplayLayoutEventBus& bus) {
        bus.probeHandlers[token] = handler;
        busLog().debug("subscribe probe token=%{public}s total=%ld", token,
                       static_cast<std::int64_t>(bus.probeHandlers.size()));
    });
    return std::make_unique<DisplayLayoutEventSubscription>([weak = weak_from_this(), token] {
        auto bus = weak.lock();
        if (!bus) return;
        bus->onMainThread([token](DisplayLayoutEventBus& self) {
            self.probeHandlers.erase(token);
            busLog().debug("unsubscribe probe token=%{public}s total=%ld", token,
                           static_cast<std::int64_t>(self.probeHandlers.size()));
        });
    });
}

void DisplayLayoutEventBus::publish(const DisplayLayoutProbeEvent& event) {
    onMainThread([event](DisplayLayoutEventBus& bus) { bus.deliver(event); });
}

void DisplayLayoutEventBus::deliver(const DisplayLayoutProbeEvent& event) {
    const std::uint64_t number = nextEventID++;
    std::vector<ProbeHandler> snapshot;
    for (const auto& [token, handler] : probeHandlers)
        snapshot.push_back(handler);
    busLog().debug(
        "publish[%llu] probe reason=%{public}s source=%{public}s force=%{bool}d preferred=%{public}s "
        "subscribers=%ld",
        number, toString(event.reason), event.source, event.forceImmediate,
        event.preferredDisplayUUID.value_or("-"), static_cast<std::int64_t>(snapshot.size()));
    for (const auto& handler : snapshot)
        handler(event);
}

} // namespace korvane
