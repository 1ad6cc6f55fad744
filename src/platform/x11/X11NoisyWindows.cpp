// The count starts afresh each second of a window's changes; a window quiet again is counted from zero.
#include "platform/x11/X11NoisyWindows.h"

#include "platform/Logger.h"
#include "platform/RunLoop.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11PropertyCache.h"

namespace korvane::x11 {

X11NoisyWindows::X11NoisyWindows(X11Connection& connection, platform::RunLoop& loop,
                                 std::function<void(xcb_window_t, bool)> heard)
    : connection_(connection), loop_(loop), heard_(std::move(heard)) {}

void X11NoisyWindows::changed(xcb_window_t window) {
    Count& count = counts_[window];
    // Announced before the selection changed.
    if (count.quiet) return;
    const Nanos now = loop_.now();
    if (now - count.since >= kNanosPerSecond) count = Count{now, 0, false};
    if (++count.changes > kMostChangesPerSecond) quiet(window);
}

void X11NoisyWindows::forget(xcb_window_t window) {
    auto it = counts_.find(window);
    if (it == counts_.end()) return;
    const bool quieted = it->second.quiet;
    counts_.erase(it);
    if (!quieted) return;
    {
        auto guard = connection_.lock();
        xcb_change_window_attributes(connection_.xcb(), window, XCB_CW_EVENT_MASK, &kClientEvents);
        xcb_flush(connection_.xcb());
    }
    if (X11PropertyCache* cache = connection_.propertyCache()) cache->listen(window);
    if (heard_) heard_(window, true);
}

void X11NoisyWindows::quiet(xcb_window_t window) {
    counts_[window].quiet = true;
    {
        const std::uint32_t none = 0;
        auto guard = connection_.lock();
        xcb_change_window_attributes(connection_.xcb(), window, XCB_CW_EVENT_MASK, &none);
        xcb_flush(connection_.xcb());
    }
    if (X11PropertyCache* cache = connection_.propertyCache()) cache->quiet(window);
    x11Log().info("Window #%u changes its properties without pause: not listening to them for %.*f s", window,
                  1, toSeconds(kQuietFor));
    if (heard_) heard_(window, false);
    loop_.postAfter(kQuietFor, [this, window, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) listen(window);
    });
}

void X11NoisyWindows::listen(xcb_window_t window) {
    auto it = counts_.find(window);
    // Forgotten meanwhile, and listened to then.
    if (it == counts_.end() || !it->second.quiet) return;
    it->second = Count{loop_.now(), 0, false};
    {
        auto guard = connection_.lock();
        xcb_change_window_attributes(connection_.xcb(), window, XCB_CW_EVENT_MASK, &kClientEvents);
        xcb_flush(connection_.xcb());
    }
    if (X11PropertyCache* cache = connection_.propertyCache()) cache->listen(window);
    if (heard_) heard_(window, true);
}

} // namespace korvane::x11
