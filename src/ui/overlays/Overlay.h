// What the program's overlay windows (toasts, the zone highlight) share: a frameless window above every
// other, on every workspace, that never takes the focus, a click or a place among the windows Korvane
// manages; and where a bottom-left global rectangle lies in the toolkit's coordinates.
#pragma once

#include "platform/Geometry.h"

#include <optional>

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

// The toolkit's global coordinates are the window server's divided by each screen's device pixel ratio
// (under a scale factor the desktop sets for screens of high density): every window of the program is
// placed and sized through the conversions below, and its margins and sizes are counted in the toolkit's
// pixels, so that it lands on the screen it belongs to at the size it is drawn for.

// The rectangle (bottom-left global, as screens and zones are given) in the toolkit's global coordinates,
// in whole pixels: its edges rounded, so that neighbouring zones stay neighbours.
QRect qtGlobalRect(platform::Screens& screens, const Rect& bottomLeft);
// The reverse: a rectangle of the toolkit's global coordinates in the bottom-left global space.
Rect platformRect(platform::Screens& screens, const QRect& qtGlobal);
// Places a top-level window at `frame` (bottom-left global) in the window server's whole pixels: through
// the toolkit at the rectangle above, and, where the toolkit's pixels do not make `frame` up exactly, on
// the server at `frame` itself once the window exists there, so that a window meant to cover a screen
// covers it to its edges and no further.
void placeOnScreen(platform::Screens& screens, QWidget& window, const Rect& frame);
// How many of the window server's pixels make one of the toolkit's on the screen holding the rectangle's
// middle (bottom-left global).
double pixelRatioAt(platform::Screens& screens, const Rect& bottomLeft);

// Where a window's frame of that size (the toolkit's pixels) stands in the middle of the main screen's
// visible frame: its top left corner in the toolkit's global coordinates, kept within that frame's top
// left where the window is the larger. Nothing while no screen is connected.
std::optional<Point> centredOnMainScreen(platform::Screens& screens, const Size& size);

// Sizes a window the user places and moves to `size` (the toolkit's pixels), or down to the main screen's
// visible frame less the window manager's frame where that is smaller (no smaller than the window's
// minimum), and centres it there: a
// screen the toolkit scales may hold fewer of its pixels than the window asks for, and the window's
// buttons must stay on it.
void openOnMainScreen(platform::Screens& screens, QWidget& window, const QSize& size);
// A frameless scroll area holding `content` at the area's width and height wherever they are not less than
// the content's least size, scrolling it where they are: what a window fitted to a small screen holds.
QWidget* scrolledWhereShort(QWidget* content);
// Gives the window `least` as its minimum size, or as much of it as the main screen's visible frame holds
// with the window manager's frame: a screen the toolkit scales may be narrower in its pixels than the
// window's content, which then scrolls inside it.
void leastSizeWithinMainScreen(platform::Screens& screens, QWidget& window, const QSize& least);
// The window manager's frame around a window (the toolkit's pixels), once it has had one; before, a title
// bar as high as the toolkit's style draws one.
QSize windowManagerFrame(const QWidget& window);
// Once the window server shows the window (looked for over two seconds), moves and sizes its frame, the
// window manager's included, inside `area` (bottom-left global) in the server's pixels where it reaches
// past it: on a screen that is no whole number of the toolkit's pixels wide or high, a window the toolkit
// fits to the screen may still reach a pixel past it, and the frame's true size is known only then.
void keepInsideOnceShown(platform::Screens& screens, QWidget& window, const Rect& area);

// Where a frame of `size` stands in the middle of `area` (both the toolkit's): its top left corner, kept
// within the area's top left where the frame is the larger.
QPoint centredIn(const QRect& area, const QSize& size);
// A frame of `size` centred across `area` (both the toolkit's), its top `top` pixels below the area's.
QRect topCentredIn(const QRect& area, const QSize& size, int top);

// The point, in whole pixels.
QPoint qtPoint(const Point& point);

// The rectangle with its corners rounded, as a window mask: where nothing blends a window with what lies
// behind it, the mask is what keeps the corners from showing as squares.
QRegion roundedRegion(const QRect& rect, double radius);

} // namespace korvane
