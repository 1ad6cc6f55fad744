// Each announcement forgets only what it concerns: a property change the parts read from that property, a
// move, resize, map or unmap of a window or of one of its ancestors where the windows beneath it are, a
// reparenting also their ancestors, a destruction the whole window. The values are read by the caller on the
// desktop's own connection; this one only listens, so watching a window here changes nothing for the window's
// client or for the desktop's own selections.
#include "platform/x11/X11PropertyCache.h"

#include "platform/x11/X11Connection.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <unordered_set>
#include <utility>

namespace korvane::x11 {

namespace {

// The parts read from a property (see request() in X11Query.cpp); none for the properties no part reads.
unsigned partsOf(xcb_atom_t atom, const X11Connection& connection) {
    const auto& e = connection.ewmh();
    const auto& a = connection.atoms();
    if (atom == e._NET_WM_PID) return kPidPart;
    if (atom == XCB_ATOM_WM_CLASS) return kClassPart;
    if (atom == e._NET_WM_NAME || atom == XCB_ATOM_WM_NAME) return kTitlePart;
    if (atom == e._NET_WM_WINDOW_TYPE || atom == XCB_ATOM_WM_TRANSIENT_FOR || atom == e._NET_WM_STATE)
        return kKindPart;
    if (atom == a.WM_STATE) return kWmStatePart;
    if (atom == XCB_ATOM_WM_NORMAL_HINTS) return kSizeHintsPart;
    if (atom == e._NET_WM_STRUT_PARTIAL || atom == e._NET_WM_STRUT) return kStrutPart;
    if (atom == a.KORVANE_PARKED) return kParkedPart;
    if (atom == XCB_ATOM_WM_HINTS || atom == e.WM_PROTOCOLS) return kFocusPart;
    if (atom == e._NET_FRAME_EXTENTS) return kGeometryPart;
    return 0;
}

// Copies the parts named from one reading of a window into another.
void copyParts(ClientWindow& to, const ClientWindow& from, unsigned parts) {
    if (parts & kPidPart) to.pid = from.pid;
    if (parts & kClassPart) {
        to.instanceName = from.instanceName;
        to.className = from.className;
    }
    if (parts & kTitlePart) to.title = from.title;
    if (parts & kKindPart) {
        to.kind = from.kind;
        to.above = from.above;
        to.below = from.below;
        to.hidden = from.hidden;
        to.fullscreen = from.fullscreen;
        to.maximized = from.maximized;
    }
    if (parts & kWmStatePart) to.wmState = from.wmState;
    if (parts & kSizeHintsPart) to.hints = from.hints;
    if (parts & kStrutPart) to.strut = from.strut;
    if (parts & kParkedPart) {
        to.parkedAt = from.parkedAt;
        to.parkedMaximized = from.parkedMaximized;
    }
    if (parts & kFocusPart) to.takesFocus = from.takesFocus;
    if (parts & kGeometryPart) {
        to.clientRoot = from.clientRoot;
        to.extents = from.extents;
    }
    if (parts & kViewablePart) to.viewable = from.viewable;
}

// Deeper than any window manager nests its frames; a chain that goes on is left unknown.
constexpr int kDeepestChain = 8;

// How long a round trip stands for the moment of a lookup, whether sent ahead or by an earlier lookup.
constexpr auto kFreshFor = std::chrono::milliseconds(20);

std::uint64_t nextGeneration() {
    static std::atomic<std::uint64_t> counter{1};
    return counter.fetch_add(1);
}

} // namespace

std::unique_ptr<X11PropertyCache> X11PropertyCache::open(const X11Connection& connection) {
    xcb_connection_t* own = xcb_connect(connection.displayName().c_str(), nullptr);
    if (!own || xcb_connection_has_error(own)) {
        if (own) xcb_disconnect(own);
        return nullptr;
    }
    std::unique_ptr<X11PropertyCache> cache(new X11PropertyCache(connection, own));
    return cache;
}

X11PropertyCache::X11PropertyCache(const X11Connection& connection, xcb_connection_t* own)
    : connection_(connection), own_(own) {}

X11PropertyCache::~X11PropertyCache() {
    xcb_disconnect(own_);
}

void X11PropertyCache::handleLocked(const xcb_generic_event_t& event) {
    // Any announcement may change what a reader built from this cache holds.
    ++changes_;
    switch (event.response_type & 0x7F) {
    case XCB_PROPERTY_NOTIFY: {
        const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (p.window == connection_.root()) {
            const auto& e = connection_.ewmh();
            if (p.atom == e._NET_CLIENT_LIST || p.atom == e._NET_CLIENT_LIST_STACKING ||
                p.atom == e._NET_ACTIVE_WINDOW) {
                desktop_.reset();
                rootGeneration_ = nextGeneration();
            }
            return;
        }
        auto it = entries_.find(p.window);
        if (it == entries_.end()) return;
        // Also for parts not known yet: a read of them may be under way, and must not be kept.
        if (const unsigned parts = partsOf(p.atom, connection_)) {
            it->second.known &= ~parts;
            it->second.generation = nextGeneration();
        }
        return;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto& d = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        // Only the window's own announcement: one of a child names the child in `window`.
        if (d.event != d.window) return;
        forgetPlaceLocked(d.window, true);
        beneath_.erase(d.window);
        if (auto it = entries_.find(d.window); it != entries_.end()) {
            unchainLocked(d.window, it->second);
            entries_.erase(it);
        }
        return;
    }
    // The structure events share their layout up to the window they name; synthetic ones (the window
    // manager's ConfigureNotify to a client it moved) may name any pair, so both are forgotten.
    case XCB_CONFIGURE_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_GRAVITY_NOTIFY:
    case XCB_REPARENT_NOTIFY: {
        const auto& s = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        const bool reparented = (event.response_type & 0x7F) == XCB_REPARENT_NOTIFY;
        forgetPlaceLocked(s.window, reparented);
        if (s.event != s.window) forgetPlaceLocked(s.event, reparented);
        return;
    }
    default:
        // Errors of watching a window already gone: nothing to forget.
        return;
    }
}

void X11PropertyCache::forgetPlaceLocked(xcb_window_t window, bool unchain) {
    auto forget = [&](xcb_window_t w) {
        auto it = entries_.find(w);
        if (it == entries_.end()) return;
        // Also when its place is not known yet: a read of it may be under way, and must not be kept.
        it->second.known &= ~kPlacedParts;
        it->second.generation = nextGeneration();
        if (unchain) unchainLocked(w, it->second);
    };
    forget(window);
    if (auto it = beneath_.find(window); it != beneath_.end()) {
        const std::vector<xcb_window_t> windows = it->second; // unchaining changes the list
        for (xcb_window_t w : windows)
            forget(w);
    }
}

void X11PropertyCache::unchainLocked(xcb_window_t window, Entry& entry) {
    for (xcb_window_t ancestor : entry.chain) {
        auto it = beneath_.find(ancestor);
        if (it == beneath_.end()) continue;
        std::erase(it->second, window);
        // Left watched: an ancestor that is no longer one announces nothing that is read.
        if (it->second.empty()) beneath_.erase(it);
    }
    entry.chain.clear();
    entry.chained = false;
}

bool X11PropertyCache::chainLocked(const std::vector<xcb_window_t>& windows, bool placeAsked) {
    struct Walk {
        xcb_window_t window; // whose ancestors are learnt
        xcb_window_t at;     // the last one known: the window itself at first
        std::vector<xcb_window_t> chain;
    };
    std::vector<Walk> walks;
    std::unordered_set<xcb_window_t> walking;
    for (xcb_window_t w : windows) {
        auto it = entries_.find(w);
        // A window never read is read whole (see fetchClients), its place included.
        if (it == entries_.end() || it->second.chained || (!placeAsked && it->second.seen) ||
            !walking.insert(w).second)
            continue;
        walks.push_back({w, w, {}});
    }
    const bool asking = !walks.empty();
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    // A level at a time, for all windows at once. Each ancestor is watched before its own parent is asked,
    // and the window itself was watched before the first question: whatever moves after an answer is
    // announced, and a reparenting announced unchains the window again when it is taken in.
    for (int depth = 0; !walks.empty() && depth < kDeepestChain; ++depth) {
        std::vector<xcb_query_tree_cookie_t> asked;
        asked.reserve(walks.size());
        for (const Walk& walk : walks)
            asked.push_back(xcb_query_tree(own_, walk.at));
        std::vector<Walk> next;
        for (std::size_t i = 0; i < walks.size(); ++i) {
            Walk& walk = walks[i];
            std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
                xcb_query_tree_reply(own_, asked[i], nullptr), &std::free);
            if (!tree) continue; // gone: its place is read, not kept
            const xcb_window_t parent = tree->parent;
            if (parent == XCB_WINDOW_NONE || parent == connection_.root()) {
                auto it = entries_.find(walk.window);
                if (it == entries_.end()) continue;
                for (xcb_window_t ancestor : walk.chain)
                    beneath_[ancestor].push_back(walk.window);
                it->second.chain = std::move(walk.chain);
                it->second.chained = true;
                // A read answered before the ancestors were watched could have missed a move of one.
                it->second.generation = nextGeneration();
                continue;
            }
            if (!beneath_.contains(parent) && !entries_.contains(parent))
                xcb_change_window_attributes(own_, parent, XCB_CW_EVENT_MASK, &mask);
            walk.chain.push_back(parent);
            walk.at = parent;
            next.push_back(std::move(walk));
        }
        walks = std::move(next);
    }
    return asking;
}

