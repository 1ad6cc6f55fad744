// The managed clients as the client list last named them, so that finding one window managed needs no
// read of the whole list: a lookup that would otherwise grow with every window on the desktop.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

namespace korvane::x11 {

class X11Connection;

// Any thread. The list kept is dropped when the window manager announces a change of it (the root's
// PropertyNotify, on the main thread), and a window missing from it sends its reader to the server: a
// window mapped since is never taken for unmanaged. A window still named in a list the window manager
// changed before the announcement came in has its own WM_STATE to vouch for it (see fetchManagedWindow).
class X11ClientList {
  public:
    // Main thread. Registers for the connection's events.
    explicit X11ClientList(X11Connection& connection);

    // Whether `window` is in the list as last read and kept.
    bool names(xcb_window_t window);
    // Counts the announced changes; taken before a read of the list, handed to keep() with what it read.
    std::uint64_t changes();
    // Keeps a list read after changes() answered `changesBefore`, unless a change was announced since.
    void keep(const std::vector<xcb_window_t>& list, std::uint64_t changesBefore);

  private:
    void handleEvent(const xcb_generic_event_t& event);

    X11Connection& connection_;
    std::mutex mutex_;
    std::optional<std::unordered_set<xcb_window_t>> kept_;
    std::uint64_t changes_ = 0;
};

} // namespace korvane::x11
