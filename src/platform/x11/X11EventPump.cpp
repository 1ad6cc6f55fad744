// A closed socket stays readable for ever, so a watch left on it after the server went away would
// wake the loop without end; and xcb reads nothing more from a broken connection, so there is nothing
// to wait for there anyway.
//
// Events that come faster than they are handed over wait in xcb's queue, one small block each; a reply
// awaited meanwhile (a push waiting for the window manager) brings in all that came before it. Freed
// again, those blocks stay with the C library's heap, which gives back only its top, so a burst would
// leave the process as large as at its height for good: it is trimmed once the burst is over.
#include "platform/x11/X11EventPump.h"

#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11PropertyCache.h"
#include "platform/x11/X11RunLoop.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <utility>

namespace korvane::x11 {

namespace {

constexpr Nanos kTrimDelay = milliseconds(500);

} // namespace

X11EventPump::X11EventPump(X11Connection& connection, X11RunLoop& loop,
                           platform::NotificationCenter& notifications)
    : connection_(connection), loop_(loop), notifications_(notifications) {
    // Events are read when the socket has data and, because xcb may already hold some read off the
    // socket by a reply, each time the loop is about to sleep.
    watch_ = loop_.watchDescriptor(connection_.fileDescriptor(), [this] { pump(); });
    loop_.setAboutToBlock([this] { pump(); });
    // Frames moved by the window manager announce themselves there alone.
    if (X11PropertyCache* cache = connection_.propertyCache())
        cacheWatch_ = loop_.watchDescriptor(cache->fileDescriptor(), [this] { drainCache(); });
    pump();
}

X11EventPump::~X11EventPump() {
    loop_.setAboutToBlock(nullptr);
}

void X11EventPump::pump() {
    if (lost_) return;
    // The connection logs the break itself, once, as it finds it.
    const bool more = connection_.dispatchPending();
    if (connection_.isBroken()) {
        connectionLost();
        return;
    }
    if (!more) {
        if (std::exchange(burst_, false)) trimAfterBurst();
        return;
    }
    burst_ = true;
    // The rest waits in xcb's queue, which no readable socket announces; a loop that is not about to
    // sleep does not call the hook either. Posted, it comes after what the loop already has to serve.
    if (resumePosted_) return;
    resumePosted_ = true;
    loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.lock()) return;
        resumePosted_ = false;
        pump();
    });
}

void X11EventPump::drainCache() {
    X11PropertyCache* cache = connection_.propertyCache();
    if (cache->isBroken()) {
        cacheWatch_.reset();
        return;
    }
    cache->drain();
}

void X11EventPump::trimAfterBurst() {
    // A trim walks the whole heap: a client that sends in bursts gets one a while after the last of them,
    // not one after each.
    if (trimScheduled_) return;
    trimScheduled_ = true;
    loop_.postAfter(kTrimDelay, [this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.lock()) return;
        trimScheduled_ = false;
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
}

void X11EventPump::connectionLost() {
    lost_ = true;
    // Safe from inside the watch's own callback; the about-to-block hook stays, idle, since it may be
    // the caller right now.
    watch_.reset();
    cacheWatch_.reset();
    // Observers hear it from the main queue, outside the dispatch of events.
    loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) notifications_.post(platform::kDesktopConnectionLost);
    });
}

} // namespace korvane::x11
