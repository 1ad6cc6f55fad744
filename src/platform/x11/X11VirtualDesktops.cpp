// Reading and showing the window manager's virtual desktops.
#include "platform/x11/X11VirtualDesktops.h"

#include "platform/x11/X11Connection.h"

namespace korvane::x11 {

namespace {

// _NET_WM_DESKTOP of a window that shows on every desktop.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

std::optional<std::uint32_t> cardinal(const X11Connection& connection, xcb_window_t window, xcb_atom_t atom) {
    const auto value = connection.readProperty(window, atom, XCB_ATOM_CARDINAL);
    if (!value) return std::nullopt;
    const auto words = value->words();
    if (words.empty()) return std::nullopt;
    return words.front();
}

} // namespace

std::optional<std::uint32_t> hiddenDesktopOf(const X11Connection& connection, xcb_window_t window) {
    auto guard = connection.lock();
    const auto own = cardinal(connection, window, connection.ewmh()._NET_WM_DESKTOP);
    if (!own || *own == kAllDesktops) return std::nullopt;
    const auto shown = cardinal(connection, connection.root(), connection.ewmh()._NET_CURRENT_DESKTOP);
    if (!shown || *shown == *own) return std::nullopt;
    return own;
}

void showDesktop(const X11Connection& connection, std::uint32_t desktop) {
    // The desktop, then the time: now.
    connection.sendRootMessage(connection.root(), connection.ewmh()._NET_CURRENT_DESKTOP, desktop,
                               XCB_CURRENT_TIME);
}

} // namespace korvane::x11
