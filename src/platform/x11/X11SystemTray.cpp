// Following the system tray's selection: looked up at the start and again whenever a tray announces
// itself or the window that held the selection is destroyed.
#include "platform/x11/X11SystemTray.h"

#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/x11/X11Connection.h"

#include <cstdint>
#include <string>

namespace korvane::x11 {

namespace {

// A tray that keeps taking and dropping the selection faster than it can be looked up is taken for none
// after this many looks; its next announcement looks again.
constexpr int kLookLimit = 5;

} // namespace

X11SystemTray::X11SystemTray(X11Connection& connection, platform::RunLoop& loop,
                             platform::NotificationCenter& notifications)
    : connection_(connection), loop_(loop), notifications_(notifications),
      selection_(connection.internAtom("_NET_SYSTEM_TRAY_S" + std::to_string(connection.screenNumber()))),
      manager_(connection.ewmh().MANAGER) {
    follow(false);
    connection_.addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });
}

void X11SystemTray::handleEvent(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == XCB_CLIENT_MESSAGE) {
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        // Other managers of the screen announce themselves the same way, this program among them.
        if (message.window == connection_.root() && message.type == manager_ && message.format == 32 &&
            message.data.data32[1] == selection_)
            follow(true);
    } else if (type == XCB_DESTROY_NOTIFY) {
        const auto& destroyed = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        if (destroyed.window != XCB_WINDOW_NONE && destroyed.window == owner_.load()) follow(true);
    }
}

void X11SystemTray::follow(bool announce) {
    if (selection_ == XCB_ATOM_NONE) return;
    const bool had = isAvailable();
    xcb_window_t owner = XCB_WINDOW_NONE;
    {
        auto guard = connection_.lock();
        xcb_connection_t* c = connection_.xcb();
        // The owner may be destroyed between the look and the selection of its events, which the server
        // then refuses: the selection is looked up again, and may have a new owner by then.
        for (int look = 0; look < kLookLimit; ++look) {
            XcbReply<xcb_get_selection_owner_reply_t> reply(
                xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection_), nullptr));
            owner = reply ? reply->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
            if (owner == XCB_WINDOW_NONE) break;
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            XcbReply<xcb_generic_error_t> refused(xcb_request_check(
                c, xcb_change_window_attributes_checked(c, owner, XCB_CW_EVENT_MASK, &mask)));
            if (!refused) break;
            owner = XCB_WINDOW_NONE;
        }
    }
    owner_ = owner;
    if (!announce || isAvailable() == had) return;
    // Observers are subsystem code, which an event handler never calls.
    loop_.post([this] { notifications_.post(platform::kSystemTrayDidChange); });
}

} // namespace korvane::x11
