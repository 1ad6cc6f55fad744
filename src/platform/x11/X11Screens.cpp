// Monitors come from RandR 1.5. A monitor added or removed may announce itself only through the root's
// ConfigureNotify, a change of primary only through RandR, a dock only through its strut properties or
// the client list: each of them makes the kept list stale at once and leads to one debounced comparison
// with the screens last announced. A dock's changed strut is compared once it has paused, and a dock
// that rewrites it without pause is not listened to for a while at a time.
#include "platform/x11/X11Screens.h"

#include "platform/NotificationCenter.h"
#include "platform/UTF8.h"
#include "platform/x11/DisplayIdentity.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Query.h"
#include "platform/x11/X11WorkArea.h"

#include <xcb/randr.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace korvane::x11 {

using platform::ScreenInfo;

namespace {

constexpr Nanos kDebounce = milliseconds(50);
// A strut must stay as it is this long after a change before the screens count as settled.
constexpr Nanos kStrutPause = milliseconds(250);
// A window that goes unheard this soon after its strut changed is held too: the count of changes that
// silences a window covers a second.
constexpr Nanos kRestlessWithin = kNanosPerSecond;

// The EDID of the first output of the monitor that has a readable one.
std::optional<EdidIdentity> edidOf(const X11Connection& connection, const Monitor& monitor) {
    if (connection.atoms().EDID == XCB_ATOM_NONE) return std::nullopt;
    auto guard = connection.lock();
    xcb_connection_t* c = connection.xcb();
    for (auto output : monitor.outputs) {
        std::unique_ptr<xcb_randr_get_output_property_reply_t, FreeDeleter> reply(
            xcb_randr_get_output_property_reply(
                c,
                xcb_randr_get_output_property_unchecked(c, output, connection.atoms().EDID, XCB_ATOM_ANY, 0,
                                                        256, 0, 0),
                nullptr));
        if (!reply || reply->format != 8) continue;
        const std::uint8_t* data = xcb_randr_get_output_property_data(reply.get());
        const int length = xcb_randr_get_output_property_data_length(reply.get());
        if (auto id = parseEdid(std::vector<std::uint8_t>(data, data + std::max(length, 0)))) return id;
    }
    return std::nullopt;
}

} // namespace

X11Screens::X11Screens(X11Connection& connection, platform::RunLoop& loop,
                       platform::NotificationCenter& notifications)
    : connection_(connection), loop_(loop), notifications_(notifications) {
    announced_ = known();
    connection_.addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });
}

X11Screens::Known X11Screens::fetch() {
    auto guard = connection_.lock();
    const DesktopState state = fetchDesktopState(connection_);
    if (!state.ok) return {};
    std::vector<Monitor> monitors = fetchMonitors(connection_);
    const Coordinates coordinates{primaryRect(monitors, connection_)};
    if (monitors.empty()) {
        Monitor whole;
        whole.name = "screen";
        whole.primary = true;
        whole.root = coordinates.primary;
        monitors.push_back(whole);
    }
    // The primary monitor comes first, as the main screen does.
    std::stable_partition(monitors.begin(), monitors.end(),
                          [&](const Monitor& m) { return m.root == coordinates.primary; });
    // The program's own strips count from the moment they are asked for, before the window manager lists
    // their windows (or where it never keeps them): what the program lays out at once already leaves them
    // free. Their windows are read with the clients to tell that they still exist.
    std::map<xcb_window_t, Rect> own;
    {
        std::lock_guard lock(cacheMutex_);
        for (const auto& [window, strip] : strips_)
            own[window] = strip.root;
    }
    std::vector<xcb_window_t> windows = state.clients;
    for (const auto& [window, strip] : own)
        if (std::find(windows.begin(), windows.end(), window) == windows.end()) windows.push_back(window);
    const auto fetched = fetchClients(connection_, windows, kStrutPart);
    if (!fetched) return {};
    const std::vector<ClientWindow>& clients = *fetched;
    std::vector<Rect> ownStrips;
    std::vector<Strut> struts;
    for (const auto& client : clients) {
        if (!client.exists) continue;
        if (client.strut) struts.push_back(*client.strut);
        if (auto strip = own.find(client.window); strip != own.end()) ownStrips.push_back(strip->second);
    }
    Known out;
    out.coordinates = coordinates;
    for (const auto& m : monitors) {
        const auto edid = edidOf(connection_, m);
        ScreenInfo info;
        info.frame = coordinates.bottomLeft(m.root);
        info.visibleFrame = coordinates.bottomLeft(
            visibleArea(m.root, struts, ownStrips, connection_.rootWidth(), connection_.rootHeight()));
        info.backingScale = 1;
        info.displayNumber = m.nameAtom;
        info.displayUUID = displayUUID(edid, m.name);
        // Atom names are Latin-1.
        info.localizedName = edid && !edid->monitorName.empty() ? edid->monitorName : utf8FromLatin1(m.name);
        out.screens.push_back(std::move(info));
    }
    return out;
}

