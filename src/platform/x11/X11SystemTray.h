// Whether the desktop shows a system tray: the owner of the screen's "_NET_SYSTEM_TRAY_S<n>" selection,
// followed as trays come and go while the program runs.
#pragma once

#include "platform/RunLoop.h"

#include <xcb/xcb.h>

#include <atomic>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class X11Connection;

// A tray that starts announces itself with a MANAGER message on the root (which the connection hears);
// one that ends takes its selection window with it, whose destruction is heard once the window's
// structure events are selected. Each change is posted as platform::kSystemTrayDidChange.
class X11SystemTray {
  public:
    // Main thread. Registers for the connection's events.
    X11SystemTray(X11Connection& connection, platform::RunLoop& loop,
                  platform::NotificationCenter& notifications);

    // Any thread.
    bool isAvailable() const { return owner_.load() != XCB_WINDOW_NONE; }

  private:
    void handleEvent(const xcb_generic_event_t& event);
    // The selection's owner now, with its destruction watched; with `announce`, posts when a tray came
    // or went.
    void follow(bool announce);

    X11Connection& connection_;
    platform::RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
    xcb_atom_t manager_ = XCB_ATOM_NONE;
    std::atomic<xcb_window_t> owner_{XCB_WINDOW_NONE};
};

} // namespace korvane::x11
