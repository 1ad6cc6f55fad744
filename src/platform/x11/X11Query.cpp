// Pipelined reads: every request of a batch is sent before the first reply is awaited, so a batch
// costs one round trip however many windows it covers.
#include "platform/x11/X11Query.h"

#include "platform/x11/X11Connection.h"

#include <xcb/randr.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace korvane::x11 {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using XcbReply = std::unique_ptr<T, FreeDeleter>;
using PropertyReply = XcbReply<xcb_get_property_reply_t>;

constexpr std::uint32_t kLongLength = 1u << 16; // in 32-bit units: titles and lists far beyond any real one

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                              std::uint32_t length = kLongLength) {
    return xcb_get_property_unchecked(c, 0, w, property, type, 0, length);
}

PropertyReply take(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    PropertyReply reply(xcb_get_property_reply(c, cookie, nullptr));
    if (reply && reply->type == XCB_ATOM_NONE) reply.reset();
    return reply;
}

std::vector<std::uint32_t> words(const PropertyReply& reply) {
    std::vector<std::uint32_t> out;
    if (!reply || reply->format != 32) return out;
    const int n = xcb_get_property_value_length(reply.get()) / 4;
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0) std::memcpy(out.data(), xcb_get_property_value(reply.get()), out.size() * 4);
    return out;
}

std::optional<std::string> text(const PropertyReply& reply, const X11Connection& connection) {
    if (!reply || reply->format != 8) return std::nullopt;
    PropertyValue v;
    v.type = reply->type;
    v.format = 8;
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    v.bytes.assign(data, data + xcb_get_property_value_length(reply.get()));
    return decodeText(v, connection);
}

WindowKind kindFromTypes(const std::vector<std::uint32_t>& types, bool transient,
                         const xcb_ewmh_connection_t& e) {
    for (auto t : types) {
        if (t == e._NET_WM_WINDOW_TYPE_NORMAL) return WindowKind::normal;
        if (t == e._NET_WM_WINDOW_TYPE_DIALOG) return WindowKind::dialog;
        if (t == e._NET_WM_WINDOW_TYPE_DOCK) return WindowKind::dock;
        if (t == e._NET_WM_WINDOW_TYPE_DESKTOP) return WindowKind::desktop;
        if (t == e._NET_WM_WINDOW_TYPE_NOTIFICATION) return WindowKind::notification;
        if (t == e._NET_WM_WINDOW_TYPE_UTILITY || t == e._NET_WM_WINDOW_TYPE_TOOLBAR ||
            t == e._NET_WM_WINDOW_TYPE_MENU || t == e._NET_WM_WINDOW_TYPE_SPLASH ||
            t == e._NET_WM_WINDOW_TYPE_DROPDOWN_MENU || t == e._NET_WM_WINDOW_TYPE_POPUP_MENU ||
            t == e._NET_WM_WINDOW_TYPE_TOOLTIP || t == e._NET_WM_WINDOW_TYPE_COMBO ||
            t == e._NET_WM_WINDOW_TYPE_DND)
            return WindowKind::floating;
        // Unknown types are skipped: the list is in order of preference.
    }
    // A transient window without a type is a dialog, as window managers treat it.
    return transient ? WindowKind::dialog : WindowKind::normal;
}

} // namespace

Size SizeHints::constrain(double width, double height) const {
    auto one = [](double want, int base, int inc, int min, int max) {
        double v = std::clamp(std::floor(want), static_cast<double>(min), static_cast<double>(max));
        if (inc > 1) {
            double steps = std::floor((v - base) / inc);
            v = base + std::max(steps, 0.0) * inc;
            if (v < min) v += inc;
        }
        return v;
    };
    return {one(width, baseWidth, widthInc, minWidth, maxWidth),
            one(height, baseHeight, heightInc, minHeight, maxHeight)};
}

bool DesktopState::isClient(xcb_window_t w) const {
    return w != XCB_WINDOW_NONE && std::find(clients.begin(), clients.end(), w) != clients.end();
}

std::vector<xcb_window_t> DesktopState::frontToBack() const {
    std::vector<xcb_window_t> out(stacking.rbegin(), stacking.rend());
    std::erase_if(out, [&](xcb_window_t w) { return !isClient(w); });
    for (auto w : clients)
        if (std::find(out.begin(), out.end(), w) == out.end()) out.push_back(w);
    return out;
}

