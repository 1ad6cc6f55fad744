// Acting through the accessibility model: moving and resizing frames, (un)minimising, raising and
// focusing. Every request goes to the window manager, and the call returns once the server shows the
// result (or the wait limit passes, or the window manager is gone), so that a read right after a write
// sees the new state. Two exceptions: a frame asked through requestFrame is sent without a wait, for a
// caller that watches for the result without holding its thread (a maximised or full-screen window is
// first taken out of that state, which is waited for); and a size waits for the position that
// usually follows it: asked for alone, a window manager keeps the grown frame on its monitor by pushing
// it about, and the push is both a frame the user sees for nothing and a wait for the frame to hold
// still. Anything else done to the window, a window list, or a moment's pause applies it on its own; a
// quit drops it, as half of a move given up.
// Also the size a window takes for a size asked, which is what a resize waits to see.
// Raising, focusing, un-minimising and showing a window's desktop are not waited for: they return once
// the window manager is asked (see activate and setMinimized).
#include "platform/x11/X11Accessibility.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Observers.h"
#include "platform/x11/X11VirtualDesktops.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace korvane::x11 {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using Kind = AXElement::Kind;

namespace {

// Frames are polled with a geometry-only read, a fraction of the time a window manager takes to act.
constexpr Nanos kPollInterval = 100'000;
// Every request here is carried out by the window manager alone: once it has died nothing will change,
// and a wait would run to its limit, each of the several a move makes. Whether one still runs costs two
// round trips, so a wait looks only this often.
constexpr Nanos kWindowManagerCheckInterval = milliseconds(20);
// A window manager that changes the frame to something else than asked is done once the frame has
// held still this long; one that leaves it untouched has refused when the wait limit passes.
constexpr Nanos kSettled = milliseconds(40);
// How long a size waits for its position before it is applied alone.
constexpr Nanos kSizeHeldAtMost = milliseconds(20);
// The windows read from the top of the stacking order to tell whether a window is in front: more than
// the docks and windows kept above that a desktop shows at once.
constexpr std::size_t kStackingTop = 8;

// _NET_MOVERESIZE_WINDOW: NorthWest gravity puts the frame's top-left corner at x, y; the source is a
// pager, which window managers obey without focus-stealing rules.
constexpr std::uint32_t kGravityNorthWest = 1;
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kMoveX = 1u << 8, kMoveY = 1u << 9, kMoveWidth = 1u << 10, kMoveHeight = 1u << 11;
// _NET_WM_STATE: the actions that take states away and add them.
constexpr std::uint32_t kStateRemove = 0;
constexpr std::uint32_t kStateAdd = 1;

template <class T> const T* as(const AXValue& v) {
    return std::get_if<T>(&v);
}

// The frame (root coordinates) that a window manager grants for the origin and size asked for, and
// the client size to ask it for: sizes snap to the client's increments within its limits.
struct Placement {
    Rect frame;
    double clientWidth = 0, clientHeight = 0;
};

Placement placementOf(const ClientWindow& c, std::optional<Point> origin, std::optional<Size> size) {
    Placement p{c.frameRoot(), c.clientRoot.size.width, c.clientRoot.size.height};
    const double horizontal = c.extents[0] + c.extents[1], vertical = c.extents[2] + c.extents[3];
    if (origin) p.frame.origin = Point{std::round(origin->x), std::round(origin->y)};
    if (size) {
        // The window manager is asked for the size it grants, not the one asked here: it keeps a frame
        // on its monitor by the size asked, before snapping it to the client's steps, and lifts a frame
        // that grows past the monitor's bottom while its top edge stays. A terminal whose top already
        // lies where its frame in a zone begins, asked for the zone's full height, would be lifted by
        // the part of a cell it never takes (onto the zone's top) and then have to be moved back down.
        const Size granted = c.hints.constrain(std::max(1.0, std::round(size->width) - horizontal),
                                               std::max(1.0, std::round(size->height) - vertical));
        p.clientWidth = granted.width;
        p.clientHeight = granted.height;
        p.frame.size = Size{granted.width + horizontal, granted.height + vertical};
    }
    return p;
}

} // namespace

AXError X11Accessibility::resultOf(Wait wait, AXError timedOut) {
    switch (wait) {
    case Wait::met:
        return AXError::success;
    case Wait::timedOut:
        return timedOut;
    case Wait::noWindowManager:
        return AXError::apiDisabled;
    case Wait::broken:
        break;
    }
    return AXError::cannotComplete;
}

