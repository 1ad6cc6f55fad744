// The process-wide mouse event tap and its handler list.
#include "input/MouseEventTap.h"

#include "platform/Logging.h"
#include "platform/Platform.h"
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
    if (tap_) return;
    // The tap holds this object unretained, as the shared instance outlives it; stop() ends the tap.
    auto tap = platform_.hotKeys().createMouseTap(
        [this](const platform::MouseEvent& event) { return dispatch(event); });
    if (!tap) {
        platform::consoleSink()->writeLine(
            "[MouseEventTap] Failed to create event tap (check the XInput2 extension)");
        return;
    }
    if (!tap->addToMainRunLoop()) {
        platform::consoleSink()->writeLine("[MouseEventTap] Failed to select XInput2 raw events");
        return;
    }
    tap->setEnabled(true);
    tap_ = std::move(tap);
    platform::consoleSink()->writeLine(
        "[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)");
}

void MouseEventTap::stop() {
    tap_.reset();
}

bool MouseEventTap::dispatch(const platform::MouseEvent& event) {
    using platform::MouseEventType;
    if (event.type == MouseEventType::tapDisabledByTimeout ||
        event.type == MouseEventType::tapDisabledByUserInput) {
        if (tap_) tap_->setEnabled(true);
        return false;
    }
    if (event.type == MouseEventType::flagsChanged) currentModifiers_ = event.flags;
    removeDeadHandlers();
    // A snapshot: a handler may register another while it runs.
    const auto snapshot = handlers_;
    for (const auto& entry : snapshot)
        if (auto handler = entry.lock()) handler->handle(event);
    if (auto sdp = delegate.lock()) return sdp->handle(event);
    return false;
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
