// A closed socket stays readable for ever, so a watch left on it after the server went away would
// wake the loop without end; and xcb reads nothing more from a broken connection, so there is nothing
// to wait for there anyway.
#include "platform/x11/X11EventPump.h"

#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11RunLoop.h"

namespace korvane::x11 {

X11EventPump::X11EventPump(X11Connection& connection, X11RunLoop& loop,
                           platform::NotificationCenter& notifications)
    : connection_(connection), loop_(loop), notifications_(notifications) {
    // Events are read when the socket has data and, because xcb may already hold some read off the
    // socket by a reply, each time the loop is about to sleep.
    watch_ = loop_.watchDescriptor(connection_.fileDescriptor(), [this] { pump(); });
    loop_.setAboutToBlock([this] { pump(); });
    pump();
}

X11EventPump::~X11EventPump() {
    loop_.setAboutToBlock(nullptr);
}

void X11EventPump::pump() {
    if (lost_) return;
    // The connection logs the break itself, once, as it finds it.
    connection_.dispatchPending();
    if (connection_.isBroken()) connectionLost();
}

void X11EventPump::connectionLost() {
    lost_ = true;
    // Safe from inside the watch's own callback; the about-to-block hook stays, idle, since it may be
    // the caller right now.
    watch_.reset();
    // Observers hear it from the main queue, outside the dispatch of events.
    loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) notifications_.post(platform::kDesktopConnectionLost);
    });
}

} // namespace korvane::x11
