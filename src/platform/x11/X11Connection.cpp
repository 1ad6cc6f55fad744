// Opening the connection, interning atoms, selecting the events the desktop follows, and handing
// events to their handlers.
#include "platform/x11/X11Connection.h"

#include "platform/Logger.h"
#include "platform/UTF8.h"
#include "platform/x11/X11PropertyCache.h"

#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace korvane::x11 {

const platform::Logger& x11Log() {
    static const platform::Logger logger("Korvane", "x11");
    return logger;
}

namespace {} // namespace

std::vector<std::uint32_t> PropertyValue::words() const {
    std::vector<std::uint32_t> out;
    if (format != 32) return out;
    out.resize(bytes.size() / 4);
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

std::unique_ptr<X11Connection> X11Connection::open(const std::string& displayName, std::string& error) {
    std::unique_ptr<X11Connection> c(new X11Connection());
    c->conn_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &c->screenNumber_);
    if (!c->conn_ || xcb_connection_has_error(c->conn_)) {
        error = "cannot connect to the X server " +
                (displayName.empty() ? std::string("named by DISPLAY") : "\"" + displayName + "\"");
        return nullptr;
    }
    if (!displayName.empty())
        c->displayName_ = displayName;
    else if (const char* fromEnvironment = std::getenv("DISPLAY"))
        c->displayName_ = fromEnvironment;
    const xcb_setup_t* setup = xcb_get_setup(c->conn_);
    auto it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < c->screenNumber_ && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem || !it.data) {
        error = "the X server has no screen " + std::to_string(c->screenNumber_);
        return nullptr;
    }
    c->root_ = it.data->root;
    c->rootWidth_ = it.data->width_in_pixels;
    c->rootHeight_ = it.data->height_in_pixels;

    c->ewmh_ = std::make_unique<xcb_ewmh_connection_t>();
    std::memset(c->ewmh_.get(), 0, sizeof(xcb_ewmh_connection_t));
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(c->conn_, c->ewmh_.get());
    if (!cookies || !xcb_ewmh_init_atoms_replies(c->ewmh_.get(), cookies, nullptr)) {
        error = "cannot intern the EWMH atoms";
        return nullptr;
    }
    c->ewmhReady_ = true;
    c->atoms_.WM_STATE = c->internAtom("WM_STATE");
    c->atoms_.WM_CHANGE_STATE = c->internAtom("WM_CHANGE_STATE");
    c->atoms_.WM_TAKE_FOCUS = c->internAtom("WM_TAKE_FOCUS");
    c->atoms_.COMPOUND_TEXT = c->internAtom("COMPOUND_TEXT");
    c->atoms_.EDID = c->internAtom("EDID");
    c->atoms_.KORVANE_PARKED = c->internAtom("_KORVANE_PARKED");

    // Monitors need RandR 1.5; without it the whole root is one screen.
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c->conn_, &xcb_randr_id);
    if (randr && randr->present) {
        XcbReply<xcb_randr_query_version_reply_t> version(
            xcb_randr_query_version_reply(c->conn_, xcb_randr_query_version(c->conn_, 1, 5), nullptr));
        if (version && (version->major_version > 1 || version->minor_version >= 5)) {
            c->hasMonitors_ = true;
            c->randrEventBase_ = randr->first_event;
            xcb_randr_select_input(c->conn_, c->root_,
                                   XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                                       XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                       XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY);
        }
    }
    // Clients that set no _NET_WM_PID are owned by the process the server saw connect.
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c->conn_, &xcb_res_id);
    if (res && res->present) {
        XcbReply<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(c->conn_, xcb_res_query_version(c->conn_, 1, 2), nullptr));
        c->hasClientPids_ = version && (version->server_major > 1 ||
                                        (version->server_major == 1 && version->server_minor >= 2));
    }
    // Key presses that go to another client (a combination it grabbed) still show as raw events.
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(c->conn_, &xcb_input_id);
    if (xinput && xinput->present) {
        XcbReply<xcb_input_xi_query_version_reply_t> version(
            xcb_input_xi_query_version_reply(c->conn_, xcb_input_xi_query_version(c->conn_, 2, 2), nullptr));
        c->hasXInput2_ = version && (version->major_version > 2 ||
                                     (version->major_version == 2 && version->minor_version >= 1));
        c->xinputOpcode_ = xinput->major_opcode;
    }
    // The root's properties carry the client list, the active window and the work area; its
    // ConfigureNotify is the only sign of a monitor added or removed on some servers.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    XcbReply<xcb_generic_error_t> err(xcb_request_check(
        c->conn_, xcb_change_window_attributes_checked(c->conn_, c->root_, XCB_CW_EVENT_MASK, &mask)));
    if (err) {
        error = "cannot select the root window's events (error " + std::to_string(err->error_code) + ")";
        return nullptr;
    }
    // The changes the cache listens for mostly come with events on this connection too: taking them in
    // after each batch keeps the two in step (the desktop's event pump also watches the cache's own
    // connection, for the changes that come there alone). First among the batch handlers, so that those
    // after it read what the batch announced, not what the cache knew before.
    c->propertyCache_ = X11PropertyCache::open(*c);
    if (X11PropertyCache* cache = c->propertyCache_.get()) {
        c->addBatchHandler([cache](bool) { cache->drain(); });
        c->addWriteHandler([cache] { cache->written(); });
    }
    return c;
}

