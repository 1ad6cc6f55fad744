// What the mouse gestures ask of the desktop at a point: the zone under it and the window under it. Zone
// frames are bottom-left global coordinates and window-list bounds top-left; every comparison here is
// made in one space after the shared flip, so a display above the primary or a vertical split cannot
// turn an upper zone into a lower one.
#pragma once

#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane {

class MultiDisplayState;
class WMState;

namespace platform {
class Platform;
class Screens;
} // namespace platform

struct ZoneAtPoint {
    std::string displayUUID;
    int zoneID = 0;
    Rect frame; // bottom-left global
};

// The first screen (in screen order) whose frame holds the bottom-left point, its display's state, and
// the first zone of that layout (in id order) holding the point; nothing when any step finds nothing.
std::optional<ZoneAtPoint> zoneAtPoint(platform::Screens& screens, const MultiDisplayState& multiState,
                                       Point bottomLeft);
// The first zone of the state's layout whose frame holds the bottom-left point.
std::optional<int> zoneContaining(const WMState& state, Point bottomLeft);

struct WindowAtPoint {
    WindowID windowID = 0; // 0 when the entry has no number
    pid_t pid = 0;
    Rect bounds; // top-left global
};
// Which window at a point counts.
enum class WindowHit {
    // The window the pointer is on, the frontmost on-screen window whose bounds hold the point, when it
    // is an application window (layer 0) of another process with a pid; else none. A press on a panel,
    // a utility or splash window, or one of this program's own windows, never reaches the window hidden
    // beneath it.
    pressed,
    // Front to back, the first on-screen window of another process whose bounds hold the point, on any
    // layer: the program's own windows in front of it (a highlight still going) are looked through.
    otherProcess,
};
// Nothing when no window counts or the window server does not answer (then `listUnavailable` is set).
std::optional<WindowAtPoint> windowAtPoint(platform::Platform& platform, Point topLeft, WindowHit hit,
                                           bool& listUnavailable);

// The window-list bounds of an entry; nothing unless all four numbers are present.
std::optional<Rect> boundsOf(const platform::WindowInfo& entry);

// Whether an accessibility position (top-left global) lies within 5 points of the bounds' top-left
// corner on each axis: the test that tells which of an application's windows a list entry is.
bool positionMatches(Point axPosition, const Rect& bounds);

} // namespace korvane
