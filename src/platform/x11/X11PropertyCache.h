// What client windows' properties said when last read (owner, class, title, kind, WM_STATE, size hints,
// struts, the parking mark, whether it takes the keyboard) and where they were (geometry, frame extents,
// whether viewable), kept until the server announces a change: a read of every client then costs requests
// only for the windows that changed, not for every window on the desktop.
#pragma once

#include "platform/x11/X11Query.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane::x11 {

class X11Connection;

// Where a window is and whether it shows: both change with the window's ancestors as well as with the window.
inline constexpr unsigned kPlacedParts = kGeometryPart | kViewablePart;
// The parts a cached read can answer: every part.
inline constexpr unsigned kCachedParts = kPidPart | kClassPart | kTitlePart | kKindPart | kWmStatePart |
                                         kSizeHintsPart | kStrutPart | kParkedPart | kFocusPart |
                                         kPlacedParts;

// Any thread; the lock order is the connection's lock, then this one's.
//
// The same holds for the root's client list, stacking order and active window.
//
// The cache watches each window it has read on a connection of its own (property changes and its structure:
// moves, resizes, maps, unmaps, reparenting, destruction), and, for where a window is and whether it shows,
// every ancestor between it and the root (the window manager's frame), whose moves and maps announce
// nothing on the window itself. A window's place is kept only while its ancestors are known and watched, so
// a frame moved by the window manager, a window reparented or a frame unmapped shows in the next read.
// Before it answers, one round trip on that connection brings in every announcement of a change the server
// made before it, so a cached answer is as fresh as a read made when that round trip was sent (at the
// lookup, or at most 20 ms before it when an earlier lookup sent it): the contract of asking the server, at
// the price of one round trip instead of several requests per window, and of none for the many lookups of one
// pass over the windows (a window's attributes read one after the other). A write of this program ends that
// grace (written()), so that what it wrote is never read as it was before. A window destroyed is forgotten
// with everything known of it, so an id the server hands out again starts empty. Announcements that no read
// has taken in yet are taken in as the desktop's own connection delivers its events, which mostly come with
// the same changes, and whenever the cache's connection has some to read, so they never pile up while
// nothing reads.
class X11PropertyCache {
  public:
    // Nothing when the display cannot be reached: readers then ask the server every time.
    static std::unique_ptr<X11PropertyCache> open(const X11Connection& connection);
    ~X11PropertyCache();
    X11PropertyCache(const X11PropertyCache&) = delete;
    X11PropertyCache& operator=(const X11PropertyCache&) = delete;

    // What a read of `parts` of a window still has to ask the server, and what is known.
    struct Known {
        unsigned missing = 0; // parts to read
        bool exists = false;  // the window was seen to exist and has not been destroyed since
        ClientWindow values;  // the known parts
        std::uint64_t generation = 0;
    };
    // Takes in the announcements (one round trip) and answers for each window, in order. A window seen
    // for the first time is watched from here on, and so are its ancestors when its place is asked or
    // it was never read (a round trip for each level between it and the root, once).
    std::vector<Known> lookup(const std::vector<xcb_window_t>& windows, unsigned parts);
    // Keeps what a read made after lookup() found, unless the window changed since lookup() answered.
    void keep(const ClientWindow& read, unsigned parts, std::uint64_t generation);
    // The same for the root's client list, stacking order and active window, read whole by
    // fetchDesktopState(): the state as last kept, nothing when it changed since or was never kept.
    std::optional<DesktopState> lookupDesktop(std::uint64_t& generation);
    void keepDesktop(const DesktopState& state, std::uint64_t generation);
    // Takes in announcements already delivered, without waiting for any: those read off the cache's
    // connection, and at most kDrainLimit more waiting on its socket.
    void drain();
    static constexpr std::size_t kDrainLimit = 1024;
    // The cache's own connection: readable when announcements wait there, and broken when it has gone.
    int fileDescriptor() const;
    bool isBroken() const;
    // Any thread: this program changed a window (a property, or a request to the window manager); the
    // next lookup makes its own round trip.
    void written();
    // Main thread: stops listening to the window's property changes, and keeps nothing read of it, until
    // listen(); its structure is still followed. For a client that changes them without pause.
    void quiet(xcb_window_t window);
    void listen(xcb_window_t window);
    // A count of the changes announced (and of this program's writes): what was built from the cache's
    // answers while it stood still still holds. settle() first takes in the announcements as a lookup does.
    std::uint64_t settle();
    std::uint64_t changes();
    // Whether every one of the windows is known to exist with those parts kept.
    bool holds(const std::vector<xcb_window_t>& windows, unsigned parts);

  private:
    X11PropertyCache(const X11Connection& connection, xcb_connection_t* own);
    // Every announcement already read off the connection (after a round trip, each one the server made
    // before it answered), then at most `fromSocket` more: a client that changes a window without pause
    // cannot keep a reader here.
    void takeInLocked(std::size_t fromSocket = kDrainLimit);
    // One round trip, unless one was sent within kFreshFor and `always` is false.
    void syncLocked(bool always);
    void handleLocked(const xcb_generic_event_t& event);
    // Learns and watches the ancestors of those windows whose ancestors are not known, when their place is
    // asked or they were never read; whether it asked the server.
    bool chainLocked(const std::vector<xcb_window_t>& windows, bool placeAsked);
    // Forgets where `window` is, and where every window beneath it is; with `unchain`, also their
    // ancestors, which have changed.
    void forgetPlaceLocked(xcb_window_t window, bool unchain);

    struct Entry {
        unsigned known = 0; // parts held in `values`
        bool seen = false;  // a read found the window existing
        ClientWindow values;
        std::uint64_t generation = 1;
        bool chained = false;            // its ancestors up to the root are known and watched
        std::vector<xcb_window_t> chain; // those ancestors, nearest first, the root left out
        bool quiet = false;              // its property changes are not listened to
    };
    void unchainLocked(xcb_window_t window, Entry& entry);

    const X11Connection& connection_;
    xcb_connection_t* own_;
    std::mutex mutex_;
    std::unordered_map<xcb_window_t, Entry> entries_;
    // Each watched ancestor, with the windows beneath it.
    std::unordered_map<xcb_window_t, std::vector<xcb_window_t>> beneath_;
    bool rootWatched_ = false;
    std::optional<DesktopState> desktop_;
    std::uint64_t changes_ = 0;
    std::uint64_t rootGeneration_ = 0;
    // When the last round trip taken in was sent; lookups within kFreshFor of it need none of their own.
    std::optional<std::chrono::steady_clock::time_point> syncedAt_;
};

} // namespace korvane::x11