X11Connection::~X11Connection() {
    propertyCache_.reset();
    if (ewmhReady_) xcb_ewmh_connection_wipe(ewmh_.get());
    if (conn_) xcb_disconnect(conn_);
}

int X11Connection::fileDescriptor() const {
    return xcb_get_file_descriptor(conn_);
}

bool X11Connection::isBroken() const {
    return xcb_connection_has_error(conn_) != 0;
}

bool X11Connection::selectRootXInputEvents(std::uint32_t add, std::uint32_t remove) {
    if (!hasXInput2_) return false;
    const std::uint32_t mask = (rootXInputMask_ | add) & ~remove;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, mask};
    auto guard = lock();
    XcbReply<xcb_generic_error_t> err(
        xcb_request_check(conn_, xcb_input_xi_select_events_checked(conn_, root_, 1, &selection.head)));
    if (err) return false;
    rootXInputMask_ = mask;
    return true;
}

void X11Connection::addEventHandler(EventHandler handler) {
    handlers_.push_back(std::move(handler));
}

void X11Connection::addBatchHandler(BatchHandler handler) {
    batchHandlers_.push_back(std::move(handler));
}

bool X11Connection::dispatchPending() {
    std::vector<XcbReply<xcb_generic_event_t>> events;
    {
        auto guard = lock();
        // What was read before comes first, in the order the server sent it.
        while (!waiting_.empty() && events.size() < kBatchLimit) {
            events.push_back(std::move(waiting_.front()));
            waiting_.pop_front();
        }
        while (events.size() < kBatchLimit) {
            xcb_generic_event_t* e = xcb_poll_for_event(conn_);
            if (!e) break;
            events.emplace_back(e);
        }
        if (isBroken() && !reportedBroken_) {
            reportedBroken_ = true;
            x11Log().fault("Lost the connection to the X server (error %d)", xcb_connection_has_error(conn_));
        }
    }
    for (const auto& e : events) {
        // Errors of requests without replies land here; a window that vanished meanwhile is routine.
        if (e->response_type == 0) {
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(e.get());
            if (error->error_code != XCB_WINDOW)
                x11Log().debug("X request failed: error %d, major %d", error->error_code, error->major_code);
            continue;
        }
        for (const auto& handler : handlers_)
            handler(*e);
    }
    if (!events.empty()) {
        bool more = false;
        {
            auto guard = lock();
            if (waiting_.empty())
                if (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) waiting_.emplace_back(e);
            more = !waiting_.empty();
        }
        for (const auto& handler : batchHandlers_)
            handler(more);
    }
    // The rest of a batch cut short, and events that came in with the replies the batch handlers waited
    // for, sit in xcb's queue where no readable socket announces them: one is taken ahead to tell.
    auto guard = lock();
    if (waiting_.empty())
        if (xcb_generic_event_t* e = xcb_poll_for_queued_event(conn_)) waiting_.emplace_back(e);
    return !waiting_.empty();
}

bool X11Connection::anyPending(const std::function<bool(const xcb_generic_event_t& event)>& matches) {
    auto guard = lock();
    // What is queued, then what one read of the socket brings (xcb reads only when its queue is empty):
    // a client that sends without pause cannot keep a reader here.
    auto takeQueued = [&] {
        while (xcb_generic_event_t* e = xcb_poll_for_queued_event(conn_))
            waiting_.emplace_back(e);
    };
    takeQueued();
    if (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
        waiting_.emplace_back(e);
        takeQueued();
    }
    for (const auto& e : waiting_)
        if (e->response_type != 0 && matches(*e)) return true;
    return false;
}

std::optional<PropertyValue> X11Connection::readProperty(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type) const {
    auto guard = lock();
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        conn_, xcb_get_property_unchecked(conn_, 0, window, property, type, 0, 1u << 24), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    PropertyValue v;
    v.type = reply->type;
    v.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    if (length > 0 && data) v.bytes.assign(data, data + length);
    return v;
}

xcb_atom_t X11Connection::internAtom(const std::string& name) const {
    auto guard = lock();
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string X11Connection::atomName(xcb_atom_t atom) const {
    auto guard = lock();
    if (auto it = atomNames_.find(atom); it != atomNames_.end()) return it->second;
    XcbReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(conn_, xcb_get_atom_name(conn_, atom), nullptr));
    if (!reply) return {};
    std::string name(xcb_get_atom_name_name(reply.get()),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
    atomNames_.emplace(atom, name);
    return name;
}

void X11Connection::flush() const {
    auto guard = lock();
    xcb_flush(conn_);
}

void X11Connection::sendRootMessage(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1,
                                    std::uint32_t d2, std::uint32_t d3, std::uint32_t d4) const {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof(event));
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    event.data.data32[3] = d3;
    event.data.data32[4] = d4;
    auto guard = lock();
    xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(conn_);
    noteWrite();
}

void X11Connection::addWriteHandler(WriteHandler handler) {
    writeHandlers_.push_back(std::move(handler));
}

void X11Connection::noteWrite() const {
    for (const auto& handler : writeHandlers_)
        handler();
}

std::string decodeText(const PropertyValue& value, const X11Connection& connection) {
    std::string raw(value.bytes.begin(), value.bytes.end());
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    if (value.type == XCB_ATOM_STRING || value.type == connection.atoms().COMPOUND_TEXT)
        return utf8FromLatin1(raw);
    // UTF8_STRING, and any other type a client chose: whatever bytes it set, what goes on is UTF-8.
    return validUTF8(raw);
}

} // namespace korvane::x11
