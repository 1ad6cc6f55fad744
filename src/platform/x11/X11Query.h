// Reads of the server's state in as few round trips as possible: the managed clients and the active
// window, the parts of a client window a caller needs (frame, pid, class, title, type, states), and the
// RandR monitors; plus the one place that converts root coordinates into the platform's two global spaces.
#pragma once

#include "platform/Geometry.h"

#include <xcb/xcb.h>

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::x11 {

class X11Connection;

struct Monitor {
    std::string name;
    xcb_atom_t nameAtom = XCB_ATOM_NONE;
    bool primary = false;
    Rect root; // root coordinates: origin at the root's top left, y down
    std::vector<std::uint32_t> outputs;
};

// Root coordinates → the platform's global spaces, both anchored at the primary monitor: top-left
// (y down) for accessibility positions and window-list bounds, bottom-left (y up) for screens.
struct Coordinates {
    Rect primary; // the primary monitor in root coordinates

    Rect topLeft(const Rect& root) const {
        return {root.origin.x - primary.origin.x, root.origin.y - primary.origin.y, root.size.width,
                root.size.height};
    }
    Point rootFromTopLeft(Point p) const { return {p.x + primary.origin.x, p.y + primary.origin.y}; }
    Rect bottomLeft(const Rect& root) const {
        return {root.origin.x - primary.origin.x,
                primary.origin.y + primary.size.height - (root.origin.y + root.size.height), root.size.width,
                root.size.height};
    }
    Point bottomLeft(Point root) const {
        return {root.x - primary.origin.x, primary.origin.y + primary.size.height - root.y};
    }
    Rect rootFromBottomLeft(const Rect& r) const {
        return {r.origin.x + primary.origin.x,
                primary.origin.y + primary.size.height - (r.origin.y + r.size.height), r.size.width,
                r.size.height};
    }
};

struct SizeHints {
    int baseWidth = 0, baseHeight = 0;
    int widthInc = 1, heightInc = 1;
    int minWidth = 0, minHeight = 0;
    int maxWidth = INT_MAX, maxHeight = INT_MAX;

    // The client size a window manager grants when asked for `width` × `height`: whole increments
    // above the base, within the minimum and maximum.
    Size constrain(double width, double height) const;
};

// What kind of window a client is, from its type and transient-for hint.
enum class WindowKind { normal, dialog, floating, dock, desktop, notification };

// ICCCM WM_STATE values.
inline constexpr int kWithdrawnState = 0;
inline constexpr int kNormalState = 1;
inline constexpr int kIconicState = 3;

struct ClientWindow {
    xcb_window_t window = XCB_WINDOW_NONE;
    bool exists = false;
    pid_t pid = 0;
    std::string instanceName; // WM_CLASS, first part
    std::string className;    // WM_CLASS, second part
    std::optional<std::string> title;
    Rect clientRoot;                        // the client area, root coordinates
    std::array<std::uint32_t, 4> extents{}; // frame extents: left, right, top, bottom
    WindowKind kind = WindowKind::normal;
    bool above = false;
    bool below = false;
    bool hidden = false; // _NET_WM_STATE_HIDDEN: minimised, as a window manager tells task lists
    bool fullscreen = false;
    bool maximized = false; // vertically, horizontally or both
    int wmState = -1;       // -1 when the window has no WM_STATE
    bool viewable = false;
    SizeHints hints;
    std::optional<std::array<std::uint32_t, 12>> strut; // _NET_WM_STRUT_PARTIAL, or _NET_WM_STRUT widened
    std::optional<Rect> parkedAt;                       // the frame the parking mark holds, root coordinates
    bool parkedMaximized = false;                       // the mark holds that the window was maximised
    // Whether the window manager may give the window the keyboard: its WM_HINTS do not refuse input, or
    // it asks to be told (WM_TAKE_FOCUS). A clock or a pair of eyes refuses it and can only be raised.
    bool takesFocus = true;

    // The frame: the client area plus the window manager's decorations.
    Rect frameRoot() const {
        return {clientRoot.origin.x - extents[0], clientRoot.origin.y - extents[2],
                clientRoot.size.width + extents[0] + extents[1],
                clientRoot.size.height + extents[2] + extents[3]};
    }
    bool minimized() const { return wmState == kIconicState; }
    // The parking mark stands while the window keeps the frame it was set at (read with the geometry).
    bool markedParked() const { return parkedAt && *parkedAt == frameRoot(); }
};

struct DesktopState {
    bool ok = false;                       // false when the server could not answer
    std::vector<xcb_window_t> clients;     // _NET_CLIENT_LIST, in mapping order
    std::vector<xcb_window_t> stacking;    // _NET_CLIENT_LIST_STACKING, bottom to top
    xcb_window_t active = XCB_WINDOW_NONE; // _NET_ACTIVE_WINDOW

    bool isClient(xcb_window_t w) const;
    // Stacking order, front to back; clients missing from the stacking list come last.
    std::vector<xcb_window_t> frontToBack() const;
};

// The parts of a client window a fetch reads. Each part costs requests and bytes, so callers ask only
// for what they use; whether the window exists is always read, whether it is viewable with the geometry or
// on its own.
enum ClientPart : unsigned {
    kGeometryPart = 1u << 0, // clientRoot, extents
    kPidPart = 1u << 1,      // _NET_WM_PID, else the process the server saw connect (X-Resource)
    kClassPart = 1u << 2,    // instanceName, className
    kTitlePart = 1u << 3,    // at most kTitleLimit bytes
    kKindPart = 1u << 4,     // kind, above, below, hidden, fullscreen, maximized
    kWmStatePart = 1u << 5,
    kSizeHintsPart = 1u << 6,
    kStrutPart = 1u << 7,
    kParkedPart = 1u << 8,   // parkedAt
    kViewablePart = 1u << 9, // viewable (also read with kGeometryPart)
    kFocusPart = 1u << 10,   // takesFocus
    kAllParts = 0x7FFu,
};

// Titles longer than this are cut (at a character boundary): no window shows more, and a client that
// sets a huge one must not slow down every read of it.
inline constexpr std::size_t kTitleLimit = 4096;

// One client window as the accessibility model reads it: whether the window manager manages it, the
// parts asked for, and the active window when asked for.
struct ManagedWindow {
    bool ok = false; // false when the server could not answer
    bool managed = false;
    ClientWindow client;
    xcb_window_t active = XCB_WINDOW_NONE;
    std::optional<std::vector<xcb_window_t>> clients; // the client list, when it was read
};

// The active window, the keyboard's focus and the top of the stacking order.
struct StackingTop {
    bool ok = false; // false when the server could not answer
    xcb_window_t active = XCB_WINDOW_NONE;
    xcb_window_t focus = XCB_WINDOW_NONE; // the input focus: a window, or None or PointerRoot
    std::vector<xcb_window_t> top;        // the last clients of _NET_CLIENT_LIST_STACKING, bottom to top
};

// The client list, stacking and active window in one round trip.
DesktopState fetchDesktopState(const X11Connection& connection);
// The parts asked for of the given windows in one round trip (two when a pid must be asked of the
// server), in the same order. Nothing when the connection broke before every reply came in: a window
// whose reply was lost would read as gone, and a list short of it would lie.
std::optional<std::vector<ClientWindow>> fetchClients(const X11Connection& connection,
                                                      const std::vector<xcb_window_t>& windows,
                                                      unsigned parts = kAllParts);
// One window, its membership in the client list and optionally the active window, in one round trip.
// A window `listed` in the client list as last read is vouched for by its own WM_STATE instead, which
// window managers take away as they let a window go, so that the whole list need not be read.
ManagedWindow fetchManagedWindow(const X11Connection& connection, xcb_window_t window, unsigned parts,
                                 bool withActive, bool listed = false);
// The active window, the input focus and the last `count` clients of the stacking order in one round
// trip of a size
// independent of the number of clients, as long as the list has not changed length by more than
// `count` since `lengthHint` (its length in windows when last read, updated here); else the whole list
// is read once.
StackingTop fetchStackingTop(const X11Connection& connection, std::size_t count, std::uint32_t& lengthHint);
std::vector<Monitor> fetchMonitors(const X11Connection& connection);
// The primary monitor; the first one when none is marked; the root when there is none.
Rect primaryRect(const std::vector<Monitor>& monitors, const X11Connection& connection);
// The active window alone.
xcb_window_t fetchActiveWindow(const X11Connection& connection);
// The pointer in root coordinates.
std::optional<Point> fetchPointer(const X11Connection& connection);

} // namespace korvane::x11
