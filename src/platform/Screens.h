// Connected displays, in global coordinates with the origin at the bottom left of the primary screen.
#pragma once

#include "platform/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {

struct ScreenInfo {
    Rect frame;
    Rect visibleFrame;       // the frame less docks and panels
    double backingScale = 1; // device pixels per point
    std::uint32_t displayNumber = 0;
    std::string displayUUID; // upper-case 8-4-4-4-12, stable for one physical display
    std::string localizedName;

    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// A picture of part of the desktop, or a band of whole rows of it, lent to its reader for the call: rows
// top to bottom, `width` pixels each, packed without padding; each pixel a 32-bit 0x··RRGGBB in the
// machine's byte order, its top byte whatever the window server keeps there. `top` is the band's first
// row in the area's picture, `areaHeight` the picture's height (the band's own where it is the whole
// picture). Lent rather than handed over, so that the reader converts it straight into memory of its own
// and nothing copies the whole picture in between.
struct ScreenPictureView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int top = 0;
    int areaHeight = 0;
};

// May be called from any thread. Changes are announced on the notification centre as
// `kScreenParametersDidChange`.
class Screens {
  public:
    virtual ~Screens() = default;
    virtual std::vector<ScreenInfo> screens() = 0;
    // The primary screen, whose frame has its origin at 0,0; nothing when no display is connected.
    virtual std::optional<ScreenInfo> mainScreen() = 0;
    // Where the main screen's top left corner lies in the window server's own coordinates (top left
    // origin, y down), which are the ones the program's windows are placed in: the global spaces are
    // measured from the main screen's corner, the server's from a corner of its own. Zero where the two
    // coincide or no display is connected.
    virtual Point nativeOrigin() { return {}; }
    // The pointer, in bottom-left global coordinates.
    virtual Point mouseLocation() = 0;
    // Whether a compositing manager blends windows with what lies behind them: only then does a
    // translucent window show the desktop through itself rather than black.
    virtual bool isCompositing() = 0;
    // The frame of this program's own window that has the keyboard focus (its key window), in the same
    // bottom-left global space; nothing while the focus is in another program's window or nowhere.
    virtual std::optional<Rect> keyWindowFrame() = 0;
    // Keeps one of the program's own windows on every workspace of the desktop, as an overlay that
    // follows the user from one to the next. The window is named by its native id once the window server
    // knows it and before it is first shown. Nothing where the desktop has a single workspace.
    virtual void showOnAllWorkspaces(std::uint64_t nativeWindow) { (void)nativeWindow; }
    // Keeps other windows out of `strip`, a band along the top edge of a screen that one of the program's
    // own windows stands in, as a desktop panel keeps its own band: the window manager places and
    // maximises windows clear of it, and the screen's visible frame leaves it out from the call on. Where
    // the desktop cannot keep such a band on that screen (one with another screen above it, say), the
    // visible frame leaves it out all the same, but the window manager does not keep it free. `strip` is
    // in the bottom-left global space; the window is named by its native id once the window server knows
    // it, and the reservation lasts as long as the window, or until the next call replaces it; an empty
    // strip ends it, and a call that repeats the reservation in force changes nothing. With `announce`
    // the change of the visible frames is announced as a change of the screens; without it, it is not:
    // the reservation is then made before anything follows the screens, or in answer to a change, whose
    // handling reads the screens with it. Main thread. Nothing where the desktop keeps no such bands.
    virtual void reserveTopStrip(std::uint64_t nativeWindow, const Rect& strip, bool announce) {
        (void)nativeWindow;
        (void)strip;
        (void)announce;
    }
    // Places one of the program's own windows, named by its native id, so that its frame (with the window
    // manager's decorations, if it has any) covers `frame` (bottom-left global) in the window server's
    // whole pixels, rounded inside the screen that holds it. A toolkit that scales its windows places
    // them in pixels of its own, and cannot cover a screen that is no whole number of them wide or high
    // without reaching onto the screen beside it; nor does it always agree with the server on where a
    // window is while a screen comes or goes. Main thread. Nothing where the toolkit's own placement is
    // in the server's pixels.
    virtual void placeWindow(std::uint64_t nativeWindow, const Rect& frame) {
        (void)nativeWindow;
        (void)frame;
    }
    // The frame of one of the program's own windows, with the window manager's decorations, as the
    // window server has it (bottom-left global); nothing where the server does not show it, or where the
    // toolkit's own idea of it is the server's.
    virtual std::optional<Rect> windowFrame(std::uint64_t nativeWindow) {
        (void)nativeWindow;
        return std::nullopt;
    }
    // Whether the desktop shows a system tray that the program's status icon can sit in, now; trays that
    // come and go are announced as `kSystemTrayDidChange`. False where the desktop tells of none.
    virtual bool hasSystemTray() { return false; }
    // Shows `read` what the desktop shows in `area` (bottom-left global, whole pixels) as the window
    // server composes it at the call: whole, or in bands of whole rows from the top down, one call each.
    // False, without calling `read`, where this desktop has no quick way to take it or the area leaves
    // the desktop: the caller then takes the picture its own way; false also where a band after the first
    // could not be taken, the bands after it not shown. `read` runs before the call returns and must not
    // call back into the desktop.
    virtual bool capture(const Rect& area, const std::function<void(const ScreenPictureView&)>& read) {
        (void)area;
        (void)read;
        return false;
    }
    // The pictures of several areas as capture takes each, shown to `read` with the area's index. Where the
    // window server takes them, it is asked for the next while the last is read, rather than for each once
    // the one before is read. An area that cannot be taken is not shown; whether every one was. The
    // same rules for `read` as for capture. `taken` (may be empty) runs once the window server has taken
    // every picture, when all could be taken, before the bands still lent are read: windows then mapped
    // over the areas are not in the pictures, and the window manager maps them while `read` looks at the
    // rest of the pictures. `taken` may call into the desktop; `read` may not. Where the pictures are read
    // as they are taken, `taken` runs after the last.
    virtual bool captureEachThen(const std::vector<Rect>& areas, const std::function<void()>& taken,
                                 const std::function<void(std::size_t, const ScreenPictureView&)>& read) {
        bool all = true;
        for (std::size_t i = 0; i < areas.size(); ++i)
            all =
                capture(areas[i], [&read, i](const ScreenPictureView& picture) { read(i, picture); }) && all;
        if (all && taken) taken();
        return all;
    }
};

inline constexpr const char* kScreenParametersDidChange = "platform.screenParametersDidChange";
inline constexpr const char* kSystemTrayDidChange = "platform.systemTrayDidChange";

} // namespace korvane::platform
