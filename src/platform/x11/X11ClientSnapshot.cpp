// A read of the whole desktop costs a request per part and client; the readers of one turn share one.
#include "platform/x11/X11ClientSnapshot.h"

#include "platform/RunLoop.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11PropertyCache.h"

namespace korvane::x11 {

const ClientWindow* ClientSnapshot::find(xcb_window_t window) const {
    const auto it = index_.find(window);
    return it == index_.end() ? nullptr : &clients[it->second];
}

X11ClientSnapshot::X11ClientSnapshot(X11Connection& connection, platform::RunLoop& loop)
    : connection_(connection), loop_(loop) {
    connection_.addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });
    connection_.addWriteHandler([this] {
        const bool main = loop_.isMainThread();
        std::lock_guard lock(mutex_);
        kept_.reset();
        standing_.reset();
        if (!main) return;
        heldOff_ = true;
        postEndOfTurn();
    });
}

namespace {

// The events that tell of a change of what a snapshot holds.
bool reportsChange(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7F) {
    case XCB_PROPERTY_NOTIFY:
    case XCB_CONFIGURE_NOTIFY:
    case XCB_CREATE_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_REPARENT_NOTIFY:
        return true;
    default:
        return false;
    }
}

} // namespace

void X11ClientSnapshot::handleEvent(const xcb_generic_event_t& event) {
    if (!reportsChange(event)) return;
    std::lock_guard lock(mutex_);
    kept_.reset();
    standing_.reset();
}

void X11ClientSnapshot::postEndOfTurn() {
    // The caller holds mutex_. A block posted now runs once the turn that posted it is over.
    if (endPosted_) return;
    endPosted_ = true;
    loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.lock()) return;
        std::lock_guard lock(mutex_);
        kept_.reset();
        heldOff_ = false;
        endPosted_ = false;
    });
}

std::shared_ptr<const ClientSnapshot> X11ClientSnapshot::read() {
    const bool main = loop_.isMainThread();
    auto guard = connection_.lock();
    // A change the server has told of, still waiting for its turn to be handled, means a fresh read, and
    // one not kept. The event is left to its turn: handlers run between turns, never inside a reader.
    const bool changed = main && connection_.anyPending(reportsChange);
    if (main && !changed) {
        std::lock_guard lock(mutex_);
        if (kept_) return kept_;
    }
    // A read stands, on any thread, for as long as the property cache announces no change, which it first
    // takes in as a read of its own would; on the main thread also while no change waits on the connection.
    X11PropertyCache* cache = connection_.propertyCache();
    const std::uint64_t changes = cache ? cache->settle() : 0;
    if (cache && !changed) {
        std::lock_guard lock(mutex_);
        if (standing_ && standingChanges_ == changes) {
            if (main && !heldOff_) {
                kept_ = standing_;
                postEndOfTurn();
            }
            return standing_;
        }
    }
    auto snapshot = std::make_shared<ClientSnapshot>();
    snapshot->state = fetchDesktopState(connection_);
    if (!snapshot->state.ok) return nullptr;
    const std::vector<xcb_window_t> order = snapshot->state.frontToBack();
    auto fetched = fetchClients(connection_, order, kSnapshotParts);
    // A list cut short by a server going away would read as windows closed.
    if (!fetched) return nullptr;
    snapshot->clients = std::move(*fetched);
    for (std::size_t i = 0; i < snapshot->clients.size(); ++i)
        snapshot->index_.emplace(snapshot->clients[i].window, i);
    // Standing only when all of it is the cache's to vouch for, and nothing changed while it was read.
    const bool standing =
        cache && !changed && cache->holds(order, kSnapshotParts) && cache->changes() == changes;
    std::lock_guard lock(mutex_);
    if (standing) {
        standing_ = snapshot;
        standingChanges_ = changes;
    }
    ++serverReads_;
    if (changed) kept_.reset();
    if (main && !changed && !heldOff_) {
        kept_ = snapshot;
        postEndOfTurn();
    }
    return snapshot;
}

std::uint64_t X11ClientSnapshot::serverReads() const {
    std::lock_guard lock(mutex_);
    return serverReads_;
}

void X11ClientSnapshot::noteBroughtForward(pid_t pid, xcb_window_t window) {
    if (pid <= 0) return;
    std::lock_guard lock(mutex_);
    broughtForward_[pid] = window;
}

std::optional<xcb_window_t> X11ClientSnapshot::broughtForward(const ClientSnapshot& snapshot, pid_t pid) {
    std::lock_guard lock(mutex_);
    const auto noted = broughtForward_.find(pid);
    if (noted == broughtForward_.end()) return std::nullopt;
    const ClientWindow* active = snapshot.find(snapshot.state.active);
    const ClientWindow* window = snapshot.find(noted->second);
    if ((active && active->exists && active->pid == pid) || !window || !window->exists ||
        window->pid != pid) {
        broughtForward_.erase(noted);
        return std::nullopt;
    }
    return noted->second;
}

} // namespace korvane::x11
