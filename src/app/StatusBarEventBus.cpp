// Registration, removal and delivery of the status-bar bus, all confined to the main thread.
#include "app/StatusBarEventBus.h"

#include "core/Log.h"
#include "platform/Platform.h"

#include <vector>

namespace korvane {

namespace {

// The application has no bundle identifier on this desktop, so the bus logs under the subsystem.
const platform::Logger& busLog() {
    static const platform::Logger log = Log::category("StatusBarEventBus");
    return log;
}

} // namespace

StatusBarEventSubscription::StatusBarEventSubscription(std::function<void()> handler)
    : cancelHandler(std::move(handler)) {}

StatusBarEventSubscription::~StatusBarEventSubscription() {
    cancel();
}

void StatusBarEventSubscription::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard guard(lock);
        handler = std::move(cancelHandler);
        cancelHandler = nullptr;
    }
    if (handler) handler();
}

StatusBarEventBus::StatusBarEventBus(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<StatusBarEventBus> StatusBarEventBus::create(platform::Platform& platform) {
    return std::shared_ptr<StatusBarEventBus>(new StatusBarEventBus(platform));
}

void StatusBarEventBus::onMainThread(std::function<void(StatusBarEventBus&)> step) {
    if (platform_.runLoop().isMainThread()) {
        step(*this);
        return;
    }
    platform_.runLoop().post([weak = weak_from_this(), step = std::move(step)] {
        if (auto bus = weak.lock()) step(*bus);
    });
}

template <class Handler>
std::unique_ptr<StatusBarEventSubscription>
StatusBarEventBus::subscribe(std::map<std::string, Handler> StatusBarEventBus::*handlers, HandlerKind kind,
                             Handler handler) {
    const std::string token = platform_.processInfo().makeUUID();
    onMainThread([handlers, kind, token, handler = std::move(handler)](StatusBarEventBus& bus) {
        auto& map = bus.*handlers;
        map[token] = handler;
        busLog().debug(kind == HandlerKind::invalidation ? "subscribe invalidation token=%{public}s total=%ld"
                                                         : "subscribe action token=%{public}s total=%ld",
                       token, static_cast<std::int64_t>(map.size()));
    });
    return std::make_unique<StatusBarEventSubscription>([weak = weak_from_this(), token, kind] {
        if (auto bus = weak.lock()) bus->unsubscribe(token, kind);
    });
}

std::unique_ptr<StatusBarEventSubscription>
StatusBarEventBus::subscribeInvalidations(InvalidationHandler handler) {
    return subscribe(&StatusBarEventBus::invalidationHandlers, HandlerKind::invalidation, std::move(handler));
}

std::unique_ptr<StatusBarEventSubscription> StatusBarEventBus::subscribeActions(ActionHandler handler) {
    return subscribe(&StatusBarEventBus::actionHandlers, HandlerKind::action, std::move(handler));
}

void StatusBarEventBus::unsubscribe(const std::string& token, HandlerKind kind) {
    onMainThread([token, kind](StatusBarEventBus& bus) {
        std::size_t left = 0;
        if (kind == HandlerKind::invalidation) {
            bus.invalidationHandlers.erase(token);
            left = bus.invalidationHandlers.size();
        } else {
            bus.actionHandlers.erase(token);
            left = bus.actionHandlers.size();
        }
        busLog().debug(kind == HandlerKind::invalidation
                           ? "unsubscribe invalidation token=%{public}s total=%ld"
                           : "unsubscribe action token=%{public}s total=%ld",
                       token, static_cast<std::int64_t>(left));
    });
}

void StatusBarEventBus::publish(const StatusBarInvalidationEvent& invalidation) {
    onMainThread([invalidation](StatusBarEventBus& bus) { bus.deliver(invalidation); });
}

void StatusBarEventBus::publish(StatusBarActionEvent action) {
    onMainThread([action](StatusBarEventBus& bus) { bus.deliver(action); });
}

void StatusBarEventBus::deliver(const StatusBarInvalidationEvent& invalidation) {
    const std::uint64_t number = nextEventID++;
    std::vector<InvalidationHandler> snapshot;
    for (const auto& [token, handler] : invalidationHandlers)
        snapshot.push_back(handler);
    busLog().debug("publish[%llu] invalidation=%{public}s subscribers=%ld", number,
                   invalidation.description(), static_cast<std::int64_t>(snapshot.size()));
    for (const auto& handler : snapshot)
        handler(invalidation);
}

void StatusBarEventBus::deliver(StatusBarActionEvent action) {
    const std::uint64_t number = nextEventID++;
    std::vector<ActionHandler> snapshot;
    for (const auto& [token, handler] : actionHandlers)
        snapshot.push_back(handler);
    busLog().debug("publish[%llu] action=%{public}s subscribers=%ld", number, toString(action),
                   static_cast<std::int64_t>(snapshot.size()));
    for (const auto& handler : snapshot)
        handler(action);
}

} // namespace korvane
