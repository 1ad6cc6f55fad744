// The process-wide mouse event tap and its handler list.
#include "input/MouseEventTap.h"

#include "platform/ProcessWide.h"

#include <algorithm>

namespace korvane {

namespace {

platform::ProcessWide<MouseEventTap> gShared;

} // namespace

MouseEventTap::MouseEventTap(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<MouseEventTap> MouseEventTap::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<MouseEventTap>(platform); });
}

void MouseEventTap::setShared(std::shared_ptr<MouseEventTap> instance) {
    gShared.set(std::move(instance));
}

void MouseEventTap::start() {
    isRunning_ = true;
}

void MouseEventTap::stop() {
    isRunning_ = false;
}

void MouseEventTap::addHandler(const std::shared_ptr<MouseEventHandler>& handler) {
    removeDeadHandlers();
    if (!handler) return;
    // Identity, not equality: the same object registered twice would see every event twice.
    const bool registered = std::any_of(handlers_.begin(), handlers_.end(),
                                        [&](const auto& entry) { return entry.lock() == handler; });
    if (!registered) handlers_.push_back(handler);
}

void MouseEventTap::removeDeadHandlers() {
    std::erase_if(handlers_, [](const auto& entry) { return entry.expired(); });
}

} // namespace korvane
