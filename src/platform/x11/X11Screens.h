// Screens of the real desktop: the RandR monitors, each less the struts of the docks on it, in the
// platform's bottom-left global space; announces changes on the notification centre. The list is kept
// between calls and read again only after an event that may change it, so that it costs nothing on the
// paths that ask for it with every window they move.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "platform/x11/X11Query.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11SystemTray.h"
#include "platform/x11/X11Tracker.h"

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class X11Connection;

// A dock's changed strut is followed once it has paused, so that a dock that rewrites it without pause
// is followed at the value it rests at: meanwhile the screens are answered and compared as last
// announced, whatever else changes with them.
class X11Screens final : public platform::Screens, public TrackerListener {
  public:
    // Main thread. Registers for the connection's events.
    X11Screens(X11Connection& connection, platform::RunLoop& loop,
               platform::NotificationCenter& notifications);

    std::vector<platform::ScreenInfo> screens() override;
    std::optional<platform::ScreenInfo> mainScreen() override;
    // The main monitor's corner on the root, as last known.
    Point nativeOrigin() override;
    Point mouseLocation() override;
    // Asks the server each time: a compositing manager may start or stop at any moment.
    bool isCompositing() override;
    // The active window (_NET_ACTIVE_WINDOW) with its decorations, when this process owns it: the window
    // manager gives the focus, so its active window is the one the user types into.
    std::optional<Rect> keyWindowFrame() override;
    // On every desktop (_NET_WM_DESKTOP all) and sticky, written before the window manager first sees it.
    void showOnAllWorkspaces(std::uint64_t nativeWindow) override;
    // As _NET_WM_STRUT_PARTIAL, the top edge's reservation over the strip's width alone, where the strip
    // lies along the root's top; below it, none. The visible frames leave the strip out at once either
    // way, whether or not the window manager has listed the window yet, and the window manager taking it
    // in later is no change either.
    void reserveTopStrip(std::uint64_t nativeWindow, const Rect& strip, bool announce) override;
    // A window with the window manager's decorations is asked of the window manager, one without them
    // of the server.
    void placeWindow(std::uint64_t nativeWindow, const Rect& frame) override;
    // Of a viewable window.
    std::optional<Rect> windowFrame(std::uint64_t nativeWindow) override;
    // The owner of the screen's system tray selection.
    bool hasSystemTray() override;
    // Through shared memory; nothing where the server cannot share it.
    bool capture(const Rect& area,
                 const std::function<void(const platform::ScreenPictureView&)>& read) override;
    // All asked of the server at once, each into a part of one shared segment.
    bool captureEachThen(
        const std::vector<Rect>& areas, const std::function<void()>& taken,
        const std::function<void(std::size_t, const platform::ScreenPictureView&)>& read) override;
    // Root coordinates and the platform's global spaces, anchored at the primary monitor as last known.
    Coordinates coordinates();

    // Main thread, as the tracker tells it.
    void propertiesHeard(xcb_window_t window, bool heard) override;

  private:
    struct Known {
        std::vector<platform::ScreenInfo> screens;
        Coordinates coordinates;
    };
    // What the cache holds, read afresh when an event made it stale. Any thread.
    Known known();
    Known fetch();
    void handleEvent(const xcb_generic_event_t& event);
    void scheduleCheck();
    // The monitors as last known, in root coordinates.
    std::vector<Rect> monitorsInRoot();
    // Takes the size steps and base size out of one of the program's own windows' size hints.
    void dropSizeSteps(xcb_window_t window);
    void check();
    // A window whose strut has changed and may go on changing; the screens are held as last announced
    // until it has paused.
    void restless(xcb_window_t window);
    // Whether the window keeps one of the program's own strips, which counts from the moment it is asked.
    bool ownStrip(xcb_window_t window);
    // Whether a dock's strut is still changing without pause; when it may have stopped, a check is
    // scheduled for the moment that would tell. Once none is, the screens are read afresh again.
    bool strutsUnsettled();

    X11Connection& connection_;
    X11ScreenCapture capture_{connection_};
    platform::RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    std::mutex cacheMutex_;
    std::optional<Known> cache_;
    // While a dock's strut changes without pause: the screens as last announced, answered instead.
    std::optional<Known> held_;
    // Counts the events that made the cache stale: a read that began before one of them is not kept.
    std::uint64_t staleCount_ = 0;
    // A strip one of the program's own windows keeps (root coordinates), with the strut written for it
    // where the window manager can keep it.
    struct OwnStrip {
        Rect root;
        std::optional<std::array<std::uint32_t, 12>> strut;

        friend bool operator==(const OwnStrip&, const OwnStrip&) = default;
    };
    // The program's own windows that keep a strip; a window gone no longer counts.
    std::map<xcb_window_t, OwnStrip> strips_;
    X11SystemTray tray_{connection_, loop_, notifications_};
    // Main thread only.
    Known announced_;
    bool checkPending_ = false;
    // When each window's strut last changed, as far as that was heard, kept for a second; the windows
    // not heard now; and the windows whose strut has changed, until it has stayed as it is for a moment.
    std::unordered_map<xcb_window_t, Nanos> strutChanges_;
    std::unordered_set<xcb_window_t> unheard_;
    std::unordered_set<xcb_window_t> restlessStruts_;
};

} // namespace korvane::x11
