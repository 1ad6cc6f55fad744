// The window manager's virtual desktops as a pager sees them: which one shows, which one a client lies
// on, and showing another. Bringing a window that lies on a desktop not shown forward is done as pagers
// and task bars do it: its desktop is shown first, for a window manager only marks such a window as
// wanting attention when asked to activate it.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

namespace korvane::x11 {

class X11Connection;

// The desktop the client lies on when that is not the one shown; nothing for a client on the desktop
// shown, on every desktop, or of no desktop (also without a window manager that keeps desktops).
std::optional<std::uint32_t> hiddenDesktopOf(const X11Connection& connection, xcb_window_t window);
// Asks the window manager to show the desktop, as a pager does. A write; not waited for.
void showDesktop(const X11Connection& connection, std::uint32_t desktop);

} // namespace korvane::x11
