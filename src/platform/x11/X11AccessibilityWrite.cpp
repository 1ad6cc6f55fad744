// Acting through the accessibility model: moving and resizing frames, (un)minimising, raising and
// focusing. Every request goes to the window manager, and the call returns once the server shows the
// result (or the wait limit passes), so that a read right after a write sees the new state.
#include "platform/x11/X11Accessibility.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Observers.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace korvane::x11 {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using Kind = AXElement::Kind;

namespace {

constexpr Nanos kPollInterval = milliseconds(1);
// A window manager that changes the frame to something else than asked is done once the frame has
// held still this long; one that leaves it untouched has refused when the wait limit passes.
constexpr Nanos kSettled = milliseconds(40);

// _NET_MOVERESIZE_WINDOW: NorthWest gravity puts the frame's top-left corner at x, y; the source is a
// pager, which window managers obey without focus-stealing rules.
constexpr std::uint32_t kGravityNorthWest = 1;
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kMoveX = 1u << 8, kMoveY = 1u << 9, kMoveWidth = 1u << 10, kMoveHeight = 1u << 11;

template <class T> const T* as(const AXValue& v) {
    return std::get_if<T>(&v);
}

} // namespace

bool X11Accessibility::waitUntil(const std::function<bool()>& condition, Nanos limit) {
    const Nanos deadline = loop_.now() + limit;
    for (;;) {
        if (condition()) return true;
        if (loop_.now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::nanoseconds(kPollInterval));
    }
}

AXError X11Accessibility::setAttribute(const AXElement& element, const std::string& attribute,
                                       const AXValue& value) {
    switch (element.kind) {
    case Kind::window: {
        Window w;
        if (AXError e = resolveWindow(element, w); e != AXError::success) return e;
        return writeWindow(w, attribute, value);
    }
    case Kind::application:
        return writeApplication(element.pid, attribute, value);
    case Kind::systemWide:
        return AXError::attributeUnsupported;
    default:
        return AXError::illegalArgument;
    }
}

AXError X11Accessibility::writeWindow(Window& w, const std::string& attribute, const AXValue& value) {
    if (attribute == "AXPosition") {
        const auto* p = as<Point>(value);
        if (!p) return AXError::illegalArgument;
        return placeFrame(w, w.state.coordinates.rootFromTopLeft(*p), std::nullopt);
    }
    if (attribute == "AXSize") {
        const auto* s = as<Size>(value);
        if (!s || !(s->width >= 0) || !(s->height >= 0)) return AXError::illegalArgument;
        return placeFrame(w, std::nullopt, *s);
    }
    if (attribute == "AXMinimized") {
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        return setMinimized(w, *flag);
    }
    if (attribute == "AXMain" || attribute == "AXFocused") {
        const auto* flag = as<bool>(value);
        if (!flag) return AXError::illegalArgument;
        // Only one window is focused on this desktop: giving the status up is not something a window
        // can do by itself.
        if (!*flag) return AXError::illegalArgument;
        return activate(static_cast<xcb_window_t>(w.element.token), w.element);
    }
    return AXError::attributeUnsupported;
}

AXError X11Accessibility::writeApplication(pid_t pid, const std::string& attribute, const AXValue& value) {
    if (pid <= 0) return AXError::illegalArgument;
    if (attribute != "AXFrontmost") return AXError::attributeUnsupported;
    const auto* flag = as<bool>(value);
    if (!flag || !*flag) return AXError::illegalArgument;
    std::optional<xcb_window_t> target;
    {
        auto guard = connection_.lock();
        const DesktopState state = fetchDesktopState(connection_);
        if (!state.ok) return AXError::cannotComplete;
        target = preferredWindow(pid, state, fetchClients(connection_, state.clients), true);
    }
    if (!target) return processExists(pid) ? AXError::cannotComplete : AXError::invalidUIElement;
    return activate(*target, X11Observers::applicationElement(pid));
}