namespace {

std::vector<Monitor> monitorsFromReply(const X11Connection& connection,
                                       xcb_randr_get_monitors_reply_t* reply) {
    std::vector<Monitor> out;
    if (!reply) return out;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t* info = it.data;
        Monitor m;
        m.nameAtom = info->name;
        m.primary = info->primary != 0;
        m.root = Rect{static_cast<double>(info->x), static_cast<double>(info->y),
                      static_cast<double>(info->width), static_cast<double>(info->height)};
        const xcb_randr_output_t* outputs = xcb_randr_monitor_info_outputs(info);
        const int n = xcb_randr_monitor_info_outputs_length(info);
        for (int i = 0; i < n; ++i)
            m.outputs.push_back(outputs[i]);
        out.push_back(std::move(m));
    }
    for (auto& m : out)
        m.name = connection.atomName(m.nameAtom);
    return out;
}

} // namespace

Rect primaryRect(const std::vector<Monitor>& monitors, const X11Connection& connection) {
    for (const auto& m : monitors)
        if (m.primary) return m.root;
    if (!monitors.empty()) return monitors.front().root;
    return Rect{0, 0, static_cast<double>(connection.rootWidth()),
                static_cast<double>(connection.rootHeight())};
}

std::vector<Monitor> fetchMonitors(const X11Connection& connection) {
    if (!connection.hasMonitors()) return {};
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    XcbReply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors_unchecked(c, connection.root(), 1), nullptr));
    return monitorsFromReply(connection, reply.get());
}

DesktopState fetchDesktopState(const X11Connection& connection) {
    DesktopState state;
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    const xcb_window_t root = connection.root();
    auto clients = ask(c, root, e._NET_CLIENT_LIST, XCB_ATOM_WINDOW);
    auto stacking = ask(c, root, e._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW);
    auto active = ask(c, root, e._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 1);
    std::optional<xcb_randr_get_monitors_cookie_t> monitors;
    if (connection.hasMonitors()) monitors = xcb_randr_get_monitors_unchecked(c, root, 1);

    state.clients = words(take(c, clients));
    state.stacking = words(take(c, stacking));
    auto activeWords = words(take(c, active));
    state.active = activeWords.empty() ? static_cast<xcb_window_t>(XCB_WINDOW_NONE) : activeWords[0];
    if (monitors) {
        XcbReply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(c, *monitors, nullptr));
        state.monitors = monitorsFromReply(connection, reply.get());
    }
    state.coordinates.primary = primaryRect(state.monitors, connection);
    state.ok = !connection.isBroken();
    return state;
}

xcb_window_t fetchActiveWindow(const X11Connection& connection) {
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    auto w =
        words(take(c, ask(c, connection.root(), connection.ewmh()._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 1)));
    return w.empty() ? static_cast<xcb_window_t>(XCB_WINDOW_NONE) : w[0];
}

std::optional<Point> fetchPointer(const X11Connection& connection) {
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer_unchecked(c, connection.root()), nullptr));
    if (!reply) return std::nullopt;
    return Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
}