X11Accessibility::Wait X11Accessibility::waitUntil(const std::function<bool()>& condition, Nanos limit) {
    const Nanos start = loop_.now();
    Nanos nextCheck = start + kWindowManagerCheckInterval;
    for (;;) {
        if (condition()) return Wait::met;
        // Nothing will ever change on a connection that broke, nor without a window manager.
        if (connection_.isBroken()) return Wait::broken;
        const Nanos now = loop_.now();
        if (now >= nextCheck) {
            if (!isProcessTrusted()) return Wait::noWindowManager;
            nextCheck = now + kWindowManagerCheckInterval;
        }
        // A quit leaves what was asked as a time-out does: sent, its outcome unseen.
        if (now >= start + limit || waitsEnded_.load()) return Wait::timedOut;
        std::this_thread::sleep_for(std::chrono::nanoseconds(kPollInterval));
    }
}

AXError X11Accessibility::setAttribute(const AXElement& element, const std::string& attribute,
                                       const AXValue& value) {
    switch (element.kind) {
    case Kind::window:
        if (attribute == "AXSize") return holdSize(element, value);
        // A position takes the size held for it along; everything else comes after that size.
        if (attribute != "AXPosition") applyPendingSize(element);
        return writeWindow(element, attribute, value);
    case Kind::application:
        return writeApplication(element.pid, attribute, value);
    case Kind::systemWide:
        return AXError::attributeUnsupported;
    default:
        return AXError::illegalArgument;
    }
}

AXError X11Accessibility::requestFrame(const AXElement& element, std::optional<Point> position,
                                       std::optional<Size> size) {
    if (element.kind != Kind::window)
        return element.kind == Kind::none ? AXError::illegalArgument : AXError::attributeUnsupported;
    if ((position && (!std::isfinite(position->x) || !std::isfinite(position->y))) ||
        (size && (!(size->width >= 0) || !(size->height >= 0))))
        return AXError::illegalArgument;
    Window w;
    if (AXError e = resolveWindow(element, kGeometryPart | kSizeHintsPart | kKindPart, w);
        e != AXError::success)
        return e;
    // Everything asked goes out in this one request: a size held for a position goes along unless the
    // request names its own.
    const auto held = takePendingSize(element);
    if (!size) size = held;
    std::optional<Point> origin;
    if (position) origin = w.coordinates.rootFromTopLeft(*position);
    return placeFrame(w, origin, size, false);
}

AXError X11Accessibility::copyParameterizedAttribute(const AXElement& element, const std::string& attribute,
                                                     const AXValue& parameter, AXValue& out) {
    if (element.kind == Kind::none) return AXError::illegalArgument;
    if (element.kind != Kind::window || attribute != platform::kGrantedSizeAttribute)
        return AXError::attributeUnsupported;
    const auto* s = as<Size>(parameter);
    if (!s || !(s->width >= 0) || !(s->height >= 0)) return AXError::illegalArgument;
    applyPendingSize(element);
    Window w;
    if (AXError e = resolveWindow(element, kGeometryPart | kSizeHintsPart | kKindPart, w);
        e != AXError::success)
        return e;
    // A maximised or full-screen window is placed once out of that state, framed then with extents
    // nobody knows before: reckoned from the ones it has, the size told would miss by the difference.
    if (w.client.maximized || w.client.fullscreen) return AXError::cannotComplete;
    // What a move asks for and waits to see: the same placement, so the two never disagree.
    out = placementOf(w.client, std::nullopt, *s).frame.size;
    return AXError::success;
}

AXError X11Accessibility::holdSize(const AXElement& element, const AXValue& value) {
    Window w;
    if (AXError e = resolveWindow(element, kGeometryPart | kSizeHintsPart, w); e != AXError::success)
        return e;
    const auto* s = as<Size>(value);
    if (!s || !(s->width >= 0) || !(s->height >= 0)) return AXError::illegalArgument;
    const auto window = static_cast<xcb_window_t>(element.token);
    const bool unchanged = placementOf(w.client, std::nullopt, *s).frame == w.client.frameRoot();
    {
        std::lock_guard lock(pending_->mutex);
        // The size it has already replaces one held before, and needs no request.
        if (unchanged) {
            pending_->sizes.erase(window);
            return AXError::success;
        }
        pending_->sizes[window] = {element, *s};
    }
    std::weak_ptr<PendingSizes> alive = pending_;
    loop_.postAfter(kSizeHeldAtMost, [this, alive, element] {
        if (alive.lock()) applyPendingSize(element);
    });
    return AXError::success;
}