X11Screens::Known X11Screens::known() {
    std::uint64_t staleCount = 0;
    {
        std::lock_guard lock(cacheMutex_);
        if (held_) return *held_;
        if (cache_) return *cache_;
        staleCount = staleCount_;
    }
    // Read without the cache's lock: the connection's lock is taken inside, and other holders of the
    // connection's lock ask for the coordinates.
    Known fresh = fetch();
    std::lock_guard lock(cacheMutex_);
    if (staleCount == staleCount_ && !connection_.isBroken()) cache_ = fresh;
    return fresh;
}

std::vector<ScreenInfo> X11Screens::screens() {
    return known().screens;
}

std::optional<ScreenInfo> X11Screens::mainScreen() {
    auto all = screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

Coordinates X11Screens::coordinates() {
    return known().coordinates;
}

Point X11Screens::nativeOrigin() {
    return coordinates().primary.origin;
}

Point X11Screens::mouseLocation() {
    const Coordinates now = coordinates();
    auto pointer = fetchPointer(connection_);
    if (!pointer) return {};
    return now.bottomLeft(*pointer);
}

bool X11Screens::isCompositing() {
    // A compositing manager announces itself by owning this selection of the screen it composites.
    const xcb_atom_t selection =
        connection_.internAtom("_NET_WM_CM_S" + std::to_string(connection_.screenNumber()));
    if (selection == XCB_ATOM_NONE) return false;
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner_unchecked(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

std::optional<Rect> X11Screens::keyWindowFrame() {
    const xcb_window_t active = fetchActiveWindow(connection_);
    if (active == XCB_WINDOW_NONE) return std::nullopt;
    // The toolkit draws the program's windows over a connection of its own, so the window is known by
    // the process that owns it rather than by the connection that made it.
    auto fetched = fetchClients(connection_, {active}, kGeometryPart | kPidPart);
    if (!fetched || fetched->empty()) return std::nullopt;
    const ClientWindow& client = fetched->front();
    if (!client.exists || client.pid != ::getpid()) return std::nullopt;
    return coordinates().bottomLeft(client.frameRoot());
}

void X11Screens::showOnAllWorkspaces(std::uint64_t nativeWindow) {
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    if (window == XCB_WINDOW_NONE) return;
    const auto& e = connection_.ewmh();
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    // Window managers read both when they first manage the window: some keep a window on every desktop by
    // its desktop number, others by the sticky state. Appended, so that the states the toolkit writes
    // before mapping stay; once only, for a window marked again each time it is shown.
    const std::uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, e._NET_WM_DESKTOP, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    std::vector<std::uint32_t> states;
    if (const auto value = connection_.readProperty(window, e._NET_WM_STATE, XCB_ATOM_ATOM))
        states = value->words();
    if (std::find(states.begin(), states.end(), e._NET_WM_STATE_STICKY) == states.end())
        xcb_change_property(c, XCB_PROP_MODE_APPEND, window, e._NET_WM_STATE, XCB_ATOM_ATOM, 32, 1,
                            &e._NET_WM_STATE_STICKY);
    // A round trip: the toolkit maps the window on a connection of its own, which must not overtake these.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    connection_.noteWrite();
}

void X11Screens::reserveTopStrip(std::uint64_t nativeWindow, const Rect& strip, bool announce) {
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    if (window == XCB_WINDOW_NONE) return;
    std::optional<OwnStrip> wanted;
    if (!strip.isEmpty()) {
        // In the server's whole pixels, kept on the strip's own monitor: a strip one pixel onto the monitor
        // beside it would take that monitor's top too.
        const Rect root = wholePixelsInside(coordinates().rootFromBottomLeft(strip), monitorsInRoot());
        if (root.width() < 1 || root.maxY() < 1) return;
        wanted = OwnStrip{root, std::nullopt};
        // A top strut is measured from the root's top edge: below that edge it would reserve every row
        // above the strip too, taking the monitors there away. Only a strip along the root's top can
        // have one; the range keeps it to the strip's own monitor, so that a neighbour at the same height
        // keeps its whole area.
        if (root.minY() < 0.5) wanted->strut = topStrut(root);
    }
    std::optional<OwnStrip> held;
    {
        // The same strip again (the screens changed elsewhere, or it stands where it stood in the
        // platform's space) is left alone.
        std::lock_guard lock(cacheMutex_);
        if (auto known = strips_.find(window); known != strips_.end()) held = known->second;
    }
    if (held == wanted) return;
    // Whether every change of the screens so far has been announced: then the strip is all that differs
    // once it is written.
    const bool announced = !checkPending_ && screens() == announced_.screens;
    const auto heldStrut = held ? held->strut : std::nullopt;
    const auto wantedStrut = wanted ? wanted->strut : std::nullopt;
    if (wantedStrut != heldStrut) {
        {
            auto guard = connection_.lock();
            xcb_connection_t* c = connection_.xcb();
            const xcb_atom_t property = connection_.ewmh()._NET_WM_STRUT_PARTIAL;
            if (wantedStrut)
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_CARDINAL, 32,
                                    static_cast<std::uint32_t>(wantedStrut->size()), wantedStrut->data());
            else
                xcb_delete_property(c, window, property);
            // A round trip: the next read of the screens, on whatever connection, finds the strut written.
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        }
        connection_.noteWrite();
    }
    {
        std::lock_guard lock(cacheMutex_);
        if (wanted)
            strips_[window] = *wanted;
        else
            strips_.erase(window);
        cache_.reset();
        ++staleCount_;
    }
    // Unless asked, the program's own strip is no change to announce: it is reserved as the program
    // starts, before anything follows the screens, or in answer to a change whose handling reads the
    // screens with it. Announced, it would be a display pass of its own, taking in whatever else was
    // asked for meanwhile.
    if (announced && !announce)
        announced_ = known();
    else
        scheduleCheck();
}

std::vector<Rect> X11Screens::monitorsInRoot() {
    const Known now = known();
    std::vector<Rect> monitors;
    for (const auto& screen : now.screens)
        monitors.push_back(now.coordinates.rootFromBottomLeft(screen.frame));
    return monitors;
}

void X11Screens::placeWindow(std::uint64_t nativeWindow, const Rect& frame) {
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    if (window == XCB_WINDOW_NONE || frame.isEmpty()) return;
    const Rect root = wholePixelsInside(coordinates().rootFromBottomLeft(frame), monitorsInRoot());
    const auto fetched = fetchClients(connection_, {window}, kGeometryPart);
    if (!fetched || fetched->empty() || !fetched->front().exists) return;
    const auto& extents = fetched->front().extents;
    const double clientWidth = root.width() - extents[0] - extents[1];
    const double clientHeight = root.height() - extents[2] - extents[3];
    if (clientWidth < 1 || clientHeight < 1) return;
    const auto x = static_cast<std::uint32_t>(static_cast<std::int32_t>(root.minX()));
    const auto y = static_cast<std::uint32_t>(static_cast<std::int32_t>(root.minY()));
    const auto width = static_cast<std::uint32_t>(clientWidth);
    const auto height = static_cast<std::uint32_t>(clientHeight);
    dropSizeSteps(window);
    if (extents != std::array<std::uint32_t, 4>{}) {
        // _NET_MOVERESIZE_WINDOW from a pager, NorthWest gravity: the frame's top left corner at x, y.
        constexpr std::uint32_t kGravityNorthWest = 1, kSourcePager = 2;
        constexpr std::uint32_t kAll = (1u << 8) | (1u << 9) | (1u << 10) | (1u << 11);
        connection_.sendRootMessage(window, connection_.ewmh()._NET_MOVERESIZE_WINDOW,
                                    kGravityNorthWest | kAll | (kSourcePager << 12), x, y, width, height);
        return;
    }
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    const std::uint32_t values[] = {x, y, width, height};
    xcb_configure_window(c, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    // A round trip: asked after the toolkit's own placement, which it sent on a connection of its own
    // before this call, this one is carried out after it.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    connection_.noteWrite();
}

void X11Screens::dropSizeSteps(xcb_window_t window) {
    // A toolkit that scales its windows asks for sizes in steps of its pixel, rounded to whole server
    // pixels (2 at 1.5), which the window manager keeps every size to: an odd height would lose its last
    // row. The program's own windows have no steps of their own.
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    xcb_size_hints_t hints;
    if (!xcb_icccm_get_wm_normal_hints_reply(c, xcb_icccm_get_wm_normal_hints(c, window), &hints, nullptr))
        return;
    constexpr std::uint32_t kSteps = XCB_ICCCM_SIZE_HINT_P_RESIZE_INC | XCB_ICCCM_SIZE_HINT_BASE_SIZE;
    if (!(hints.flags & kSteps)) return;
    hints.flags &= ~kSteps;
    xcb_icccm_set_wm_normal_hints(c, window, &hints);
}

std::optional<Rect> X11Screens::windowFrame(std::uint64_t nativeWindow) {
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    if (window == XCB_WINDOW_NONE) return std::nullopt;
    const auto fetched = fetchClients(connection_, {window}, kGeometryPart);
    if (!fetched || fetched->empty() || !fetched->front().exists || !fetched->front().viewable)
        return std::nullopt;
    return coordinates().bottomLeft(fetched->front().frameRoot());
}

bool X11Screens::hasSystemTray() {
    return tray_.isAvailable();
}

bool X11Screens::capture(const Rect& area,
                         const std::function<void(const platform::ScreenPictureView&)>& read) {
    return captureEachThen(
        {area}, nullptr, [&read](std::size_t, const platform::ScreenPictureView& picture) { read(picture); });
}

bool X11Screens::captureEachThen(
    const std::vector<Rect>& areas, const std::function<void()>& taken,
    const std::function<void(std::size_t, const platform::ScreenPictureView&)>& read) {
    const Rect primary = coordinates().primary;
    std::vector<X11ScreenCapture::Area> rootAreas;
    for (const Rect& area : areas)
        rootAreas.push_back({static_cast<int>(std::lround(area.minX() + primary.minX())),
                             static_cast<int>(std::lround(primary.minY() + primary.height() - area.maxY())),
                             static_cast<int>(std::lround(area.width())),
                             static_cast<int>(std::lround(area.height()))});
    return capture_.capture(rootAreas, taken, read);
}

void X11Screens::handleEvent(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7F;
    const auto& e = connection_.ewmh();
    if (connection_.hasMonitors() && (type == connection_.randrEventBase() + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                      type == connection_.randrEventBase() + XCB_RANDR_NOTIFY)) {
        scheduleCheck();
    } else if (type == XCB_CONFIGURE_NOTIFY) {
        const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (configure.window == connection_.root()) scheduleCheck();
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto& property = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        const bool strut = property.atom == e._NET_WM_STRUT_PARTIAL || property.atom == e._NET_WM_STRUT;
        if (strut && property.window != connection_.root() && !ownStrip(property.window)) {
            // Whether this change is the first of a flicker shows only once the next one comes: followed
            // at once, its value would be held for as long as the flicker lasts. So any change of a
            // dock's strut is followed once the strut has stayed as it is for a moment, the screens
            // answered as last announced meanwhile. A dock writes both forms of its strut at each
            // change; both are one strut.
            strutChanges_[property.window] = loop_.now();
            restless(property.window);
        }
        if (strut || (property.window == connection_.root() &&
                      (property.atom == e._NET_WORKAREA || property.atom == e._NET_CLIENT_LIST)))
            scheduleCheck();
    }
}

void X11Screens::scheduleCheck() {
    {
        std::lock_guard lock(cacheMutex_);
        cache_.reset();
        ++staleCount_;
    }
    if (checkPending_) return;
    checkPending_ = true;
    loop_.postAfter(kDebounce, [this] { check(); });
}

void X11Screens::propertiesHeard(xcb_window_t window, bool heard) {
    if (!heard) {
        unheard_.insert(window);
        if (auto changed = strutChanges_.find(window);
            changed != strutChanges_.end() && loop_.now() - changed->second < kRestlessWithin)
            restless(window);
        return;
    }
    if (!unheard_.erase(window)) return;
    // Whatever it changed meanwhile, its strut among it, announced nothing: a strut heard changing
    // before counts as changed now, and must stay as it is from here on.
    if (auto changed = strutChanges_.find(window); changed != strutChanges_.end())
        changed->second = loop_.now();
    scheduleCheck();
}

bool X11Screens::ownStrip(xcb_window_t window) {
    std::lock_guard lock(cacheMutex_);
    return strips_.count(window) > 0;
}

void X11Screens::restless(xcb_window_t window) {
    restlessStruts_.insert(window);
    // Whoever reads the screens meanwhile (a display pass asked for by a key) finds them as last
    // announced, not at whichever value the strut passes through then.
    std::lock_guard lock(cacheMutex_);
    if (!held_) held_ = announced_;
}

bool X11Screens::strutsUnsettled() {
    const Nanos now = loop_.now();
    std::erase_if(strutChanges_, [&](const auto& entry) {
        return now - entry.second >= kRestlessWithin && !unheard_.count(entry.first);
    });
    bool unsettled = false;
    Nanos settlesIn = 0;
    for (auto it = restlessStruts_.begin(); it != restlessStruts_.end();) {
        // Unheard, it is checked again once it is heard.
        if (unheard_.count(*it)) {
            unsettled = true;
            ++it;
            continue;
        }
        const auto changed = strutChanges_.find(*it);
        const Nanos quietFor = changed == strutChanges_.end() ? kStrutPause : now - changed->second;
        if (quietFor >= kStrutPause) {
            it = restlessStruts_.erase(it);
            continue;
        }
        unsettled = true;
        settlesIn = std::max(settlesIn, kStrutPause - quietFor);
        ++it;
    }
    if (settlesIn > 0 && !checkPending_) {
        checkPending_ = true;
        loop_.postAfter(settlesIn, [this] { check(); });
    }
    if (!unsettled) {
        std::lock_guard lock(cacheMutex_);
        if (held_) {
            held_.reset();
            cache_.reset();
            ++staleCount_;
        }
    }
    return unsettled;
}

void X11Screens::check() {
    checkPending_ = false;
    // A dock rewriting its strut without pause would have every value it passes through announced, and
    // the windows placed again for each, by a program that then has no time for its keys. It is
    // followed once it has kept one strut for a moment.
    if (strutsUnsettled()) return;
    Known current = known();
    if (current.screens == announced_.screens) return;
    announced_ = std::move(current);
    notifications_.post(platform::kScreenParametersDidChange);
}

} // namespace korvane::x11
