// When the X server itself holds a window's pixels: the DAMAGE extension's reports of drawing into
// watched windows, read on a connection of the clock's own by a thread of its own, so that the instant a
// report arrives is taken as it arrives and not when the program's main thread has finished painting.
// The first-frame benchmarks time an opening with it from the request to the window's first pixels and to
// its complete frame.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvane::x11::test {

class DamageClock {
  public:
    using Clock = std::chrono::steady_clock;

    // What the server reported of one timing's counted windows.
    struct Frame {
        // Every counted window has had pixels drawn into it.
        Clock::time_point firstPixels;
        // The last drawing into any of them.
        Clock::time_point complete;
        int reports = 0;
        // The longest quiet spell between two reports: how close the timing came to being cut short.
        Clock::duration longestGap{};
        // The share of the windows' area drawn at least once, 0 to 1, to within a few pixels.
        double covered = 0;
    };

    // Throws std::runtime_error when the display cannot be reached or has no DAMAGE extension.
    explicit DamageClock(const std::string& display);
    ~DamageClock();
    DamageClock(const DamageClock&) = delete;
    DamageClock& operator=(const DamageClock&) = delete;

    // Starts a timing, forgetting the last one, with these windows watched. A window is watched from
    // the moment watch() or add() returns (the server has taken the request in): drawing before that,
    // and what a shown window holds then, is not seen. One round trip each call.
    void watch(const std::vector<xcb_window_t>& windows);
    void add(xcb_window_t window);
    // The windows whose drawing makes the frame (all watched ones until this is called); the others'
    // reports are left out. Whether each of them is watched.
    bool count(const std::vector<xcb_window_t>& windows);
    // Stops watching; the reports of the last timing stay readable.
    void stop();
    // The frame so far, once every counted window has been drawn into and none has been for `settle`.
    std::optional<Frame> settled(Clock::duration settle) const;
    // The frame so far, settled or not; nothing before every counted window was drawn into.
    std::optional<Frame> sofar() const;
    // The frame of the reports that came before `until` alone (an opening that draws in two steps, the
    // second started by something the program does later); nothing when a counted window had none by then.
    // Its coverage is the whole timing's.
    std::optional<Frame> before(Clock::time_point until) const;

  private:
    struct Watched {
        xcb_window_t window = XCB_WINDOW_NONE;
        // Which create() made its damage object, and whether the server's report of what the window held
        // then has gone by: reports count from then on.
        std::uint32_t creation = 0;
        bool armed = false;
        std::vector<Clock::time_point> reports;
        // The window's area in cells of kCell pixels, each marked once drawing touched it: coverage to
        // within a cell, counted without keeping every rectangle.
        int columns = 0, rows = 0;
        std::vector<bool> drawn;
    };
    static constexpr int kCell = 8;

    void create(const std::vector<xcb_window_t>& windows);
    // Sends the clock's own window a client message, which comes back to the reading thread in order
    // with the reports.
    void tell(std::uint32_t word, std::uint32_t value);
    void read();
    void sync();
    std::optional<Frame> frameLocked(Clock::time_point until = Clock::time_point::max()) const;

    xcb_connection_t* conn_ = nullptr;
    std::uint8_t firstEvent_ = 0;
    xcb_window_t wake_ = XCB_WINDOW_NONE;
    std::thread reader_;

    mutable std::mutex mutex_;
    std::map<std::uint32_t, Watched> watched_; // by damage object
    std::optional<std::vector<xcb_window_t>> counted_;
    bool watching_ = false;
    std::uint32_t creations_ = 0;
};

} // namespace korvane::x11::test