std::optional<Size> X11Accessibility::takePendingSize(const AXElement& element) {
    std::lock_guard lock(pending_->mutex);
    auto it = pending_->sizes.find(static_cast<xcb_window_t>(element.token));
    if (it == pending_->sizes.end()) return std::nullopt;
    const Size size = it->second.second;
    pending_->sizes.erase(it);
    return size;
}

void X11Accessibility::applyPendingSize(const AXElement& element) {
    if (element.kind != Kind::window) return;
    const auto size = takePendingSize(element);
    if (!size) return;
    Window w;
    if (resolveWindow(element, kGeometryPart | kSizeHintsPart | kKindPart, w) == AXError::success)
        placeFrame(w, std::nullopt, *size, true);
}

void X11Accessibility::applyPendingSizes() {
    std::vector<AXElement> held;
    {
        std::lock_guard lock(pending_->mutex);
        for (const auto& entry : pending_->sizes)
            held.push_back(entry.second.first);
    }
    for (const auto& element : held)
        applyPendingSize(element);
}

AXError X11Accessibility::writeWindow(const AXElement& element, const std::string& attribute,
                                      const AXValue& value) {
    Window w;
    if (attribute == "AXPosition") {
        if (AXError e = resolveWindow(element, kGeometryPart | kSizeHintsPart | kKindPart, w);
            e != AXError::success)
            return e;
        const auto* p = as<Point>(value);
        if (!p) return AXError::illegalArgument;
        return placeFrame(w, w.coordinates.rootFromTopLeft(*p), takePendingSize(element), true);
    }
    if (attribute == platform::kParkedAttribute) {
        if (AXError e = resolveWindow(element, kGeometryPart, w); e != AXError::success) return e;
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        return setParkingMark(w, *flag, false);
    }
    if (attribute == platform::kParkedMaximizedAttribute) {
        if (AXError e = resolveWindow(element, kGeometryPart | kParkedPart, w); e != AXError::success)
            return e;
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        // It goes with a mark that stands, at the frame that mark holds.
        if (!w.client.markedParked()) return AXError::cannotComplete;
        return setParkingMark(w, true, *flag);
    }
    if (attribute == platform::kMaximizedAttribute) {
        if (AXError e = resolveWindow(element, kKindPart, w); e != AXError::success) return e;
        const auto* flag = as<bool>(value);
        if (!flag || !*flag) return AXError::illegalArgument;
        if (w.client.maximized) return AXError::success;
        if (!isProcessTrusted()) return AXError::apiDisabled;
        const auto& ewmh = connection_.ewmh();
        connection_.sendRootMessage(static_cast<xcb_window_t>(element.token), ewmh._NET_WM_STATE, kStateAdd,
                                    ewmh._NET_WM_STATE_MAXIMIZED_VERT, ewmh._NET_WM_STATE_MAXIMIZED_HORZ,
                                    kSourcePager);
        return AXError::success;
    }
    if (attribute == "AXMinimized") {
        if (AXError e = resolveWindow(element, kWmStatePart | kKindPart, w); e != AXError::success) return e;
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        return setMinimized(w, *flag);
    }
    if (attribute == platform::kOtherDesktopAttribute) {
        if (AXError e = resolveWindow(element, 0, w); e != AXError::success) return e;
        const auto* flag = as<bool>(value);
        // A window is sent to another desktop by the user, not by this attribute.
        if (!flag || *flag) return AXError::illegalArgument;
        const auto desktop = hiddenDesktopOf(connection_, static_cast<xcb_window_t>(element.token));
        if (!desktop) return AXError::success;
        if (!isProcessTrusted()) return AXError::apiDisabled;
        showDesktop(connection_, *desktop);
        return AXError::success;
    }
    if (attribute == "AXMain" || attribute == "AXFocused") {
        if (AXError e = resolveWindow(element, kFocusPart, w); e != AXError::success) return e;
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        // Only one window is focused on this desktop: giving the status up is not something a window
        // can do by itself.
        if (!*flag) return AXError::illegalArgument;
        // The window manager never gives the keyboard to a window that refuses it; asking would only
        // wait out the limit.
        if (!w.client.takesFocus) return AXError::cannotComplete;
        return activate(static_cast<xcb_window_t>(element.token), element.pid);
    }
    if (AXError e = resolveWindow(element, 0, w); e != AXError::success) return e;
    return AXError::attributeUnsupported;
}

