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

// A segment for each capture, let go once its pictures are read: kept between captures it would hold
// the size of the areas in both processes for as long as the program runs, to spare a page fault per
// page at a capture made now and then. Any thread; a picture holds the capture's own lock until read, and the
// connection's while it talks to the server.
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
    // root: the caller then falls back to its own way. Several areas are asked for at once, each into its
    // own part of the segment, and shown to `read` with their index once the server has taken them all;
    // false, and none shown, when any area is unfit. `taken`, when given, runs between the two when every
    // area was taken, without the connection's lock: the caller may map windows over the areas then.
    bool capture(const std::vector<Area>& areas, const std::function<void()>& taken,
                 const std::function<void(std::size_t, const platform::ScreenPictureView&)>& read);

  private:
    bool makeSegment(std::size_t bytes);
    void releaseSegment();

    const X11Connection& connection_;
    std::mutex mutex_; // the segment, from the request for a picture to its reading
    bool unavailable_ = false;
    xcb_shm_seg_t segment_ = 0;
    void* mapped_ = nullptr;
};

} // namespace korvane::x11
