// Pictures of the root window through shared memory: the server writes the pixels straight into a
// segment both sides map, instead of streaming them through the socket.
#pragma once

#include "platform/Screens.h"

#include <xcb/shm.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace korvane::x11 {

class X11Connection;

// Pictures are taken in bands of rows through a small segment made for each capture and let go after
// it: the server fills one band while the last is read. Fresh memory costs both processes a page fault
// per page, which for two monitors' pictures costs more than taking them; a segment as large as the
// pictures kept between captures would hold that much in both processes for as long as the program
// runs. Any thread; a capture holds the capture's own lock until read, and the connection's while it
// talks to the server.
class X11ScreenCapture {
  public:
    explicit X11ScreenCapture(const X11Connection& connection) : connection_(connection) {}
    ~X11ScreenCapture();
    X11ScreenCapture(const X11ScreenCapture&) = delete;
    X11ScreenCapture& operator=(const X11ScreenCapture&) = delete;

    struct Area {
        int x = 0, y = 0, width = 0, height = 0; // root coordinates
    };
    // Nothing when the server cannot share memory with this process (a remote display, or the extension
    // switched off), when the root's pixels are not 32-bit 8-8-8 true colour, or when an area leaves the
    // root: the caller then falls back to its own way. The areas are taken one band after another and
    // shown to `read` band by band with their index; the bands the segment holds when the last is taken
    // are shown after `taken`; false, and none shown, when any area is unfit; false, and none shown from
    // there on, when the server did not take a band. `taken`, when given, runs once every band was taken,
    // without the connection's lock: the caller may map windows over the areas then.
    bool capture(const std::vector<Area>& areas, const std::function<void()>& taken,
                 const std::function<void(std::size_t, const platform::ScreenPictureView&)>& read);

  private:
    // A band of rows as large as fits in this, and two in flight: the server fills one while the other
    // is read.
    static constexpr std::size_t kBandBytes = std::size_t(1) << 20;
    static constexpr std::size_t kBandsInFlight = 2;

    bool makeSegment(std::size_t bytes);
    void releaseSegment();

    const X11Connection& connection_;
    std::mutex mutex_; // the segment, from the request for a picture to its reading
    bool unavailable_ = false;
    xcb_shm_seg_t segment_ = 0;
    void* mapped_ = nullptr;
};

} // namespace korvane::x11
