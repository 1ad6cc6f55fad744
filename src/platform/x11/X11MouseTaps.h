// The mouse taps of the real desktop. XInput 2 raw button, motion and key events on the root show every
// press, move and modifier change, whichever client they go to, and cannot be withheld. The one thing a
// tap can swallow is a press of the left or right button or the wheel with exactly control and option
// held (caps lock and num lock aside): those chords are grabbed on the root, synchronously, and a press
// the callback declines is replayed to the window under the pointer. Everything else is only observed.
#pragma once

#include "platform/MouseTap.h"

#include <memory>

namespace korvane::platform {
class RunLoop;
}

namespace korvane::x11 {

class X11Connection;
class X11Screens;

// Main thread only.
class X11MouseTaps {
  public:
    // Events are placed in the global top-left space through the screens (root coordinates without).
    X11MouseTaps(X11Connection& connection, platform::RunLoop& loop, X11Screens* screens);
    ~X11MouseTaps();
    X11MouseTaps(const X11MouseTaps&) = delete;
    X11MouseTaps& operator=(const X11MouseTaps&) = delete;

    // Nothing without XInput 2.1.
    std::unique_ptr<platform::MouseTap> create(platform::MouseTapCallback callback);

    struct State;

  private:
    std::shared_ptr<State> state_;
};

} // namespace korvane::x11
