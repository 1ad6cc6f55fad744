// The handle both event buses give their subscribers, and the log they write to.
#include "app/EventBusBase.h"

#include "core/Log.h"

namespace korvane {

EventSubscription::EventSubscription(std::function<void()> handler) : cancelHandler(std::move(handler)) {}

EventSubscription::~EventSubscription() {
    cancel();
}

void EventSubscription::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard guard(lock);
        handler = std::move(cancelHandler);
        cancelHandler = nullptr;
    }
    if (handler) handler();
}

platform::Logger eventBusLogger(platform::Platform& platform, std::string category) {
    return platform::Logger(platform.processInfo().bundleIdentifier().value_or(Log::kSubsystem),
                            std::move(category));
}

} // namespace korvane