std::vector<ClientWindow> fetchClients(const X11Connection& connection,
                                       const std::vector<xcb_window_t>& windows) {
    struct Cookies {
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t pid, wmClass, netName, wmName, type, state, extents, wmState, transient,
            hints, strutPartial, strut;
    };
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    const xcb_window_t root = connection.root();

    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (auto w : windows) {
        Cookies k;
        k.geometry = xcb_get_geometry_unchecked(c, w);
        k.origin = xcb_translate_coordinates_unchecked(c, w, root, 0, 0);
        k.attributes = xcb_get_window_attributes_unchecked(c, w);
        k.pid = ask(c, w, e._NET_WM_PID, XCB_ATOM_CARDINAL, 1);
        k.wmClass = ask(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 2048);
        k.netName = ask(c, w, e._NET_WM_NAME, XCB_ATOM_ANY);
        k.wmName = ask(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
        k.type = ask(c, w, e._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, 64);
        k.state = ask(c, w, e._NET_WM_STATE, XCB_ATOM_ATOM, 64);
        k.extents = ask(c, w, e._NET_FRAME_EXTENTS, XCB_ATOM_CARDINAL, 4);
        k.wmState = ask(c, w, connection.atoms().WM_STATE, connection.atoms().WM_STATE, 2);
        k.transient = ask(c, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
        k.hints = ask(c, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
        k.strutPartial = ask(c, w, e._NET_WM_STRUT_PARTIAL, XCB_ATOM_CARDINAL, 12);
        k.strut = ask(c, w, e._NET_WM_STRUT, XCB_ATOM_CARDINAL, 4);
        cookies.push_back(k);
    }

    std::vector<ClientWindow> out;
    out.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Cookies& k = cookies[i];
        ClientWindow cw;
        cw.window = windows[i];
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, k.geometry, nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, k.origin, nullptr));
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, k.attributes, nullptr));
        auto pid = take(c, k.pid);
        auto wmClass = take(c, k.wmClass);
        auto netName = take(c, k.netName);
        auto wmName = take(c, k.wmName);
        auto type = take(c, k.type);
        auto state = take(c, k.state);
        auto extents = take(c, k.extents);
        auto wmState = take(c, k.wmState);
        auto transient = take(c, k.transient);
        auto hints = take(c, k.hints);
        auto strutPartial = take(c, k.strutPartial);
        auto strut = take(c, k.strut);

        cw.exists = geometry && origin;
        if (!cw.exists) {
            out.push_back(std::move(cw));
            continue;
        }
        cw.clientRoot = Rect{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y),
                             static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
        cw.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        if (auto v = words(pid); !v.empty()) cw.pid = static_cast<pid_t>(v[0]);
        if (wmClass) {
            xcb_icccm_get_wm_class_reply_t parsed;
            // Once parsed, the reply belongs to the parsed value and goes with it.
            if (xcb_icccm_get_wm_class_from_reply(&parsed, wmClass.get())) {
                wmClass.release();
                if (parsed.instance_name) cw.instanceName = parsed.instance_name;
                if (parsed.class_name) cw.className = parsed.class_name;
                xcb_icccm_get_wm_class_reply_wipe(&parsed);
            }
        }
        cw.title = text(netName, connection);
        if (!cw.title) cw.title = text(wmName, connection);
        if (auto v = words(extents); v.size() >= 4) std::copy_n(v.begin(), 4, cw.extents.begin());
        if (auto v = words(wmState); !v.empty()) cw.wmState = static_cast<int>(v[0]);
        for (auto atom : words(state)) {
            if (atom == e._NET_WM_STATE_FULLSCREEN) cw.fullscreen = true;
            if (atom == e._NET_WM_STATE_ABOVE) cw.above = true;
        }
        cw.kind = kindFromTypes(words(type), !words(transient).empty(), e);
        if (hints) {
            xcb_size_hints_t h;
            std::memset(&h, 0, sizeof(h));
            if (xcb_icccm_get_wm_size_hints_from_reply(&h, hints.get())) {
                if (h.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE) {
                    cw.hints.minWidth = std::max(h.min_width, 0);
                    cw.hints.minHeight = std::max(h.min_height, 0);
                }
                if (h.flags & XCB_ICCCM_SIZE_HINT_P_MAX_SIZE) {
                    if (h.max_width > 0) cw.hints.maxWidth = h.max_width;
                    if (h.max_height > 0) cw.hints.maxHeight = h.max_height;
                }
                if (h.flags & XCB_ICCCM_SIZE_HINT_P_RESIZE_INC) {
                    cw.hints.widthInc = std::max(h.width_inc, 1);
                    cw.hints.heightInc = std::max(h.height_inc, 1);
                }
                // Without a base size the minimum stands in for it, and the other way round.
                if (h.flags & XCB_ICCCM_SIZE_HINT_BASE_SIZE) {
                    cw.hints.baseWidth = std::max(h.base_width, 0);
                    cw.hints.baseHeight = std::max(h.base_height, 0);
                    if (!(h.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE)) {
                        cw.hints.minWidth = cw.hints.baseWidth;
                        cw.hints.minHeight = cw.hints.baseHeight;
                    }
                } else {
                    cw.hints.baseWidth = cw.hints.minWidth;
                    cw.hints.baseHeight = cw.hints.minHeight;
                }
            }
        }
        if (auto v = words(strutPartial); v.size() >= 12) {
            std::array<std::uint32_t, 12> s{};
            std::copy_n(v.begin(), 12, s.begin());
            cw.strut = s;
        } else if (auto v = words(strut); v.size() >= 4) {
            // A plain strut spans its whole edge.
            const std::uint32_t w = connection.rootWidth(), h = connection.rootHeight();
            cw.strut = std::array<std::uint32_t, 12>{
                v[0], v[1],           v[2], v[3], 0, h ? h - 1u : 0u, 0, h ? h - 1u : 0u, 0, w ? w - 1u : 0u,
                0,    w ? w - 1u : 0u};
        }
        out.push_back(std::move(cw));
    }
    return out;
}

} // namespace korvane::x11
