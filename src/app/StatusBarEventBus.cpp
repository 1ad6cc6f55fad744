// Registration, removal and delivery of the status-bar bus, all confined to the main thread.
#include "app/StatusBarEventBus.h"

namespace korvane {

namespace {

constexpr const char* kUnsubscribeInvalidation = "unsubscribe invalidation token=%{public}s total=%ld";
constexpr const char* kUnsubscribeAction = "unsubscribe action token=%{public}s total=%ld";

} // namespace

StatusBarEventBus::StatusBarEventBus(platform::Platform& platform)
    : EventBusBase(platform, "StatusBarEventBus") {}

std::shared_ptr<StatusBarEventBus> StatusBarEventBus::create(platform::Platform& platform) {
    return std::shared_ptr<StatusBarEventBus>(new StatusBarEventBus(platform));
}

std::unique_ptr<StatusBarEventSubscription>
StatusBarEventBus::subscribeInvalidations(InvalidationHandler handler) {
    return subscribeTo(&StatusBarEventBus::invalidationHandlers, std::move(handler),
                       "subscribe invalidation token=%{public}s total=%ld", kUnsubscribeInvalidation);
}

std::unique_ptr<StatusBarEventSubscription> StatusBarEventBus::subscribeActions(ActionHandler handler) {
    return subscribeTo(&StatusBarEventBus::actionHandlers, std::move(handler),
                       "subscribe action token=%{public}s total=%ld", kUnsubscribeAction);
}

void StatusBarEventBus::unsubscribe(const std::string& token, HandlerKind kind) {
    if (kind == HandlerKind::invalidation)
        removeFrom(&StatusBarEventBus::invalidationHandlers, token, kUnsubscribeInvalidation);
    else
        removeFrom(&StatusBarEventBus::actionHandlers, token, kUnsubscribeAction);
}

void StatusBarEventBus::publish(const StatusBarInvalidationEvent& invalidation) {
    onMainThread([invalidation](StatusBarEventBus& bus) {
        bus.deliverTo(bus.invalidationHandlers, invalidation,
                      "publish[%llu] invalidation=%{public}s subscribers=%ld", invalidation.description());
    });
}

void StatusBarEventBus::publish(StatusBarActionEvent action) {
    onMainThread([action](StatusBarEventBus& bus) {
        bus.deliverTo(bus.actionHandlers, action, "publish[%llu] action=%{public}s subscribers=%ld",
                      toString(action));
    });
}

} // namespace korvane
