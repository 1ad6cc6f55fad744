// The channel between the status-bar menu and the rest of the application: the menu publishes the
// user's actions, everything else publishes invalidations of what the menu shows. Neither side calls
// the other.
#pragma once

#include "app/StatusBarEvent.h"

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
class StatusBarEventSubscription {
  public:
    explicit StatusBarEventSubscription(std::function<void()> cancelHandler);
    ~StatusBarEventSubscription();
    StatusBarEventSubscription(const StatusBarEventSubscription&) = delete;
    StatusBarEventSubscription& operator=(const StatusBarEventSubscription&) = delete;

    void cancel();

  private:
    std::mutex lock;                     // guards only cancelHandler, so that concurrent cancels run it once
    std::function<void()> cancelHandler; // taken by the first cancel
};

// Handlers are kept and called on the main thread only; subscribing, cancelling and publishing from
// another thread reach it through the main queue, in the order asked. Deferred steps hold the bus
// weakly and are dropped once it is gone, so it is always owned through create().
class StatusBarEventBus : public std::enable_shared_from_this<StatusBarEventBus> {
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

    template <class Handler>
    std::unique_ptr<StatusBarEventSubscription>
    subscribe(std::map<std::string, Handler> StatusBarEventBus::*handlers, HandlerKind kind, Handler handler);
    // Runs `step` with the bus on the main thread: now when called there, else through the main queue.
    void onMainThread(std::function<void(StatusBarEventBus&)> step);
    void deliver(const StatusBarInvalidationEvent& invalidation);
    void deliver(StatusBarActionEvent action);

    platform::Platform& platform_;
    std::map<std::string, InvalidationHandler> invalidationHandlers;
    std::map<std::string, ActionHandler> actionHandlers;
    std::uint64_t nextEventID = 1;
};

} // namespace korvane
