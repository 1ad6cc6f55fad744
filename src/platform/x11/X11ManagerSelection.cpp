// Taking the screen's manager selection: look and take in one step under a grab of the server, at the
// server's own time, then announce the new owner on the root.
#include "platform/x11/X11ManagerSelection.h"

#include "platform/x11/X11Connection.h"

#include <cstdint>
#include <optional>

namespace korvane::x11 {

namespace {

constexpr const char* kSelectionPrefix = "_KORVANE_S";

// The server's time now, from the time stamp of a change to a property of our own window. A selection
// taken at CurrentTime could be undone by a request that the server sees late; a real time cannot.
// Nothing when the connection breaks meanwhile.
std::optional<xcb_timestamp_t> serverTime(xcb_connection_t* c, xcb_window_t window) {
    static constexpr char kName[] = "Korvane";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        sizeof kName - 1, kName);
    xcb_flush(c);
    while (xcb_generic_event_t* raw = xcb_wait_for_event(c)) {
        XcbReply<xcb_generic_event_t> event(raw);
        // A window the server could not make never sends its notice.
        if (raw->response_type == 0 &&
            reinterpret_cast<const xcb_generic_error_t*>(raw)->resource_id == window)
            return std::nullopt;
        if ((raw->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(raw);
        if (notify->window == window && notify->atom == XCB_ATOM_WM_NAME) return notify->time;
    }
    return std::nullopt;
}

xcb_window_t ownerOf(xcb_connection_t* c, xcb_atom_t selection) {
    XcbReply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return reply ? reply->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
}

// Nothing is offered through the selection: every conversion is refused at once, so that a client asking
// is not left waiting for an answer.
void refuse(xcb_connection_t* c, const xcb_selection_request_event_t& request) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_ATOM_NONE;
    xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(c);
}

} // namespace

std::unique_ptr<X11ManagerSelection> X11ManagerSelection::take(X11Connection& connection,
                                                               std::string& error) {
    const xcb_atom_t selection =
        connection.internAtom(kSelectionPrefix + std::to_string(connection.screenNumber()));
    const xcb_atom_t manager = connection.internAtom("MANAGER");
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();

    // Never mapped, and out of the window manager's hands should anyone map it.
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection.root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const auto time = serverTime(c, window);

    // Under the grab no other client runs between the look and the take: of two copies started together,
    // the second to get there finds the first's window.
    xcb_window_t owner = XCB_WINDOW_NONE;
    bool taken = false;
    if (time) {
        xcb_grab_server(c);
        owner = ownerOf(c, selection);
        if (owner == XCB_WINDOW_NONE) {
            xcb_set_selection_owner(c, window, selection, *time);
            taken = ownerOf(c, selection) == window;
        }
        xcb_ungrab_server(c);
    }
    if (!taken) {
        xcb_destroy_window(c, window);
        xcb_flush(c);
        const std::string display =
            connection.displayName().empty() ? "this display" : connection.displayName();
        error = owner != XCB_WINDOW_NONE
                    ? "Korvane already runs on display " + display
                    : "the X server of display " + display + " did not let Korvane take it";
        return nullptr;
    }

    xcb_client_message_event_t announce{};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = connection.root();
    announce.type = manager;
    announce.data.data32[0] = *time;
    announce.data.data32[1] = selection;
    announce.data.data32[2] = window;
    xcb_send_event(c, 0, connection.root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&announce));
    xcb_flush(c);

    // The handler outlives the selection (handlers stay with the connection); once the window is gone no
    // request names it.
    connection.addEventHandler([&connection, window, selection](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7F) != XCB_SELECTION_REQUEST) return;
        const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
        if (request.owner != window || request.selection != selection) return;
        auto lock = connection.lock();
        refuse(connection.xcb(), request);
    });
    return std::unique_ptr<X11ManagerSelection>(new X11ManagerSelection(connection, window));
}

X11ManagerSelection::X11ManagerSelection(X11Connection& connection, xcb_window_t window)
    : connection_(connection), window_(window) {}

X11ManagerSelection::~X11ManagerSelection() {
    // The selection goes with its owner window.
    auto guard = connection_.lock();
    xcb_destroy_window(connection_.xcb(), window_);
    xcb_flush(connection_.xcb());
}

} // namespace korvane::x11
