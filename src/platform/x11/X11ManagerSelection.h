// Korvane's hold on its X screen, so that one copy runs per display: the manager selection
// "_KORVANE_S<screen number>", owned by an unmapped window of its own and announced with a MANAGER message on
// the root, as managers of a screen announce themselves. The server gives a selection up when its owner's
// connection closes, however the process ended (a SIGKILL included), so a copy that died leaves no lock
// behind.
#pragma once

#include <xcb/xcb.h>

#include <memory>
#include <string>

namespace korvane::x11 {

class X11Connection;

class X11ManagerSelection {
  public:
    // Takes the selection of the connection's screen. Nothing, with the reason in `error`, when another
    // client owns it (another Korvane runs on that display) or the server refuses. To be called before the
    // connection's events are handed to anyone: waiting for the server's time, it reads the connection's
    // event queue itself and drops what is not its own.
    static std::unique_ptr<X11ManagerSelection> take(X11Connection& connection, std::string& error);
    // Gives the selection up.
    ~X11ManagerSelection();
    X11ManagerSelection(const X11ManagerSelection&) = delete;
    X11ManagerSelection& operator=(const X11ManagerSelection&) = delete;

  private:
    X11ManagerSelection(X11Connection& connection, xcb_window_t window);

    X11Connection& connection_;
    xcb_window_t window_;
};

} // namespace korvane::x11
