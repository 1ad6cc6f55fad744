// What the program's overlay windows (toasts, the zone highlight) share: a frameless window above every
// other, on every workspace, that never takes the focus, a click or a place among the windows Korvane
// manages; and where a bottom-left global rectangle lies in the toolkit's coordinates.
#pragma once

#include "platform/Geometry.h"

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QWidget>

namespace korvane {

namespace platform {
class Screens;
}

// A top-level widget with the overlay's window flags and attributes: tool, frameless, kept on top,
// refusing the focus and shown without activating, transparent for the pointer. Translucent only where
// a compositing manager blends it with what lies behind; elsewhere the caller shapes it with a mask.
class OverlayWindow : public QWidget {
  public:
    // `extraFlags` join the overlay's own before the native window is made (they cannot change after).
    OverlayWindow(platform::Screens& screens, const char* title, Qt::WindowFlags extraFlags = {});

    bool isTranslucent() const { return translucent_; }

  private:
    bool translucent_;
};

// The window-type property the X11 platform plugin reads when it creates the native window: a
// notification, which window managers keep out of task lists and the focus, and which the desktop shows
// to accessibility as a system overlay, so that Korvane never tracks, pushes or lists its own overlays.
inline constexpr const char* kXcbWindowTypeProperty = "_q_xcb_wm_window_type";
inline constexpr int kXcbNotificationType = 0x800;
// A dock, as a desktop panel is: above the windows, without the focus, and the one kind whose reserved
// strip the window manager keeps other windows out of.
inline constexpr int kXcbDockType = 0x004;

// The rectangle (bottom-left global, as screens and zones are given) in the toolkit's global
// coordinates, which are the window server's (see nativeRect), in whole pixels.
QRect qtGlobalRect(platform::Screens& screens, const Rect& bottomLeft);

// The point, in whole pixels.
QPoint qtPoint(const Point& point);

// The rectangle with its corners rounded, as a window mask: where nothing blends a window with what lies
// behind it, the mask is what keeps the corners from showing as squares.
QRegion roundedRegion(const QRect& rect, double radius);

} // namespace korvane
