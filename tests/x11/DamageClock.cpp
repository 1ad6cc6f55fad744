// The damage clock: damage objects in raw-rectangle mode, so that every drawing request the server carries
// out in a watched window is one report, timed on arrival by a thread that does nothing else.
#include "DamageClock.h"

#include <xcb/damage.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korvane::x11::test {

namespace {

// The words of the client messages the clock sends its own window: one ends the reading thread, the other
// marks the end of a creation's reports of what the windows held before.
constexpr std::uint32_t kQuit = 0x6b727671;
constexpr std::uint32_t kArmed = 0x6b726172;

} // namespace

DamageClock::DamageClock(const std::string& display) {
    conn_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(conn_)) {
        xcb_disconnect(conn_);
        throw std::runtime_error("the damage clock cannot reach display " + display);
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(conn_, &xcb_damage_id);
    xcb_damage_query_version_reply_t* version =
        extension && extension->present
            ? xcb_damage_query_version_reply(conn_, xcb_damage_query_version(conn_, 1, 1), nullptr)
            : nullptr;
    if (!version) {
        xcb_disconnect(conn_);
        throw std::runtime_error("display " + display + " has no DAMAGE extension");
    }
    std::free(version);
    firstEvent_ = extension->first_event;
    // A window of the clock's own, never mapped, only to receive the message that ends the reader.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    wake_ = xcb_generate_id(conn_);
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, wake_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    sync();
    reader_ = std::thread([this] { read(); });
}

DamageClock::~DamageClock() {
    stop();
    tell(kQuit, 0);
    xcb_flush(conn_);
    reader_.join();
    xcb_disconnect(conn_);
}

