// The shape the application's event buses share: handlers kept under random tokens and called on the
// main thread only, one event counter per bus, delivery over a snapshot of the handlers, and handles
// that remove their handler once, from any thread. Each bus keeps its own names, maps and log lines.
#pragma once

#include "platform/Logger.h"
#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The subscriber's handle on one registration. Cancelling, from any thread, removes the handler once;
// destroying the handle cancels it.
class EventSubscription {
  public:
    explicit EventSubscription(std::function<void()> cancelHandler);
    virtual ~EventSubscription();
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;

    void cancel();

  private:
    std::mutex lock;                     // guards only cancelHandler, so that concurrent cancels run it once
    std::function<void()> cancelHandler; // taken by the first cancel; run outside the lock
};

// A bus's log: the program's bundle identifier as subsystem ("Korvane" when it has none) and the bus's
// own category.
platform::Logger eventBusLogger(platform::Platform& platform, std::string category);

// `Bus` is the bus itself, always owned by a shared_ptr: deferred steps hold it weakly and are dropped
// once it is gone. `Subscription` is the handle type its subscribers hold.
template <class Bus, class Subscription> class EventBusBase : public std::enable_shared_from_this<Bus> {
  protected:
    template <class Handler> using Handlers = std::map<std::string, Handler>;

    EventBusBase(platform::Platform& platform, std::string category)
        : platform_(platform), log_(eventBusLogger(platform, std::move(category))) {}

    // Runs `step` with the bus on the main thread: now when called there, else through the main queue,
    // in the order asked.
    void onMainThread(std::function<void(Bus&)> step) {
        if (platform_.runLoop().isMainThread()) {
            step(static_cast<Bus&>(*this));
            return;
        }
        platform_.runLoop().post([weak = this->weak_from_this(), step = std::move(step)] {
            if (auto bus = weak.lock()) step(*bus);
        });
    }

    // Registers `handler` under a fresh token in the map `handlers` names and writes `subscribeLine`
    // (token, handlers now registered). The handle's cancel removes that token again (removeFrom). The
    // lines are string literals: deferred steps keep them by view.
    template <class Handler>
    std::unique_ptr<Subscription> subscribeTo(Handlers<Handler> Bus::*handlers, Handler handler,
                                              std::string_view subscribeLine,
                                              std::string_view unsubscribeLine) {
        const std::string token = platform_.processInfo().makeUUID();
        onMainThread([handlers, token, subscribeLine, handler = std::move(handler)](Bus& bus) {
            auto& map = bus.*handlers;
            map[token] = handler;
            bus.log_.debug(subscribeLine, token, static_cast<std::int64_t>(map.size()));
        });
        return std::make_unique<Subscription>(
            [weak = this->weak_from_this(), handlers, token, unsubscribeLine] {
                if (auto bus = weak.lock()) bus->removeFrom(handlers, token, unsubscribeLine);
            });
    }

    // Removes the token on the main thread (nothing when it is absent) and writes `unsubscribeLine`
    // (token, handlers left) either way.
    template <class Handler>
    void removeFrom(Handlers<Handler> Bus::*handlers, const std::string& token,
                    std::string_view unsubscribeLine) {
        onMainThread([handlers, token, unsubscribeLine](Bus& bus) {
            auto& map = bus.*handlers;
            map.erase(token);
            bus.log_.debug(unsubscribeLine, token, static_cast<std::int64_t>(map.size()));
        });
    }

    // Main thread. Takes the next event number, writes `publishLine` (number, `fields`, handlers in the
    // snapshot) and calls the handlers registered now, in token order: a handler that subscribes or
    // cancels changes later deliveries only.
    template <class Handler, class Event, class... Fields>
    void deliverTo(const Handlers<Handler>& handlers, const Event& event, std::string_view publishLine,
                   const Fields&... fields) {
        const std::uint64_t number = nextEventID++; // wraps around after 2^64 events
        std::vector<Handler> snapshot;
        snapshot.reserve(handlers.size());
        for (const auto& [token, handler] : handlers)
            snapshot.push_back(handler);
        log_.debug(publishLine, number, fields..., static_cast<std::int64_t>(snapshot.size()));
        for (const auto& handler : snapshot)
            handler(event);
    }

    platform::Platform& platform_;

  private:
    platform::Logger log_;
    std::uint64_t nextEventID = 1;
};

} // namespace korvane
