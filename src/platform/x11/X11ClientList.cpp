// Kept from one read of the client list to the next announced change of it.
#include "platform/x11/X11ClientList.h"

#include "platform/x11/X11Connection.h"

namespace korvane::x11 {

X11ClientList::X11ClientList(X11Connection& connection) : connection_(connection) {
    connection_.addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });
}

bool X11ClientList::names(xcb_window_t window) {
    std::lock_guard lock(mutex_);
    return kept_ && kept_->count(window) > 0;
}

std::uint64_t X11ClientList::changes() {
    std::lock_guard lock(mutex_);
    return changes_;
}

void X11ClientList::keep(const std::vector<xcb_window_t>& list, std::uint64_t changesBefore) {
    std::lock_guard lock(mutex_);
    if (changesBefore != changes_ || connection_.isBroken()) return;
    kept_.emplace(list.begin(), list.end());
}

void X11ClientList::handleEvent(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return;
    const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if (p.window != connection_.root() || p.atom != connection_.ewmh()._NET_CLIENT_LIST) return;
    std::lock_guard lock(mutex_);
    kept_.reset();
    ++changes_;
}

} // namespace korvane::x11