void DamageClock::tell(std::uint32_t word, std::uint32_t value) {
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = wake_;
    message.type = XCB_ATOM_NONE;
    message.data.data32[0] = word;
    message.data.data32[1] = value;
    // With no event mask the server hands the message to the window's creator: this connection.
    xcb_send_event(conn_, 0, wake_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
}

void DamageClock::watch(const std::vector<xcb_window_t>& windows) {
    {
        std::lock_guard lock(mutex_);
        // stop() has destroyed them already.
        if (watching_)
            for (const auto& [damage, w] : watched_)
                xcb_damage_destroy(conn_, damage);
        watched_.clear();
        counted_.reset();
        watching_ = true;
    }
    create(windows);
}

void DamageClock::add(xcb_window_t window) {
    create({window});
}

void DamageClock::create(const std::vector<xcb_window_t>& windows) {
    std::vector<std::uint32_t> damages;
    std::uint32_t creation = 0;
    {
        std::lock_guard lock(mutex_);
        creation = ++creations_;
        // Known before the server makes them, so that no report of theirs finds them missing.
        for (const xcb_window_t window : windows) {
            const std::uint32_t damage = xcb_generate_id(conn_);
            watched_[damage].window = window;
            watched_[damage].creation = creation;
            damages.push_back(damage);
        }
    }
    // The server reports the whole of a window shown at the time as damaged as it makes the damage
    // object: what the window held, not drawing. Those reports come before the message that follows.
    for (std::size_t i = 0; i < windows.size(); ++i)
        xcb_damage_create(conn_, damages[i], windows[i], XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    tell(kArmed, creation);
    // Once this is answered the server watches every window.
    sync();
}

bool DamageClock::count(const std::vector<xcb_window_t>& windows) {
    std::lock_guard lock(mutex_);
    counted_ = windows;
    return std::all_of(windows.begin(), windows.end(), [&](xcb_window_t window) {
        return std::any_of(watched_.begin(), watched_.end(),
                           [&](const auto& entry) { return entry.second.window == window; });
    });
}

void DamageClock::stop() {
    std::lock_guard lock(mutex_);
    if (!watching_) return;
    watching_ = false;
    for (const auto& [damage, w] : watched_)
        xcb_damage_destroy(conn_, damage);
    xcb_flush(conn_);
}

std::optional<DamageClock::Frame> DamageClock::settled(Clock::duration settle) const {
    std::lock_guard lock(mutex_);
    auto frame = frameLocked();
    if (!frame || Clock::now() - frame->complete < settle) return std::nullopt;
    return frame;
}

std::optional<DamageClock::Frame> DamageClock::sofar() const {
    std::lock_guard lock(mutex_);
    return frameLocked();
}

std::optional<DamageClock::Frame> DamageClock::before(Clock::time_point until) const {
    std::lock_guard lock(mutex_);
    return frameLocked(until);
}

std::optional<DamageClock::Frame> DamageClock::frameLocked(Clock::time_point until) const {
    Frame frame;
    std::vector<Clock::time_point> times;
    std::size_t cells = 0, drawn = 0, windows = 0;
    for (const auto& [damage, w] : watched_) {
        if (counted_ && std::find(counted_->begin(), counted_->end(), w.window) == counted_->end()) continue;
        ++windows;
        // Reports come in the order of their arrival.
        const auto end = std::lower_bound(w.reports.begin(), w.reports.end(), until);
        if (end == w.reports.begin()) return std::nullopt;
        frame.firstPixels = std::max(frame.firstPixels, w.reports.front());
        times.insert(times.end(), w.reports.begin(), end);
        cells += w.drawn.size();
        drawn += static_cast<std::size_t>(std::count(w.drawn.begin(), w.drawn.end(), true));
    }
    if (windows == 0) return std::nullopt;
    std::sort(times.begin(), times.end());
    frame.complete = times.back();
    frame.reports = static_cast<int>(times.size());
    for (std::size_t i = 1; i < times.size(); ++i)
        frame.longestGap = std::max(frame.longestGap, times[i] - times[i - 1]);
    frame.covered = cells ? static_cast<double>(drawn) / static_cast<double>(cells) : 0;
    return frame;
}

void DamageClock::read() {
    while (xcb_generic_event_t* event = xcb_wait_for_event(conn_)) {
        // Taken before anything else, the lock included: the instant the report came.
        const auto now = Clock::now();
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto& data = reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32;
            if (data[0] == kQuit) {
                std::free(event);
                return;
            }
            if (data[0] == kArmed) {
                std::lock_guard lock(mutex_);
                for (auto& [damage, w] : watched_)
                    if (w.creation <= data[1]) w.armed = true;
            }
        }
        if (type == firstEvent_ + XCB_DAMAGE_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            std::lock_guard lock(mutex_);
            const auto found = watched_.find(notify->damage);
            if (watching_ && found != watched_.end() && found->second.armed) {
                Watched& w = found->second;
                if (w.reports.empty()) {
                    w.columns = (notify->geometry.width + kCell - 1) / kCell;
                    w.rows = (notify->geometry.height + kCell - 1) / kCell;
                    w.drawn.assign(static_cast<std::size_t>(w.columns) * static_cast<std::size_t>(w.rows),
                                   false);
                }
                w.reports.push_back(now);
                // The area is in the window's own coordinates, clipped to it by the server.
                const int left = std::clamp(notify->area.x / kCell, 0, w.columns);
                const int top = std::clamp(notify->area.y / kCell, 0, w.rows);
                const int right =
                    std::clamp((notify->area.x + notify->area.width + kCell - 1) / kCell, 0, w.columns);
                const int bottom =
                    std::clamp((notify->area.y + notify->area.height + kCell - 1) / kCell, 0, w.rows);
                for (int row = top; row < bottom; ++row)
                    for (int column = left; column < right; ++column)
                        w.drawn[static_cast<std::size_t>(row * w.columns + column)] = true;
            }
        }
        // Errors (a window gone before its damage object was made) and anything else are not timings.
        std::free(event);
    }
}

void DamageClock::sync() {
    std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

} // namespace korvane::x11::test
