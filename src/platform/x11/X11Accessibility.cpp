// Reading the accessibility model: elements, attributes, the owning pid, trust and observers.
#include "platform/x11/X11Accessibility.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Observers.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11Query.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11VirtualDesktops.h"

namespace korvane::x11 {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using Kind = AXElement::Kind;

namespace {

constexpr const char* kPrivateWindowNumber = "_AXWindow";

const char* subroleOf(const ClientWindow& c) {
    switch (c.kind) {
    case WindowKind::normal:
        // A normal window kept above the others floats, like the program's own panels.
        return c.above ? "AXFloatingWindow" : "AXStandardWindow";
    case WindowKind::dialog:
        return "AXDialog";
    case WindowKind::floating:
        return "AXFloatingWindow";
    case WindowKind::dock:
    case WindowKind::notification:
        return "AXSystemFloatingWindow";
    case WindowKind::desktop:
        return "AXUnknown";
    }
    return "AXUnknown";
}

// What a window attribute needs read: its parts, and whether the active window.
struct Needs {
    bool known = true;
    unsigned parts = 0;
    bool active = false;
};

Needs needsOf(const std::string& attribute) {
    if (attribute == "AXRole" || attribute == "AXWindowNumber") return {};
    if (attribute == "AXSubrole" || attribute == "AXFullscreen") return {true, kKindPart, false};
    if (attribute == "AXTitle") return {true, kTitlePart, false};
    if (attribute == "AXPosition" || attribute == "AXSize") return {true, kGeometryPart, false};
    // Whether the window is iconic, and if so whether only for lying on a desktop not shown.
    if (attribute == "AXMinimized") return {true, kWmStatePart | kKindPart, false};
    if (attribute == platform::kOtherDesktopAttribute) return {};
    if (attribute == "AXMain" || attribute == "AXFocused") return {true, 0, true};
    if (attribute == platform::kParkedAttribute || attribute == platform::kParkedMaximizedAttribute)
        return {true, kGeometryPart | kParkedPart, false};
    if (attribute == platform::kMaximizedAttribute) return {true, kKindPart, false};
    return {false, 0, false};
}

} // namespace

X11Accessibility::X11Accessibility(X11Connection& connection, X11ClientSnapshot& snapshot,
                                   platform::RunLoop& loop, X11Observers& observers, X11Screens& screens)
    : connection_(connection), loop_(loop), observers_(observers), screens_(screens), clients_(connection),
      snapshot_(snapshot) {}

X11Accessibility::~X11Accessibility() {
    // Nobody reads a frame after this: there is nothing to wait for. A size still held waits for a
    // position that will never come: sent alone, it would grow the window where it stands, half of a
    // move, so it goes with the move it belonged to.
    endWaits();
    std::lock_guard lock(pending_->mutex);
    pending_->sizes.clear();
}

AXElement X11Accessibility::applicationElement(pid_t pid) {
    return X11Observers::applicationElement(pid);
}

AXElement X11Accessibility::systemWideElement() {
    return AXElement{Kind::systemWide, 0, 0};
}

bool X11Accessibility::minimizedByUser(const ClientWindow& c, xcb_window_t window) {
    // A window manager makes every window of a desktop not shown iconic, and tells those the user
    // minimised by their hidden state; elsewhere iconic is minimised.
    if (!c.minimized() || c.hidden) return c.minimized();
    return !hiddenDesktopOf(connection_, window);
}

bool X11Accessibility::processExists(pid_t pid) const {
    return X11ProcessInfo::isRunning(pid);
}

AXError X11Accessibility::resolveWindow(const AXElement& element, unsigned parts, Window& out,
                                        bool withActive) {
    if (element.kind != Kind::window || element.token == 0 || element.token > 0xFFFFFFFFu)
        return AXError::illegalArgument;
    // Asked before the connection is taken: a stale screen list is read again on the same connection.
    if (parts & kGeometryPart) out.coordinates = screens_.coordinates();
    const auto window = static_cast<xcb_window_t>(element.token);
    ManagedWindow fetched;
    if (clients_.names(window))
        fetched = fetchManagedWindow(connection_, window, parts | kPidPart, withActive, true);
    // Not named, or named but let go since: the client list decides, read afresh and kept.
    if (!fetched.managed) {
        const std::uint64_t changes = clients_.changes();
        fetched = fetchManagedWindow(connection_, window, parts | kPidPart, withActive);
        if (fetched.ok && fetched.clients) clients_.keep(*fetched.clients, changes);
    }
    if (!fetched.ok) return AXError::cannotComplete;
    if (!fetched.managed || !fetched.client.exists || fetched.client.pid != element.pid)
        return AXError::invalidUIElement;
    out.client = std::move(fetched.client);
    out.active = fetched.active;
    out.element = element;
    return AXError::success;
}

AXError X11Accessibility::validate(const AXElement& element) {
    switch (element.kind) {
    case Kind::window: {
        Window w;
        return resolveWindow(element, 0, w);
    }
    case Kind::application: {
        if (element.pid <= 0) return AXError::illegalArgument;
        if (processExists(element.pid)) return AXError::success;
        return AXError::invalidUIElement;
    }
    case Kind::systemWide:
        return AXError::success;
    default:
        return AXError::illegalArgument;
    }
}

AXError X11Accessibility::copyAttribute(const AXElement& element, const std::string& attribute,
                                        AXValue& out) {
    switch (element.kind) {
    case Kind::systemWide:
        return readSystemWide(attribute, out);
    case Kind::application:
        return readApplication(element.pid, attribute, out);
    case Kind::window:
        // The private number lives in the element itself, so an element whose window is gone still tells
        // it: that is how the receivers of "AXUIElementDestroyed" learn which window ended.
        if (attribute == kPrivateWindowNumber && element.token != 0 && element.token <= 0xFFFFFFFFu) {
            out = static_cast<double>(element.token);
            return AXError::success;
        }
        applyPendingSize(element);
        return readWindow(element, attribute, out);
    default:
        return AXError::illegalArgument;
    }
}

AXError X11Accessibility::readWindow(const AXElement& element, const std::string& attribute, AXValue& out) {
    const Needs needs = needsOf(attribute);
    Window w;
    if (AXError e = resolveWindow(element, needs.parts, w, needs.active); e != AXError::success) return e;
    if (!needs.known) return AXError::attributeUnsupported;
    const ClientWindow& c = w.client;
    const auto window = static_cast<xcb_window_t>(element.token);
    if (attribute == "AXRole") {
        out = std::string("AXWindow");
    } else if (attribute == "AXSubrole") {
        out = std::string(subroleOf(c));
    } else if (attribute == "AXTitle") {
        out = c.title.value_or(std::string());
    } else if (attribute == "AXPosition") {
        out = w.coordinates.topLeft(c.frameRoot()).origin;
    } else if (attribute == "AXSize") {
        out = c.frameRoot().size;
    } else if (attribute == "AXMinimized") {
        out = minimizedByUser(c, window);
    } else if (attribute == platform::kOtherDesktopAttribute) {
        out = hiddenDesktopOf(connection_, window).has_value();
    } else if (attribute == "AXMain" || attribute == "AXFocused") {
        out = w.active == window;
    } else if (attribute == "AXFullscreen") {
        out = c.fullscreen;
    } else if (attribute == "AXWindowNumber") {
        out = static_cast<double>(window);
    } else if (attribute == platform::kParkedAttribute) {
        out = c.markedParked();
    } else if (attribute == platform::kParkedMaximizedAttribute) {
        out = c.markedParked() && c.parkedMaximized;
    } else if (attribute == platform::kMaximizedAttribute) {
        out = c.maximized;
    }
    return AXError::success;
}

AXError X11Accessibility::isAttributeSettable(const AXElement& element, const std::string& attribute,
                                              bool& settable) {
    switch (element.kind) {
    case Kind::window: {
        const bool focus = attribute == "AXMain" || attribute == "AXFocused";
        Window w;
        if (AXError e = resolveWindow(element, focus ? unsigned(kFocusPart) : 0u, w); e != AXError::success)
            return e;
        if (!needsOf(attribute).known) return AXError::attributeUnsupported;
        settable = focus ? w.client.takesFocus
                         : attribute == "AXPosition" || attribute == "AXSize" || attribute == "AXMinimized" ||
                               attribute == platform::kParkedAttribute ||
                               attribute == platform::kParkedMaximizedAttribute ||
                               attribute == platform::kMaximizedAttribute ||
                               attribute == platform::kOtherDesktopAttribute;
        return AXError::success;
    }
    case Kind::application:
        if (AXError e = validate(element); e != AXError::success) return e;
        settable = attribute == "AXFrontmost";
        return AXError::success;
    case Kind::systemWide:
        settable = false;
        return AXError::success;
    default:
        return AXError::illegalArgument;
    }
}

std::optional<xcb_window_t> X11Accessibility::preferredWindow(pid_t pid, const ClientSnapshot& snapshot,
                                                              bool allowMinimized) {
    auto ownedBy = [&](xcb_window_t w) -> const ClientWindow* {
        const ClientWindow* c = snapshot.find(w);
        return c && c->exists && c->pid == pid ? c : nullptr;
    };
    if (ownedBy(snapshot.state.active)) return snapshot.state.active;
    if (const auto asked = snapshot_.broughtForward(snapshot, pid))
        if (const ClientWindow* c = ownedBy(*asked); c && (allowMinimized || !c->minimized())) return *asked;
    for (const auto& c : snapshot.clients) // front to back
        if (ownedBy(c.window) && !c.minimized()) return c.window;
    if (allowMinimized)
        for (const auto& c : snapshot.clients)
            if (ownedBy(c.window)) return c.window;
    return std::nullopt;
}

AXError X11Accessibility::readApplication(pid_t pid, const std::string& attribute, AXValue& out) {
    if (pid <= 0) return AXError::illegalArgument;
    const auto snapshot = snapshot_.read();
    if (!snapshot) return AXError::cannotComplete;
    const DesktopState& state = snapshot->state;
    const std::vector<ClientWindow>& clients = snapshot->clients;
    std::vector<xcb_window_t> own;
    for (const auto& c : clients) // front to back
        if (c.exists && c.pid == pid) own.push_back(c.window);
    if (own.empty() && !processExists(pid)) return AXError::invalidUIElement;

    auto windowValue = [&](std::optional<xcb_window_t> w) {
        if (!w) return AXError::noValue;
        out = X11Observers::windowElement(pid, *w);
        return AXError::success;
    };
    if (attribute == "AXRole") {
        out = std::string("AXApplication");
    } else if (attribute == "AXTitle") {
        std::optional<std::string> name = applicationName ? applicationName(pid) : std::nullopt;
        if (!name) return AXError::noValue;
        out = *name;
    } else if (attribute == "AXWindows") {
        std::vector<AXElement> list;
        for (auto w : own)
            list.push_back(X11Observers::windowElement(pid, w));
        out = std::move(list);
    } else if (attribute == "AXFocusedWindow" || attribute == "AXMainWindow") {
        return windowValue(preferredWindow(pid, *snapshot, false));
    } else if (attribute == "AXFocusedUIElement") {
        bool frontmost = false;
        for (const auto& c : clients)
            if (c.window == state.active && c.pid == pid) frontmost = true;
        return windowValue(frontmost ? std::optional<xcb_window_t>(state.active) : std::nullopt);
    } else if (attribute == "AXFrontmost") {
        bool frontmost = false;
        for (const auto& c : clients)
            if (c.window == state.active && c.exists && c.pid == pid) frontmost = true;
        out = frontmost;
    } else if (attribute == "AXHidden") {
        bool allMinimized = !own.empty();
        for (const auto& c : clients)
            if (c.exists && c.pid == pid && !c.minimized()) allMinimized = false;
        out = allMinimized;
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

AXError X11Accessibility::readSystemWide(const std::string& attribute, AXValue& out) {
    if (attribute == "AXRole") {
        out = std::string("AXSystemWide");
        return AXError::success;
    }
    if (attribute != "AXFocusedUIElement" && attribute != "AXFocusedApplication")
        return AXError::attributeUnsupported;
    auto guard = connection_.lock();
    const DesktopState state = fetchDesktopState(connection_);
    if (!state.ok) return AXError::cannotComplete;
    if (!state.isClient(state.active)) return AXError::noValue;
    auto fetched = fetchClients(connection_, {state.active}, kPidPart);
    if (!fetched) return AXError::cannotComplete;
    if (fetched->empty() || !(*fetched)[0].exists || (*fetched)[0].pid <= 0) return AXError::noValue;
    const pid_t pid = (*fetched)[0].pid;
    // Windows have no finer elements here: the focused element is the focused window itself.
    if (attribute == "AXFocusedUIElement")
        out = X11Observers::windowElement(pid, state.active);
    else
        out = X11Observers::applicationElement(pid);
    return AXError::success;
}

AXError X11Accessibility::pidOf(const AXElement& element, pid_t& out) {
    if ((element.kind != Kind::application && element.kind != Kind::window) || element.pid <= 0)
        return AXError::illegalArgument;
    out = element.pid;
    return AXError::success;
}

AXError X11Accessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    if (!(seconds >= 0)) return AXError::illegalArgument;
    std::lock_guard lock(timeoutMutex_);
    const std::optional<Nanos> value =
        seconds == 0 ? std::nullopt : std::optional<Nanos>(korvane::seconds(seconds));
    if (element.kind == Kind::systemWide) {
        globalTimeout_ = value;
        return AXError::success;
    }
    if (element.kind != Kind::application && element.kind != Kind::window) return AXError::illegalArgument;
    const auto key = std::make_tuple(static_cast<int>(element.kind), element.pid, element.token);
    if (value)
        timeouts_[key] = *value;
    else
        timeouts_.erase(key);
    return AXError::success;
}

Nanos X11Accessibility::waitLimit(const AXElement& element) {
    std::lock_guard lock(timeoutMutex_);
    if (auto it = timeouts_.find(std::make_tuple(static_cast<int>(element.kind), element.pid, element.token));
        it != timeouts_.end())
        return it->second;
    const AXElement app = X11Observers::applicationElement(element.pid);
    if (auto it = timeouts_.find(std::make_tuple(static_cast<int>(app.kind), app.pid, app.token));
        it != timeouts_.end())
        return it->second;
    return globalTimeout_.value_or(milliseconds(500));
}

bool X11Accessibility::isProcessTrusted() {
    auto guard = connection_.lock();
    const xcb_atom_t check = connection_.ewmh()._NET_SUPPORTING_WM_CHECK;
    auto onRoot = connection_.readProperty(connection_.root(), check, XCB_ATOM_WINDOW);
    if (!onRoot || onRoot->words().empty()) return false;
    const xcb_window_t wm = onRoot->words()[0];
    // The check window names itself; a stale property left by a window manager that died does not.
    auto onWindow = connection_.readProperty(wm, check, XCB_ATOM_WINDOW);
    return onWindow && !onWindow->words().empty() && onWindow->words()[0] == wm;
}

std::shared_ptr<platform::AXObserver>
X11Accessibility::createObserver(pid_t pid, platform::AXObserver::Callback callback, AXError& error) {
    return observers_.create(pid, std::move(callback), error);
}

} // namespace korvane::x11