AXError X11Accessibility::placeFrame(Window& w, std::optional<Point> origin, std::optional<Size> size) {
    const ClientWindow& c = w.client;
    const auto window = static_cast<xcb_window_t>(w.element.token);
    const Rect before = c.frameRoot();
    const double horizontal = c.extents[0] + c.extents[1], vertical = c.extents[2] + c.extents[3];

    Rect expected = before;
    std::uint32_t flags = 0;
    double clientWidth = c.clientRoot.size.width, clientHeight = c.clientRoot.size.height;
    if (origin) {
        expected.origin = Point{std::round(origin->x), std::round(origin->y)};
        flags |= kMoveX | kMoveY;
    }
    if (size) {
        clientWidth = std::max(1.0, std::round(size->width) - horizontal);
        clientHeight = std::max(1.0, std::round(size->height) - vertical);
        const Size granted = c.hints.constrain(clientWidth, clientHeight);
        expected.size = Size{granted.width + horizontal, granted.height + vertical};
        flags |= kMoveWidth | kMoveHeight;
    }
    if (expected == before) return AXError::success;

    connection_.sendRootMessage(
        window, connection_.ewmh()._NET_MOVERESIZE_WINDOW, kGravityNorthWest | flags | (kSourcePager << 12),
        static_cast<std::uint32_t>(static_cast<std::int32_t>(expected.origin.x)),
        static_cast<std::uint32_t>(static_cast<std::int32_t>(expected.origin.y)),
        static_cast<std::uint32_t>(clientWidth), static_cast<std::uint32_t>(clientHeight));

    // Sizes snap to the client's increments and the window manager may keep the frame on screen: the
    // frame asked for is the likely outcome, not a promise, so a frame that settled elsewhere ends the
    // wait too.
    Rect last = before;
    Nanos lastChange = loop_.now();
    bool vanished = false;
    waitUntil(
        [&] {
            auto now = fetchClients(connection_, {window});
            if (now.empty() || !now[0].exists) {
                vanished = true;
                return true;
            }
            const Rect frame = now[0].frameRoot();
            const Nanos t = loop_.now();
            if (frame == expected) return true;
            if (!(frame == last)) {
                last = frame;
                lastChange = t;
            }
            return !(frame == before) && t - lastChange >= kSettled;
        },
        waitLimit(w.element));
    return vanished ? AXError::invalidUIElement : AXError::success;
}

AXError X11Accessibility::activate(xcb_window_t window, const AXElement& element) {
    const xcb_window_t current = fetchActiveWindow(connection_);
    connection_.sendRootMessage(window, connection_.ewmh()._NET_ACTIVE_WINDOW, kSourcePager, XCB_CURRENT_TIME,
                                current);
    // Activating the active window changes nothing the server would announce: no wait then.
    if (current == window) return AXError::success;
    // Window managers may pass through "no active window" on the way: wait for the final value.
    const bool done = waitUntil([&] { return fetchActiveWindow(connection_) == window; }, waitLimit(element));
    return done ? AXError::success : AXError::cannotComplete;
}

AXError X11Accessibility::setMinimized(Window& w, bool minimized) {
    const auto window = static_cast<xcb_window_t>(w.element.token);
    if (w.client.minimized() == minimized) return AXError::success;
    if (minimized) {
        connection_.sendRootMessage(window, connection_.atoms().WM_CHANGE_STATE, kIconicState);
    } else {
        // Mapping restores the window without focusing it, as un-minimising does.
        auto guard = connection_.lock();
        xcb_map_window(connection_.xcb(), window);
        xcb_flush(connection_.xcb());
    }
    // Judged by WM_STATE, never by geometry: a window manager may animate.
    const int wanted = minimized ? kIconicState : kNormalState;
    bool vanished = false;
    const bool done = waitUntil(
        [&] {
            auto now = fetchClients(connection_, {window});
            vanished = now.empty() || !now[0].exists;
            return vanished || now[0].wmState == wanted;
        },
        waitLimit(w.element));
    if (vanished) return AXError::invalidUIElement;
    return done ? AXError::success : AXError::cannotComplete;
}

AXError X11Accessibility::performAction(const AXElement& element, const std::string& action) {
    if (element.kind == Kind::window) {
        Window w;
        if (AXError e = resolveWindow(element, w); e != AXError::success) return e;
        if (action != "AXRaise") return AXError::actionUnsupported;
        return activate(static_cast<xcb_window_t>(element.token), element);
    }
    if (element.kind == Kind::application || element.kind == Kind::systemWide)
        return AXError::actionUnsupported;
    return AXError::illegalArgument;
}

} // namespace korvane::x11
