// Follows the managed clients, their titles and the active window from the connection's events, on the
// main thread, and tells its listeners what changed once the events that came together have been handed
// over: the clients that came and went first, then the titles, then the active window.
//
// A client window ends when it is destroyed or its client withdraws it (unmaps it): it is reported gone,
// and a window that the list names later under its id is another one, reported as new, also when the id
// came back before the list was read again (an X server hands a departed client's ids to the next client).
// A window the window manager lets go of while it stays mapped (a window manager quitting or being
// replaced empties the list) has not ended: it is reported neither gone nor, once listed again, new.
#pragma once

#include "platform/x11/X11NoisyWindows.h"

#include <xcb/xcb.h>

#include <chrono>
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
    // A window that changes its properties without pause is not heard for a while (`heard` false): its
    // changes meanwhile announce nothing. Then it is again (`heard` true), also when it leaves the list.
    virtual void propertiesHeard(xcb_window_t window, bool heard) {
        (void)window;
        (void)heard;
    }
};

class X11Tracker {
  public:
    // Main thread. Reads the present clients without reporting them, and registers for events.
    X11Tracker(X11Connection& connection, platform::RunLoop& loop);

    void addListener(TrackerListener* listener) { listeners_.push_back(listener); }
    const std::vector<TrackedWindow>& windows() const { return windows_; }
    xcb_window_t active() const { return active_; }

  private:
    // Notes what an event announced; refreshAnnounced() reads it once the batch has been handed over.
    void handleEvent(const xcb_generic_event_t& event);
    void refreshAnnounced(bool more);
    void refreshClients(bool report);
    void refreshActive();
    void refreshTitles(const std::vector<xcb_window_t>& windows);
    void propertiesHeard(xcb_window_t window, bool heard);
    void follow(const std::vector<xcb_window_t>& windows);
    // Whether each window is mapped now (viewable or not); false for one that no longer exists.
    std::vector<bool> mappedNow(const std::vector<TrackedWindow>& windows);
    std::optional<TrackedWindow> find(xcb_window_t window) const;

    X11Connection& connection_;
    X11NoisyWindows noisy_;
    std::vector<TrackerListener*> listeners_;
    std::vector<TrackedWindow> windows_;
    // Windows the window manager let go of while they stayed mapped, until it lists them again.
    std::vector<TrackedWindow> letGo_;
    // Followed windows destroyed since the list was last read.
    std::vector<xcb_window_t> destroyed_;
    xcb_window_t active_ = XCB_WINDOW_NONE;
    // Announced in the batch under way: each at most once, whatever the number of events.
    bool clientsAnnounced_ = false;
    bool activeAnnounced_ = false;
    std::vector<xcb_window_t> titlesAnnounced_;
    // When the first of the reads still to make was announced.
    std::optional<std::chrono::steady_clock::time_point> announcedAt_;
};

} // namespace korvane::x11