void X11PropertyCache::takeInLocked(std::size_t fromSocket) {
    while (xcb_generic_event_t* e = xcb_poll_for_queued_event(own_)) {
        handleLocked(*e);
        std::free(e);
    }
    for (std::size_t n = 0; n < fromSocket; ++n) {
        xcb_generic_event_t* e = xcb_poll_for_event(own_);
        if (!e) return;
        handleLocked(*e);
        std::free(e);
    }
}

int X11PropertyCache::fileDescriptor() const {
    return xcb_get_file_descriptor(own_);
}

bool X11PropertyCache::isBroken() const {
    return xcb_connection_has_error(own_) != 0;
}

void X11PropertyCache::quiet(xcb_window_t window) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(window);
    if (it == entries_.end() || it->second.quiet) return;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(own_, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(own_);
    it->second.quiet = true;
    it->second.known = 0;
    it->second.generation = nextGeneration();
}

void X11PropertyCache::listen(xcb_window_t window) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(window);
    if (it == entries_.end() || !it->second.quiet) return;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(own_, window, XCB_CW_EVENT_MASK, &mask);
    it->second.quiet = false;
    it->second.generation = nextGeneration();
    // What changed before the selection took effect is not announced: the next lookup's round trip
    // comes after it.
    syncedAt_.reset();
}

