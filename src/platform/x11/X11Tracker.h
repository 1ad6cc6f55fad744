// Follows the managed clients, their titles and the active window from the connection's events, on the
// main thread, and tells its listeners what changed, in the order it happened.
#pragma once

#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::x11 {

class X11Connection;

struct TrackedWindow {
    xcb_window_t window = XCB_WINDOW_NONE;
    pid_t pid = 0;
    std::optional<std::string> title;
};

// Called on the main thread while an event is handled: listeners note or post, they never call out.
class TrackerListener {
  public:
    virtual ~TrackerListener() = default;
    virtual void windowCreated(const TrackedWindow&) {}
    virtual void windowDestroyed(const TrackedWindow&) {}
    virtual void titleChanged(const TrackedWindow&) {}
    // `current` is nothing while no window is active (window managers pass through that state).
    virtual void activeChanged(const std::optional<TrackedWindow>& current) { (void)current; }
    // After each change of the client list, once its windows have been reported.
    virtual void clientsChanged() {}
};

class X11Tracker {
  public:
    // Main thread. Reads the present clients without reporting them, and registers for events.
    explicit X11Tracker(X11Connection& connection);

    void addListener(TrackerListener* listener) { listeners_.push_back(listener); }
    const std::vector<TrackedWindow>& windows() const { return windows_; }
    xcb_window_t active() const { return active_; }

  private:
    void handleEvent(const xcb_generic_event_t& event);
    void refreshClients(bool report);
    void refreshActive();
    void refreshTitle(xcb_window_t window);
    void follow(const std::vector<xcb_window_t>& windows);
    std::optional<TrackedWindow> find(xcb_window_t window) const;

    X11Connection& connection_;
    std::vector<TrackerListener*> listeners_;
    std::vector<TrackedWindow> windows_;
    xcb_window_t active_ = XCB_WINDOW_NONE;
};

} // namespace korvane::x11
