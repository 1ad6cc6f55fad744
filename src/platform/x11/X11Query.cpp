// Pipelined reads: every request of a batch is sent before the first reply is awaited, so a batch
// costs one round trip however many windows it covers.
#include "platform/x11/X11Query.h"

#include "platform/UTF8.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11PropertyCache.h"

#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace korvane::x11 {

namespace {

using PropertyReply = XcbReply<xcb_get_property_reply_t>;

constexpr std::uint32_t kLongLength = 1u << 16; // in 32-bit units: client lists far beyond any real one

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                              std::uint32_t length = kLongLength, std::uint32_t offset = 0) {
    return xcb_get_property_unchecked(c, 0, w, property, type, offset, length);
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

// The text cut to kTitleLimit bytes without splitting a UTF-8 sequence.
std::string cutToLimit(std::string s) {
    if (s.size() <= kTitleLimit) return s;
    std::size_t end = kTitleLimit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    s.resize(end);
    return s;
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
    // Sets, not searches of the lists: every application's windows are read in this order, so with
    // hundreds of clients a quadratic pass would cost more than the read.
    const std::unordered_set<xcb_window_t> listed(clients.begin(), clients.end());
    std::unordered_set<xcb_window_t> placed;
    std::vector<xcb_window_t> out;
    out.reserve(clients.size());
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
        if (listed.contains(*it) && placed.insert(*it).second) out.push_back(*it);
    for (auto w : clients)
        if (placed.insert(w).second) out.push_back(w);
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
    // Every application's windows are read from this list: with many, most reads find it unchanged.
    X11PropertyCache* cache = connection.propertyCache();
    std::uint64_t generation = 0;
    if (cache)
        if (auto known = cache->lookupDesktop(generation)) return *known;
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    const xcb_window_t root = connection.root();
    auto clients = ask(c, root, e._NET_CLIENT_LIST, XCB_ATOM_WINDOW);
    auto stacking = ask(c, root, e._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW);
    auto active = ask(c, root, e._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 1);
    state.clients = words(take(c, clients));
    state.stacking = words(take(c, stacking));
    auto activeWords = words(take(c, active));
    state.active = activeWords.empty() ? static_cast<xcb_window_t>(XCB_WINDOW_NONE) : activeWords[0];
    state.ok = !connection.isBroken();
    if (cache) cache->keepDesktop(state, generation);
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

namespace {

// The requests for one window, sent before any reply is awaited; only the parts asked for are sent.
struct ClientRequests {
    unsigned parts = 0;
    bool attributesAsked = true;
    bool exists = false; // what is known when the attributes are not asked
    xcb_get_window_attributes_cookie_t attributes{};
    xcb_get_geometry_cookie_t geometry{};
    xcb_translate_coordinates_cookie_t origin{};
    xcb_get_property_cookie_t extents{}, pid{}, wmClass{}, netName{}, wmName{}, type{}, transient{}, state{},
        wmState{}, hints{}, strutPartial{}, strut{}, parked{}, wmHints{}, protocols{};
};

// `known` tells, when given, that the window exists and needs its attributes only for what it shows.
ClientRequests request(const X11Connection& connection, xcb_window_t w, unsigned parts,
                       std::optional<bool> known = std::nullopt) {
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    ClientRequests r;
    r.parts = parts;
    r.attributesAsked = !known || (parts & (kGeometryPart | kViewablePart));
    r.exists = known.value_or(false);
    if (r.attributesAsked) r.attributes = xcb_get_window_attributes_unchecked(c, w);
    if (parts & kGeometryPart) {
        r.geometry = xcb_get_geometry_unchecked(c, w);
        r.origin = xcb_translate_coordinates_unchecked(c, w, connection.root(), 0, 0);
        r.extents = ask(c, w, e._NET_FRAME_EXTENTS, XCB_ATOM_CARDINAL, 4);
    }
    if (parts & kPidPart) r.pid = ask(c, w, e._NET_WM_PID, XCB_ATOM_CARDINAL, 1);
    if (parts & kClassPart) r.wmClass = ask(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 2048);
    if (parts & kTitlePart) {
        // One unit beyond the limit, so that a longer title is known to be cut.
        constexpr auto units = static_cast<std::uint32_t>(kTitleLimit / 4 + 1);
        r.netName = ask(c, w, e._NET_WM_NAME, XCB_ATOM_ANY, units);
        r.wmName = ask(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, units);
    }
    if (parts & kKindPart) {
        r.type = ask(c, w, e._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, 64);
        r.transient = ask(c, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
        r.state = ask(c, w, e._NET_WM_STATE, XCB_ATOM_ATOM, 64);
    }
    if (parts & kWmStatePart)
        r.wmState = ask(c, w, connection.atoms().WM_STATE, connection.atoms().WM_STATE, 2);
    if (parts & kSizeHintsPart) r.hints = ask(c, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
    if (parts & kStrutPart) {
        r.strutPartial = ask(c, w, e._NET_WM_STRUT_PARTIAL, XCB_ATOM_CARDINAL, 12);
        r.strut = ask(c, w, e._NET_WM_STRUT, XCB_ATOM_CARDINAL, 4);
    }
    if (parts & kParkedPart) r.parked = ask(c, w, connection.atoms().KORVANE_PARKED, XCB_ATOM_INTEGER, 5);
    if (parts & kFocusPart) {
        r.wmHints = ask(c, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, XCB_ICCCM_NUM_WM_HINTS_ELEMENTS);
        r.protocols = ask(c, w, e.WM_PROTOCOLS, XCB_ATOM_ATOM, 32);
    }
    return r;
}

SizeHints sizeHintsFrom(const PropertyReply& reply) {
    SizeHints out;
    xcb_size_hints_t h;
    std::memset(&h, 0, sizeof(h));
    if (!reply || !xcb_icccm_get_wm_size_hints_from_reply(&h, reply.get())) return out;
    if (h.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE) {
        out.minWidth = std::max(h.min_width, 0);
        out.minHeight = std::max(h.min_height, 0);
    }
    if (h.flags & XCB_ICCCM_SIZE_HINT_P_MAX_SIZE) {
        if (h.max_width > 0) out.maxWidth = h.max_width;
        if (h.max_height > 0) out.maxHeight = h.max_height;
    }
    if (h.flags & XCB_ICCCM_SIZE_HINT_P_RESIZE_INC) {
        out.widthInc = std::max(h.width_inc, 1);
        out.heightInc = std::max(h.height_inc, 1);
    }
    // Without a base size the minimum stands in for it, and the other way round.
    if (h.flags & XCB_ICCCM_SIZE_HINT_BASE_SIZE) {
        out.baseWidth = std::max(h.base_width, 0);
        out.baseHeight = std::max(h.base_height, 0);
        if (!(h.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE)) {
            out.minWidth = out.baseWidth;
            out.minHeight = out.baseHeight;
        }
    } else {
        out.baseWidth = out.minWidth;
        out.baseHeight = out.minHeight;
    }
    return out;
}

// Every reply asked for is taken, also of a window found gone, so that none is left waiting in xcb. The
// parts read are filled into `cw`, which names the window and may hold others already.
ClientWindow collect(const X11Connection& connection, ClientWindow cw, const ClientRequests& r) {
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    const unsigned parts = r.parts;
    cw.exists = r.exists;
    if (r.attributesAsked) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, r.attributes, nullptr));
        cw.exists = attributes != nullptr;
        cw.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    if (parts & kGeometryPart) {
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, r.geometry, nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, r.origin, nullptr));
        auto extents = take(c, r.extents);
        cw.exists = cw.exists && geometry && origin;
        if (geometry && origin)
            cw.clientRoot = Rect{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y),
                                 static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
        if (auto v = words(extents); v.size() >= 4) std::copy_n(v.begin(), 4, cw.extents.begin());
    }
    if (parts & kPidPart)
        if (auto v = words(take(c, r.pid)); !v.empty()) cw.pid = static_cast<pid_t>(v[0]);
    if (parts & kClassPart) {
        auto wmClass = take(c, r.wmClass);
        xcb_icccm_get_wm_class_reply_t parsed;
        // Once parsed, the reply belongs to the parsed value and goes with it.
        if (wmClass && xcb_icccm_get_wm_class_from_reply(&parsed, wmClass.get())) {
            wmClass.release();
            // WM_CLASS is a STRING, which is Latin-1: read as such, a class can never hand the stores
            // text they cannot write.
            if (parsed.instance_name) cw.instanceName = utf8FromLatin1(parsed.instance_name);
            if (parsed.class_name) cw.className = utf8FromLatin1(parsed.class_name);
            xcb_icccm_get_wm_class_reply_wipe(&parsed);
        }
    }
    if (parts & kTitlePart) {
        auto netName = take(c, r.netName);
        auto wmName = take(c, r.wmName);
        cw.title = text(netName, connection);
        if (!cw.title) cw.title = text(wmName, connection);
        if (cw.title) cw.title = cutToLimit(std::move(*cw.title));
    }
    if (parts & kKindPart) {
        auto type = take(c, r.type);
        auto transient = take(c, r.transient);
        for (auto atom : words(take(c, r.state))) {
            if (atom == e._NET_WM_STATE_FULLSCREEN) cw.fullscreen = true;
            if (atom == e._NET_WM_STATE_MAXIMIZED_VERT || atom == e._NET_WM_STATE_MAXIMIZED_HORZ)
                cw.maximized = true;
            if (atom == e._NET_WM_STATE_ABOVE) cw.above = true;
            if (atom == e._NET_WM_STATE_BELOW) cw.below = true;
            if (atom == e._NET_WM_STATE_HIDDEN) cw.hidden = true;
        }
        cw.kind = kindFromTypes(words(type), !words(transient).empty(), e);
    }
    if (parts & kWmStatePart)
        if (auto v = words(take(c, r.wmState)); !v.empty()) cw.wmState = static_cast<int>(v[0]);
    if (parts & kSizeHintsPart) cw.hints = sizeHintsFrom(take(c, r.hints));
    if (parts & kStrutPart) {
        auto strutPartial = take(c, r.strutPartial);
        auto strut = take(c, r.strut);
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
    }
    if (parts & kParkedPart)
        if (auto v = words(take(c, r.parked)); v.size() == 4 || v.size() == 5) {
            auto number = [](std::uint32_t word) {
                return static_cast<double>(static_cast<std::int32_t>(word));
            };
            cw.parkedAt = Rect{number(v[0]), number(v[1]), number(v[2]), number(v[3])};
            cw.parkedMaximized = v.size() == 5 && v[4] != 0;
        }
    if (parts & kFocusPart) {
        auto hints = take(c, r.wmHints);
        const auto protocols = words(take(c, r.protocols));
        // Without the input hint a window manager gives the window the keyboard, as if it were set.
        xcb_icccm_wm_hints_t h;
        std::memset(&h, 0, sizeof(h));
        const bool refusesInput = hints && xcb_icccm_get_wm_hints_from_reply(&h, hints.get()) &&
                                  (h.flags & XCB_ICCCM_WM_HINT_INPUT) && !h.input;
        const bool asksToBeTold = std::find(protocols.begin(), protocols.end(),
                                            connection.atoms().WM_TAKE_FOCUS) != protocols.end();
        cw.takesFocus = !refusesInput || asksToBeTold;
    }
    return cw;
}

// Many older clients set no _NET_WM_PID. The server knows the process of each local client from its
// socket, and any resource id names its client, so the window's own id is asked for; a remote client
// has no pid there either, and its window stays without one. Only the windows lacking a pid cost a
// second round trip, all of them together.
void fillMissingPids(const X11Connection& connection, const std::vector<ClientWindow*>& clients) {
    if (!connection.hasClientPids()) return;
    xcb_connection_t* c = connection.xcb();
    std::vector<std::pair<ClientWindow*, xcb_res_query_client_ids_cookie_t>> asked;
    for (ClientWindow* cw : clients) {
        if (!cw->exists || cw->pid > 0) continue;
        const xcb_res_client_id_spec_t spec{cw->window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        asked.emplace_back(cw, xcb_res_query_client_ids(c, 1, &spec));
    }
    for (auto& [cw, cookie] : asked) {
        XcbReply<xcb_res_query_client_ids_reply_t> reply(xcb_res_query_client_ids_reply(c, cookie, nullptr));
        if (!reply) continue;
        for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem;
             xcb_res_client_id_value_next(&it)) {
            if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) ||
                xcb_res_client_id_value_value_length(it.data) < 1)
                continue;
            const std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
            if (pid > 0 && pid <= static_cast<std::uint32_t>(INT_MAX)) cw->pid = static_cast<pid_t>(pid);
        }
    }
}

} // namespace

