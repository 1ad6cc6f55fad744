// Events are hints: what they announced leads to one fresh read of each thing it concerns (the client list,
// the active window, a window's title), made once the events that wait have been handed over, and only a
// difference from what was known is reported. A client that changes its title without pause costs a read
// when it stops, and one per kLongestDeferral while it goes on, not one per change.
#include "platform/x11/X11Tracker.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Query.h"

#include <algorithm>
#include <utility>

namespace korvane::x11 {

X11Tracker::X11Tracker(X11Connection& connection, platform::RunLoop& loop)
    : connection_(connection),
      noisy_(connection, loop, [this](xcb_window_t window, bool heard) { propertiesHeard(window, heard); }) {
    refreshClients(false);
    active_ = fetchActiveWindow(connection_);
    connection_.addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });
    connection_.addBatchHandler([this](bool more) { refreshAnnounced(more); });
}

namespace {

// How long reads may wait for the batch that finds no more events waiting, while a client sends without
// pause: each read then brings in a round trip's worth of its events first.
constexpr auto kLongestDeferral = std::chrono::milliseconds(200);

} // namespace

void X11Tracker::handleEvent(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) == XCB_DESTROY_NOTIFY) {
        // Only windows this tracker followed announce their own end here.
        const auto& d = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        const auto named = [&](const TrackedWindow& t) { return t.window == d.window; };
        if (d.event != d.window || (std::none_of(windows_.begin(), windows_.end(), named) &&
                                    std::none_of(letGo_.begin(), letGo_.end(), named)))
            return;
        destroyed_.push_back(d.window);
        clientsAnnounced_ = true;
        return;
    }
    if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return;
    const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    const auto& e = connection_.ewmh();
    if (p.window == connection_.root()) {
        if (p.atom == e._NET_CLIENT_LIST) clientsAnnounced_ = true;
        if (p.atom == e._NET_ACTIVE_WINDOW) activeAnnounced_ = true;
        return;
    }
    // Only windows known now: one that joins the list in this batch is read whole with it.
    const auto known = [&](const TrackedWindow& t) { return t.window == p.window; };
    if (std::none_of(windows_.begin(), windows_.end(), known)) return;
    noisy_.changed(p.window);
    if ((p.atom == e._NET_WM_NAME || p.atom == XCB_ATOM_WM_NAME) &&
        std::find(titlesAnnounced_.begin(), titlesAnnounced_.end(), p.window) == titlesAnnounced_.end())
        titlesAnnounced_.push_back(p.window);
}

void X11Tracker::refreshAnnounced(bool more) {
    if (!clientsAnnounced_ && !activeAnnounced_ && titlesAnnounced_.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!announcedAt_) announcedAt_ = now;
    if (more && now - *announcedAt_ < kLongestDeferral) return;
    announcedAt_.reset();
    // The list first, so that a window that came with the batch is known when its title or its
    // activation is reported, and one that went is not reported retitled.
    if (std::exchange(clientsAnnounced_, false)) refreshClients(true);
    if (!titlesAnnounced_.empty()) refreshTitles(std::exchange(titlesAnnounced_, {}));
    if (std::exchange(activeAnnounced_, false)) refreshActive();
}

void X11Tracker::propertiesHeard(xcb_window_t window, bool heard) {
    // What changed while a window was not listened to: the title is all that is followed of it here.
    if (heard && find(window)) refreshTitles({window});
    for (auto* l : listeners_)
        l->propertiesHeard(window, heard);
}

void X11Tracker::follow(const std::vector<xcb_window_t>& windows) {
    auto guard = connection_.lock();
    for (auto w : windows)
        xcb_change_window_attributes(connection_.xcb(), w, XCB_CW_EVENT_MASK, &kClientEvents);
    xcb_flush(connection_.xcb());
}

