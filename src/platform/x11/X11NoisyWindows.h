// Client windows whose properties change without pause. Each change is an event on this program's
// connection and on the property cache's; while the main thread is busy (a push waiting for the window
// manager) they pile up in memory, and every round trip first reads all that came before its reply, so a
// client changing a window as fast as the server lets it would make each read slow and the process large.
// Past kMostChangesPerSecond such a window's property changes are not listened to for kQuietFor; then they
// are again, and the owner reads afresh what it follows of the window: its changes meanwhile announced
// nothing.
#pragma once

#include "platform/Time.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace korvane::platform {
class RunLoop;
}

namespace korvane::x11 {

class X11Connection;

// What this program selects on a client window on its own connection (the client's and the window
// manager's selections are their own): its properties, and its structure for the one sure sign that the
// window ended, its destruction.
inline constexpr std::uint32_t kClientEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

class X11NoisyWindows {
  public:
    static constexpr unsigned kMostChangesPerSecond = 1000;
    static constexpr Nanos kQuietFor = milliseconds(1000);

    // Main thread. `heard` is called on the main thread with false when a window's changes stop being
    // listened to, and with true when they are again or the window is forgotten while they are not.
    X11NoisyWindows(X11Connection& connection, platform::RunLoop& loop,
                    std::function<void(xcb_window_t, bool)> heard);
    X11NoisyWindows(const X11NoisyWindows&) = delete;
    X11NoisyWindows& operator=(const X11NoisyWindows&) = delete;

    // Main thread: a property of a followed client window changed.
    void changed(xcb_window_t window);
    // The window is followed no longer; a quiet one is listened to again, as every window once seen is.
    void forget(xcb_window_t window);

  private:
    void quiet(xcb_window_t window);
    void listen(xcb_window_t window);

    struct Count {
        Nanos since = 0;
        unsigned changes = 0;
        bool quiet = false;
    };

    X11Connection& connection_;
    platform::RunLoop& loop_;
    std::function<void(xcb_window_t, bool)> heard_;
    std::unordered_map<xcb_window_t, Count> counts_;
    // Watched by the posted blocks, which do nothing once this is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvane::x11