std::optional<std::vector<ClientWindow>>
fetchClients(const X11Connection& connection, const std::vector<xcb_window_t>& windows, unsigned parts) {
    // Whether a window is viewable comes with its geometry, also when it is known.
    if (parts & kGeometryPart) parts |= kViewablePart;
    auto guard = connection.lock();
    X11PropertyCache* cache = connection.propertyCache();
    std::vector<X11PropertyCache::Known> known;
    if (cache) known = cache->lookup(windows, parts);
    std::vector<ClientRequests> requests;
    requests.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (!cache) {
            requests.push_back(request(connection, windows[i], parts));
            continue;
        }
        const auto& k = known[i];
        // A window not seen before is read whole: the desktop's other readers ask for the other parts
        // within moments (the tracker its owner and title, the screens its struts, the window list its
        // place and kind), and one batch for all of them costs one round trip where each would cost one.
        const unsigned asked = k.exists ? k.missing | (parts & ~kCachedParts) : parts | kCachedParts;
        requests.push_back(
            request(connection, windows[i], asked, k.exists ? std::optional<bool>(true) : std::nullopt));
    }
    std::vector<ClientWindow> out;
    out.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        // What is known of the window is completed by what was read.
        ClientWindow base = cache ? std::move(known[i].values) : ClientWindow{};
        base.window = windows[i];
        out.push_back(collect(connection, std::move(base), requests[i]));
    }
    std::vector<ClientWindow*> withoutPid;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (requests[i].parts & kPidPart) withoutPid.push_back(&out[i]);
    if (!withoutPid.empty()) fillMissingPids(connection, withoutPid);
    // A reply lost to a broken connection looks like a window that is gone: only a connection still
    // standing after the last reply vouches for the whole list.
    if (connection.isBroken()) return std::nullopt;
    if (cache)
        for (std::size_t i = 0; i < out.size(); ++i) {
            // Whether the window is viewable comes with its attributes, asked for whatever part.
            const unsigned read = requests[i].parts | (requests[i].attributesAsked ? kViewablePart : 0u);
            cache->keep(out[i], read, known[i].generation);
        }
    return out;
}