void X11Tracker::refreshClients(bool report) {
    std::vector<xcb_window_t> list;
    if (auto value = connection_.readProperty(connection_.root(), connection_.ewmh()._NET_CLIENT_LIST,
                                              XCB_ATOM_WINDOW))
        list = value->words();
    // A server that went away closed no window: what was known stays as it was.
    if (connection_.isBroken()) return;

    const auto listed = [&](xcb_window_t w) { return std::find(list.begin(), list.end(), w) != list.end(); };
    const auto ended = std::exchange(destroyed_, {});
    const auto destroyed = [&](xcb_window_t w) {
        return std::find(ended.begin(), ended.end(), w) != ended.end();
    };
    std::vector<TrackedWindow> gone, departed;
    std::erase_if(windows_, [&](const TrackedWindow& t) {
        if (!destroyed(t.window) && listed(t.window)) return false;
        (destroyed(t.window) ? gone : departed).push_back(t);
        return true;
    });
    std::erase_if(letGo_, [&](const TrackedWindow& t) {
        if (destroyed(t.window)) {
            gone.push_back(t);
            return true;
        }
        if (!listed(t.window)) return false;
        windows_.push_back(t); // managed again, as it was
        return true;
    });
    const auto mapped = mappedNow(departed);
    if (connection_.isBroken()) return;
    for (std::size_t i = 0; i < departed.size(); ++i)
        (mapped[i] ? letGo_ : gone).push_back(departed[i]);

    std::vector<xcb_window_t> added;
    for (auto w : list)
        if (!find(w)) added.push_back(w);
    follow(added);
    const auto fetched = fetchClients(connection_, added, kPidPart | kTitlePart);
    if (!fetched) return;
    for (const auto& t : gone)
        noisy_.forget(t.window);
    std::vector<TrackedWindow> fresh;
    for (const auto& c : *fetched) {
        // A window that is already gone again was never there for anybody.
        if (!c.exists) continue;
        fresh.push_back(TrackedWindow{c.window, c.pid, c.title});
    }
    windows_.insert(windows_.end(), fresh.begin(), fresh.end());
    if (!report) return;
    for (const auto& t : gone)
        for (auto* l : listeners_)
            l->windowDestroyed(t);
    for (const auto& t : fresh)
        for (auto* l : listeners_)
            l->windowCreated(t);
    // Every change of the list counts, also one whose windows came and went before it was handled:
    // their processes may have come or gone with them.
    for (auto* l : listeners_)
        l->clientsChanged();
}

std::vector<bool> X11Tracker::mappedNow(const std::vector<TrackedWindow>& windows) {
    std::vector<bool> mapped(windows.size(), false);
    if (windows.empty()) return mapped;
    auto guard = connection_.lock();
    xcb_connection_t* c = connection_.xcb();
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (const auto& t : windows)
        cookies.push_back(xcb_get_window_attributes(c, t.window));
    // A window already destroyed answers an error: it is not mapped.
    for (std::size_t i = 0; i < windows.size(); ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> reply(
            xcb_get_window_attributes_reply(c, cookies[i], nullptr));
        mapped[i] = reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
    }
    return mapped;
}

void X11Tracker::refreshActive() {
    const xcb_window_t now = fetchActiveWindow(connection_);
    if (now == active_ || connection_.isBroken()) return;
    active_ = now;
    auto current = find(now);
    for (auto* l : listeners_)
        l->activeChanged(current);
}

void X11Tracker::refreshTitles(const std::vector<xcb_window_t>& windows) {
    // The latest title of each window, all in one round trip.
    const auto fetched = fetchClients(connection_, windows, kTitlePart);
    if (!fetched) return;
    for (const auto& c : *fetched) {
        auto it = std::find_if(windows_.begin(), windows_.end(),
                               [&](const TrackedWindow& t) { return t.window == c.window; });
        if (it == windows_.end() || !c.exists || c.title == it->title) continue;
        it->title = c.title;
        const TrackedWindow changed = *it;
        for (auto* l : listeners_)
            l->titleChanged(changed);
    }
}

std::optional<TrackedWindow> X11Tracker::find(xcb_window_t window) const {
    if (window == XCB_WINDOW_NONE) return std::nullopt;
    for (const auto& t : windows_)
        if (t.window == window) return t;
    return std::nullopt;
}

} // namespace korvane::x11