AXError X11Accessibility::writeApplication(pid_t pid, const std::string& attribute, const AXValue& value) {
    if (pid <= 0) return AXError::illegalArgument;
    if (attribute != "AXFrontmost") return AXError::attributeUnsupported;
    const auto* flag = as<bool>(value);
    if (!flag || !*flag) return AXError::illegalArgument;
    std::optional<xcb_window_t> target;
    {
        const auto snapshot = snapshot_.read();
        if (!snapshot) return AXError::cannotComplete;
        target = preferredWindow(pid, *snapshot, true);
    }
    if (!target) return processExists(pid) ? AXError::cannotComplete : AXError::invalidUIElement;
    return activate(*target, pid);
}

AXError X11Accessibility::setParkingMark(Window& w, bool marked, bool wasMaximized) {
    const auto window = static_cast<xcb_window_t>(w.element.token);
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    const xcb_atom_t property = connection_.atoms().KORVANE_PARKED;
    xcb_void_cookie_t cookie;
    if (marked) {
        // The frame the window manager let the window have, not the one asked for: that is where the
        // window stays parked. The state parking took away follows it, only when there is one, so that a
        // mark reads the same to a reader of the frame alone.
        const Rect f = w.client.frameRoot();
        const std::int32_t value[5] = {
            static_cast<std::int32_t>(f.minX()), static_cast<std::int32_t>(f.minY()),
            static_cast<std::int32_t>(f.width()), static_cast<std::int32_t>(f.height()), 1};
        cookie = xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_INTEGER, 32,
                                             wasMaximized ? 5 : 4, value);
    } else {
        cookie = xcb_delete_property_checked(c, window, property);
    }
    // Checked, so that the call returns once the server holds the mark, and learns of a window gone.
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    connection_.noteWrite();
    if (error) return error->error_code == XCB_WINDOW ? AXError::invalidUIElement : AXError::cannotComplete;
    return connection_.isBroken() ? AXError::cannotComplete : AXError::success;
}

AXError X11Accessibility::placeFrame(Window& w, std::optional<Point> origin, std::optional<Size> size,
                                     bool untilShown) {
    const auto window = static_cast<xcb_window_t>(w.element.token);
    // Placed by the program, the window is no longer where it was parked, whatever comes of the request.
    {
        auto guard = connection_.lock();
        xcb_delete_property(connection_.xcb(), window, connection_.atoms().KORVANE_PARKED);
        xcb_flush(connection_.xcb());
        connection_.noteWrite();
    }
    // A window manager keeps a maximised or full-screen window over its monitor and leaves a request to
    // move it unanswered: placed, such a window leaves those states first, as a window sent into a tile
    // does.
    if (w.client.maximized || w.client.fullscreen)
        if (AXError e = leaveHeldStates(w); e != AXError::success) return e;
    const Rect before = w.client.frameRoot();
    const Placement placement = placementOf(w.client, origin, size);
    const Rect& expected = placement.frame;
    if (expected == before) return AXError::success;
    if (!isProcessTrusted()) return AXError::apiDisabled;
    const auto& ewmh = connection_.ewmh();

    std::uint32_t flags = 0;
    if (origin) flags |= kMoveX | kMoveY;
    if (size) flags |= kMoveWidth | kMoveHeight;
    connection_.sendRootMessage(window, ewmh._NET_MOVERESIZE_WINDOW,
                                kGravityNorthWest | flags | (kSourcePager << 12),
                                static_cast<std::uint32_t>(static_cast<std::int32_t>(expected.origin.x)),
                                static_cast<std::uint32_t>(static_cast<std::int32_t>(expected.origin.y)),
                                static_cast<std::uint32_t>(placement.clientWidth),
                                static_cast<std::uint32_t>(placement.clientHeight));
    if (!untilShown) return AXError::success;

    // The frame asked for is the likely outcome, not a promise: the window manager may keep the frame
    // on screen, so a frame that settled elsewhere ends the wait too.
    Rect last = before;
    Nanos lastChange = loop_.now();
    bool vanished = false;
    const Wait wait = waitUntil(
        [&] {
            auto now = fetchClients(connection_, {window}, kGeometryPart);
            if (!now) return false;
            if (now->empty() || !(*now)[0].exists) {
                vanished = true;
                return true;
            }
            const Rect frame = (*now)[0].frameRoot();
            const Nanos t = loop_.now();
            if (frame == expected) return true;
            if (!(frame == last)) {
                last = frame;
                lastChange = t;
            }
            return !(frame == before) && t - lastChange >= kSettled;
        },
        waitLimit(w.element));
    if (vanished) return AXError::invalidUIElement;
    // A window manager that refuses leaves the frame alone until the limit: that is an answer. A
    // connection that broke, or a window manager gone, is none.
    return resultOf(wait, AXError::success);
}