ManagedWindow fetchManagedWindow(const X11Connection& connection, xcb_window_t window, unsigned parts,
                                 bool withActive, bool listed) {
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    if (listed) parts |= kWmStatePart;
    // A window read attribute by attribute (a seeding pass over every window) then costs the server
    // nothing for the parts its properties hold.
    if (listed && !withActive && connection.propertyCache()) {
        ManagedWindow out;
        auto read = fetchClients(connection, {window}, parts);
        if (!read || read->empty()) return out;
        out.client = std::move(read->front());
        out.managed =
            out.client.exists && (out.client.wmState == kNormalState || out.client.wmState == kIconicState);
        out.ok = true;
        return out;
    }
    std::optional<xcb_get_property_cookie_t> clients;
    if (!listed) clients = ask(c, connection.root(), e._NET_CLIENT_LIST, XCB_ATOM_WINDOW);
    std::optional<xcb_get_property_cookie_t> active;
    if (withActive) active = ask(c, connection.root(), e._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 1);
    const ClientRequests requests = request(connection, window, parts);

    ManagedWindow out;
    if (clients) {
        out.clients = words(take(c, *clients));
        out.managed = std::find(out.clients->begin(), out.clients->end(), window) != out.clients->end();
    }
    if (active)
        if (auto v = words(take(c, *active)); !v.empty()) out.active = v[0];
    ClientWindow named;
    named.window = window;
    out.client = collect(connection, std::move(named), requests);
    if (listed)
        out.managed =
            out.client.exists && (out.client.wmState == kNormalState || out.client.wmState == kIconicState);
    if (parts & kPidPart) fillMissingPids(connection, {&out.client});
    out.ok = !connection.isBroken();
    return out;
}

