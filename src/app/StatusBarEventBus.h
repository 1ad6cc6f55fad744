// The channel between the status-bar menu and the rest of the application: the menu publishes the
// user's actions, everything else publishes invalidations of what the menu shows. Neither side calls
// the other.
#pragma once

#include "app/EventBusBase.h"
#include "app/StatusBarEvent.h"

#include <functional>
#include <memory>
#include <string>

namespace korvane {

// The subscriber's handle on one action or invalidation handler: cancelling, from any thread, removes
// it once; destroying the handle cancels it.
class StatusBarEventSubscription final : public EventSubscription {
  public:
    using EventSubscription::EventSubscription;
};

// Handlers are kept and called on the main thread only; subscribing, cancelling and publishing from
// another thread reach it through the main queue, in the order asked. Logs at debug level under the
// category "StatusBarEventBus".
class StatusBarEventBus final : public EventBusBase<StatusBarEventBus, StatusBarEventSubscription> {
  public:
    using InvalidationHandler = std::function<void(const StatusBarInvalidationEvent&)>;
    using ActionHandler = std::function<void(StatusBarActionEvent)>;
    enum class HandlerKind { invalidation, action };

    static std::shared_ptr<StatusBarEventBus> create(platform::Platform& platform);

    [[nodiscard]] std::unique_ptr<StatusBarEventSubscription>
    subscribeInvalidations(InvalidationHandler handler);
    [[nodiscard]] std::unique_ptr<StatusBarEventSubscription> subscribeActions(ActionHandler handler);

    // Delivered at once on the main thread, else later through the main queue. Each delivery takes the
    // next event number, shared by both kinds, and calls the handlers registered at that moment.
    void publish(const StatusBarInvalidationEvent& invalidation);
    void publish(StatusBarActionEvent action);

    // Removes the token from the map of that kind (nothing when absent); the unsubscribe line is
    // written either way.
    void unsubscribe(const std::string& token, HandlerKind kind);

  private:
    explicit StatusBarEventBus(platform::Platform& platform);

    Handlers<InvalidationHandler> invalidationHandlers;
    Handlers<ActionHandler> actionHandlers;
};

} // namespace korvane
