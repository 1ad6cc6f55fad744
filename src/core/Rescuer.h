// Parked windows: the frame that parks a window just off the left of a display, the test that recognises
// one, and the launch pass that brings every parked window back onto the main display.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "platform/WindowServer.h"

#include <memory>
#include <vector>

namespace korvane {

class AXUtil;

// The parking frame of a window r against a visible frame v (both bottom-left global): same size (a
// side that is not a finite number becomes 1 point), same height on the screen pulled inside v, and to
// the left of v with its rightmost point just inside. Made integral.
Rect fittedIntegralRect(const Rect& r, const Rect& v);

// Where a window r on the screen of visible frame v is parked among all the screens: the parking frame
// against v, except that when other screens lie left of v across the height it keeps there, it goes off
// the left-most of them, the desktop's outer edge, so that no screen shows more than its one point.
Rect parkingFrame(const Rect& r, const Rect& v, const std::vector<platform::ScreenInfo>& screens);

// Whether a frame (bottom-left global) counts as parked: far off every screen, or just off the left of a
// screen's visible frame (its right edge within 2 points of one point inside, its left edge more than 10
// points out) while no more than a sliver of it shows on any screen. Pure apart from reading the
// screens; any thread.
bool isParkedOffscreen(const Rect& frame, const std::vector<platform::ScreenInfo>& screens);
// The same against the screens of the platform in use.
bool isParkedOffscreen(const Rect& frame);

// Whether the window carries the mark the program puts on the windows it parks: such a window counts as
// parked wherever the window manager let it stay, for window managers keep part of every window on
// screen. Read from a window-list entry, or from the window's element (false when it cannot be read).
bool carriesParkingMark(const platform::WindowInfo& entry);
bool carriesParkingMark(platform::Accessibility& accessibility, const platform::AXElement& window);
// Whether a window-list entry is a parked window, by its mark or where it lies: `frame` is the entry's
// bounds in screen coordinates (bottom-left origin).
bool isParkedWindow(const platform::WindowInfo& entry, const Rect& frame,
                    const std::vector<platform::ScreenInfo>& screens);

class Rescuer {
  public:
    explicit Rescuer(std::shared_ptr<AXUtil> axu);

    // Moves every parked application window, on screen or off it (on another desktop, minimised), onto a
    // 200 by 200 square near the top-left corner of the main display's visible frame. Safe on a background
    // queue: it keeps no state and never touches the zone state.
    void rescueParkedWindows();

    // The launch pass: one rescue on a background queue, without waiting for it; the Rescuer is released
    // on the main thread afterwards.
    static void rescueInBackground(std::shared_ptr<AXUtil> axu);

    std::shared_ptr<AXUtil> axu;
};

} // namespace korvane