AXError X11Accessibility::leaveHeldStates(Window& w) {
    if (!isProcessTrusted()) return AXError::apiDisabled;
    const auto window = static_cast<xcb_window_t>(w.element.token);
    const auto& ewmh = connection_.ewmh();
    if (w.client.maximized)
        connection_.sendRootMessage(window, ewmh._NET_WM_STATE, kStateRemove,
                                    ewmh._NET_WM_STATE_MAXIMIZED_VERT, ewmh._NET_WM_STATE_MAXIMIZED_HORZ,
                                    kSourcePager);
    if (w.client.fullscreen)
        connection_.sendRootMessage(window, ewmh._NET_WM_STATE, kStateRemove, ewmh._NET_WM_STATE_FULLSCREEN,
                                    0, kSourcePager);
    // Out of those states the window gets its borders and handle back, and with them other frame extents:
    // a client size reckoned from the extents it had would leave the frame that much larger than asked,
    // reaching past the zone's top. The state goes first; the extents the window manager sets with it are
    // the evidence that it has framed the window anew, or, for a window framed alike either way, the
    // frame holding still a moment after the state went.
    const auto held = w.client.extents;
    std::optional<Rect> last;
    Nanos lastChange = loop_.now();
    bool vanished = false;
    const Wait wait = waitUntil(
        [&] {
            auto now = fetchClients(connection_, {window}, kGeometryPart | kKindPart);
            if (!now) return false;
            if (now->empty() || !(*now)[0].exists) {
                vanished = true;
                return true;
            }
            const ClientWindow& c = (*now)[0];
            const Nanos t = loop_.now();
            if (c.maximized || c.fullscreen) {
                last.reset();
                return false;
            }
            if (c.extents != held) return true;
            if (!last || !(c.frameRoot() == *last)) {
                last = c.frameRoot();
                lastChange = t;
            }
            return t - lastChange >= kSettled;
        },
        waitLimit(w.element));
    if (vanished) return AXError::invalidUIElement;
    if (wait == Wait::broken || wait == Wait::noWindowManager) return resultOf(wait, AXError::success);
    // Read again whatever the wait saw: a window manager slow to answer is asked by what shows now.
    const AXElement element = w.element;
    return resolveWindow(element, kGeometryPart | kSizeHintsPart | kKindPart, w);
}

bool X11Accessibility::alreadyInFront(xcb_window_t window, const StackingTop& stacking) {
    const auto at = std::find(stacking.top.begin(), stacking.top.end(), window);
    if (at == stacking.top.end()) return false;
    std::vector<xcb_window_t> asked(at, stacking.top.end());
    const auto clients = fetchClients(connection_, asked, kKindPart | kWmStatePart | kViewablePart);
    if (!clients) return false;
    const ClientWindow& own = clients->front();
    // An ordinary window, shown: a minimised one would be restored, one in a layer of its own is left to
    // the window manager's rules.
    const bool ordinary = (own.kind == WindowKind::normal || own.kind == WindowKind::dialog) && !own.above &&
                          !own.below && !own.fullscreen;
    if (!own.exists || !own.viewable || own.minimized() || !ordinary) return false;
    // Docks and windows kept above stay above an ordinary window raised; a window gone meanwhile covers
    // nothing.
    return std::all_of(clients->begin() + 1, clients->end(), [](const ClientWindow& c) {
        return !c.exists || (!c.below && (c.above || c.kind == WindowKind::dock));
    });
}