void X11PropertyCache::written() {
    std::lock_guard lock(mutex_);
    syncedAt_.reset();
    ++changes_;
}

std::uint64_t X11PropertyCache::settle() {
    std::lock_guard lock(mutex_);
    if (xcb_connection_has_error(own_)) return ++changes_;
    syncLocked(false);
    takeInLocked();
    return changes_;
}

std::uint64_t X11PropertyCache::changes() {
    std::lock_guard lock(mutex_);
    return changes_;
}

bool X11PropertyCache::holds(const std::vector<xcb_window_t>& windows, unsigned parts) {
    parts &= kCachedParts;
    std::lock_guard lock(mutex_);
    return std::all_of(windows.begin(), windows.end(), [&](xcb_window_t w) {
        const auto it = entries_.find(w);
        return it != entries_.end() && it->second.seen && (it->second.known & parts) == parts;
    });
}

void X11PropertyCache::syncLocked(bool always) {
    const auto now = std::chrono::steady_clock::now();
    if (!always && syncedAt_ && now - *syncedAt_ < kFreshFor) return;
    std::free(xcb_get_input_focus_reply(own_, xcb_get_input_focus(own_), nullptr));
    syncedAt_ = now;
}

std::optional<DesktopState> X11PropertyCache::lookupDesktop(std::uint64_t& generation) {
    std::lock_guard lock(mutex_);
    if (xcb_connection_has_error(own_)) return std::nullopt;
    // Watched before the round trip, as a window is.
    const bool watching = !rootWatched_;
    if (watching) {
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(own_, connection_.root(), XCB_CW_EVENT_MASK, &mask);
        rootWatched_ = true;
    }
    syncLocked(watching);
    takeInLocked();
    generation = rootGeneration_;
    return desktop_;
}

void X11PropertyCache::keepDesktop(const DesktopState& state, std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (state.ok && rootWatched_ && generation == rootGeneration_) desktop_ = state;
}

void X11PropertyCache::drain() {
    // A lookup under way takes them in itself; the main thread does not wait for its round trip.
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) takeInLocked();
}

std::vector<X11PropertyCache::Known> X11PropertyCache::lookup(const std::vector<xcb_window_t>& windows,
                                                              unsigned parts) {
    std::vector<Known> out(windows.size());
    if (windows.empty()) return out;
    std::lock_guard lock(mutex_);
    const bool standing = xcb_connection_has_error(own_) == 0;
    if (standing) {
        // Watched before the round trip, so that every change after it is announced; a read made after
        // this returns cannot miss one.
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        bool watching = false;
        for (xcb_window_t w : windows)
            if (!entries_.contains(w)) {
                entries_.emplace(w, Entry{0, false, {}, nextGeneration(), false, {}, false});
                xcb_change_window_attributes(own_, w, XCB_CW_EVENT_MASK, &mask);
                watching = true;
            }
        // Ancestors just watched need the round trip as a window does.
        if (chainLocked(windows, (parts & kPlacedParts) != 0)) watching = true;
        // A round trip sent a moment ago serves as well: a change announced after it is one made while the
        // reads it serves were under way.
        syncLocked(watching);
        takeInLocked();
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Known& k = out[i];
        k.missing = parts;
        k.values.window = windows[i];
        auto it = standing ? entries_.find(windows[i]) : entries_.end();
        if (it == entries_.end()) continue;
        const Entry& entry = it->second;
        k.generation = entry.generation;
        if (!entry.seen) continue;
        k.exists = true;
        k.missing = parts & ~(entry.known & kCachedParts);
        copyParts(k.values, entry.values, parts & entry.known);
    }
    return out;
}

void X11PropertyCache::keep(const ClientWindow& read, unsigned parts, std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(read.window);
    if (it == entries_.end() || it->second.generation != generation) return;
    Entry& entry = it->second;
    if (!read.exists) {
        entries_.erase(it);
        return;
    }
    // Nothing announces a change of it: whatever was read is stale at once.
    if (entry.quiet) return;
    parts &= kCachedParts;
    // Where a window is can change with an ancestor that is not watched.
    if (!entry.chained) parts &= ~kPlacedParts;
    // A window without an owner may still be given one: only a pid found is kept.
    if (read.pid <= 0) parts &= ~kPidPart;
    entry.seen = true;
    copyParts(entry.values, read, parts);
    entry.known |= parts;
}

} // namespace korvane::x11