StackingTop fetchStackingTop(const X11Connection& connection, std::size_t count, std::uint32_t& lengthHint) {
    StackingTop out;
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    const auto& e = connection.ewmh();
    const xcb_window_t root = connection.root();
    const auto n = static_cast<std::uint32_t>(count);
    std::uint32_t offset = lengthHint > n ? lengthHint - n : 0;
    auto active = ask(c, root, e._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 1);
    auto focus = xcb_get_input_focus_unchecked(c);
    // Twice `count` windows from `count` before the end last known: a list that grew or shrank by up to
    // `count` since still shows its whole top here.
    auto tail = ask(c, root, e._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW, 2 * n, offset);
    if (auto v = words(take(c, active)); !v.empty()) out.active = v[0];
    if (XcbReply<xcb_get_input_focus_reply_t> reply{xcb_get_input_focus_reply(c, focus, nullptr)})
        out.focus = reply->focus;
    // An offset past the list's end is an error: taken here rather than left among the events.
    xcb_generic_error_t* error = nullptr;
    PropertyReply reply(xcb_get_property_reply(c, tail, &error));
    std::free(error);
    std::vector<std::uint32_t> list = words(reply);
    const bool whole =
        reply && reply->type != XCB_ATOM_NONE && reply->bytes_after == 0 && (offset == 0 || list.size() >= n);
    if (!whole) {
        offset = 0;
        list = words(take(c, ask(c, root, e._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW)));
    }
    lengthHint = offset + static_cast<std::uint32_t>(list.size());
    out.top.assign(list.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(list.size(), count)),
                   list.end());
    out.ok = !connection.isBroken();
    return out;
}

} // namespace korvane::x11