AXError X11Accessibility::activate(xcb_window_t window, pid_t pid) {
    // Without a window manager the active window on the root is a stale record of a dead one.
    if (!isProcessTrusted()) return AXError::apiDisabled;
    snapshot_.noteBroughtForward(pid, window);
    std::uint32_t length = stackingLength_;
    const StackingTop stacking = fetchStackingTop(connection_, kStackingTop, length);
    stackingLength_ = length;
    const xcb_window_t current = stacking.active;
    // Activating the active window in front again, with the keyboard already on it, would change
    // nothing anybody sees, yet the window manager restacks every window for it: the cost of a push
    // would grow with the desktop. A keyboard held by a window of the client's own (a focus proxy) or
    // by another client is given back by activating, as before.
    if (stacking.ok && current == window && stacking.focus == window && alreadyInFront(window, stacking))
        return AXError::success;
    // A window manager asked to activate a window on a desktop not shown only marks it as wanting
    // attention: its desktop is shown first, as a pager does.
    if (const auto desktop = hiddenDesktopOf(connection_, window)) showDesktop(connection_, *desktop);
    // A window kept below stays behind every ordinary window, the keyboard on it or not: given the
    // keyboard, it leaves that state, so that the window typed into is the one in view.
    const auto& ewmh = connection_.ewmh();
    if (const auto own = fetchClients(connection_, {window}, kKindPart);
        own && !own->empty() && (*own)[0].exists && (*own)[0].below)
        connection_.sendRootMessage(window, ewmh._NET_WM_STATE, kStateRemove, ewmh._NET_WM_STATE_BELOW, 0,
                                    kSourcePager);
    // Sent, not waited for: a client that asks for the keyboard and never takes it would hold the
    // caller to the limit, and with it every key pressed meanwhile. Whoever needs to see the window
    // active polls for it.
    connection_.sendRootMessage(window, ewmh._NET_ACTIVE_WINDOW, kSourcePager, XCB_CURRENT_TIME, current);
    return AXError::success;
}

AXError X11Accessibility::raiseAlone(xcb_window_t window, pid_t pid) {
    if (!isProcessTrusted()) return AXError::apiDisabled;
    snapshot_.noteBroughtForward(pid, window);
    std::uint32_t length = stackingLength_;
    const StackingTop stacking = fetchStackingTop(connection_, kStackingTop, length);
    stackingLength_ = length;
    if (stacking.ok && alreadyInFront(window, stacking)) return AXError::success;
    // Not waited for either, as activating.
    connection_.sendRootMessage(window, connection_.ewmh()._NET_RESTACK_WINDOW, kSourcePager, XCB_WINDOW_NONE,
                                XCB_STACK_MODE_ABOVE);
    return AXError::success;
}

AXError X11Accessibility::setMinimized(Window& w, bool minimized) {
    const auto window = static_cast<xcb_window_t>(w.element.token);
    if (minimizedByUser(w.client, window) == minimized) return AXError::success;
    // Only a window manager keeps WM_STATE: without one the wait below could never end well.
    if (!isProcessTrusted()) return AXError::apiDisabled;
    if (!minimized) {
        // Mapping restores the window without focusing it, as un-minimising does. Not waited for: a
        // window on a desktop not shown stays iconic until that desktop shows, and a wait for it would
        // hold every key pressed meanwhile.
        auto guard = connection_.lock();
        xcb_map_window(connection_.xcb(), window);
        xcb_flush(connection_.xcb());
        connection_.noteWrite();
        return AXError::success;
    }
    connection_.sendRootMessage(window, connection_.atoms().WM_CHANGE_STATE, kIconicState);
    // Judged by WM_STATE, never by geometry: a window manager may animate.
    bool vanished = false;
    const Wait wait = waitUntil(
        [&] {
            auto now = fetchClients(connection_, {window}, kWmStatePart | kKindPart);
            if (!now) return false;
            vanished = now->empty() || !(*now)[0].exists;
            return vanished || minimizedByUser((*now)[0], window);
        },
        waitLimit(w.element));
    if (vanished) return AXError::invalidUIElement;
    return resultOf(wait, AXError::cannotComplete);
}

AXError X11Accessibility::performAction(const AXElement& element, const std::string& action) {
    if (element.kind == Kind::window) {
        applyPendingSize(element);
        Window w;
        if (AXError e = resolveWindow(element, kFocusPart, w); e != AXError::success) return e;
        if (action != "AXRaise") return AXError::actionUnsupported;
        const auto window = static_cast<xcb_window_t>(element.token);
        // A raise alone shows no other desktop (moving a window there raises it too): a window there is
        // put in front within its desktop, where activating it would only mark it as wanting attention.
        const bool activates = w.client.takesFocus && !hiddenDesktopOf(connection_, window);
        return activates ? activate(window, element.pid) : raiseAlone(window, element.pid);
    }
    if (element.kind == Kind::application || element.kind == Kind::systemWide)
        return AXError::actionUnsupported;
    return AXError::illegalArgument;
}

} // namespace korvane::x11
