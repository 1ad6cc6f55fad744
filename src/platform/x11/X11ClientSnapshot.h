// The managed clients as one read of the server shows them — the client list, the stacking order, the
// active window and the parts of every client that the window list, the workspace and the accessibility
// model read — shared by every reader within one turn of the main run loop, so that a turn that asks for
// the window list, the running applications and an application's windows reads the whole desktop once.
#pragma once

#include "platform/x11/X11Query.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace korvane::platform {
class RunLoop;
}

namespace korvane::x11 {

class X11Connection;

// Every part a reader of the snapshot uses.
inline constexpr unsigned kSnapshotParts =
    kGeometryPart | kPidPart | kClassPart | kTitlePart | kKindPart | kWmStatePart | kParkedPart;

struct ClientSnapshot {
    DesktopState state;
    std::vector<ClientWindow> clients; // front to back (DesktopState::frontToBack), kSnapshotParts each

    // The client of that window, when it is listed.
    const ClientWindow* find(xcb_window_t window) const;

  private:
    friend class X11ClientSnapshot;
    std::unordered_map<xcb_window_t, std::size_t> index_;
};

// Any thread; the lock order is the connection's lock, then this one's.
// On the main thread a read is kept until the turn of the run loop that took it ends, and dropped before
// that by what changes the desktop: an event of the connection that reports a change (the client list,
// stacking, active window, a client's title, state or type are all properties), and every write this
// program sends (X11Connection::noteWrite), after which the rest of the turn reads afresh, since the window
// manager carries a write out in its own time. Before a kept read is handed out again, the connection is
// looked at for such events already sent and not yet handled: with one waiting, the desktop is read afresh
// and nothing kept, so a window opened or closed in between is never missing or left over. Frames moved by
// others announce nothing on this connection: they show from the next turn on. Beyond a turn, and on other
// threads, a read is shared for as long as the property cache, which watches every part of it, frames
// included, announces no change and this program writes nothing: a background pass that looks up each
// window in the list, or a timer per application that reads the list, would otherwise read the whole
// desktop once per window or per turn.
class X11ClientSnapshot {
  public:
    // Main thread. Registers for the connection's events.
    X11ClientSnapshot(X11Connection& connection, platform::RunLoop& loop);

    // Called without the connection's lock held. Nothing when the server could not answer, or the
    // connection broke before every reply came in.
    std::shared_ptr<const ClientSnapshot> read();
    // How many times the desktop was read from the server.
    std::uint64_t serverReads() const;

    // The window of each process that this program last asked to bring forward: its application brings
    // that window forward while none of its windows is the active one, as an application brings forward
    // the window last raised, also where the window manager did not make it the active one (a window on
    // another desktop, one that never takes the keyboard). Forgotten once one of the process's windows is
    // active, or the window is gone. Any thread.
    void noteBroughtForward(pid_t pid, xcb_window_t window);
    std::optional<xcb_window_t> broughtForward(const ClientSnapshot& snapshot, pid_t pid);

  private:
    void handleEvent(const xcb_generic_event_t& event);
    void postEndOfTurn();

    X11Connection& connection_;
    platform::RunLoop& loop_;
    mutable std::mutex mutex_;
    std::shared_ptr<const ClientSnapshot> kept_;
    std::shared_ptr<const ClientSnapshot> standing_; // shared across turns and threads
    std::uint64_t standingChanges_ = 0;              // the cache's count of changes it was read at
    bool heldOff_ = false;                           // this turn wrote: nothing is kept until it ends
    bool endPosted_ = false;
    std::uint64_t serverReads_ = 0;
    std::unordered_map<pid_t, xcb_window_t> broughtForward_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvane::x11
