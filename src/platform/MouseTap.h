// The session's mouse and modifier events as a tap sees them: presses, releases, drags, moves, the wheel
// and changes of the held modifiers, each with the pointer's place and the flags held with it.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <functional>

namespace korvane::platform {

// The numbering is the conventional one of the event types, so stored traces and logs read alike.
enum class MouseEventType : std::uint32_t {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
    flagsChanged = 12,
    scrollWheel = 22,
    otherMouseDown = 25,
    // The desktop stopped the tap (its callback kept it waiting, or the user paused input monitoring);
    // it stays off until enabled again. Such a notice carries no location and cannot be swallowed.
    tapDisabledByTimeout = 0xFFFFFFFEu,
    tapDisabledByUserInput = 0xFFFFFFFFu,
};

struct MouseEvent {
    MouseEventType type = MouseEventType::mouseMoved;
    // Top-left global coordinates, y down, as window-list bounds are.
    Point location;
    std::uint64_t flags = 0; // kEventFlag* of HotKeys.h
    // The wheel's vertical step: positive away from the user (scrolling up), 0 for other events.
    double scrollDeltaY = 0.0;
};

// A tap on the session's mouse events. Destroying it takes it off the main run loop; its callback is
// not called afterwards. Safe to keep after the desktop is gone.
class MouseTap {
  public:
    virtual ~MouseTap() = default;
    // Starts delivery on the main run loop, in every mode; false when the desktop refuses.
    virtual bool addToMainRunLoop() = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// Answers whether the event is swallowed: withheld from the window under the pointer. What a desktop can
// withhold is its own matter (see the backend); an event it cannot withhold goes on whatever the answer.
using MouseTapCallback = std::function<bool(const MouseEvent& event)>;

} // namespace korvane::platform
