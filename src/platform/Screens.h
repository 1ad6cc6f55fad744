// Connected displays, in global coordinates with the origin at the bottom left of the primary screen.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
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

// A picture of part of the desktop: rows top to bottom, each pixel a 32-bit 0xffRRGGBB in the machine's
// byte order, rows packed without padding. A picture taken again at the same size keeps its pixels'
// memory: fresh memory costs a page fault per page, more than the picture itself.
struct ScreenPicture {
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint32_t[]> pixels;

    // Makes room for width × height pixels, keeping the memory when the size is the same.
    void resize(int newWidth, int newHeight) {
        if (pixels && newWidth == width && newHeight == height) return;
        width = newWidth;
        height = newHeight;
        pixels.reset(new std::uint32_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
    }
};

// May be called from any thread. Changes are announced on the notification centre as
// `kScreenParametersDidChange`.
class Screens {
  public:
    virtual ~Screens() = default;
    virtual std::vector<ScreenInfo> screens() = 0;
    // The primary screen, whose frame has its origin at 0,0; nothing when no display is connected.
    virtual std::optional<ScreenInfo> mainScreen() = 0;
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
    // Puts into `picture` what the desktop shows in `area` (bottom-left global, whole pixels) as the
    // window server composes it at the call. False, with `picture` as it was, where this desktop has no
    // quick way to take it or the area leaves the desktop: the caller then takes the picture its own way.
    virtual bool capture(const Rect& area, ScreenPicture& picture) {
        (void)area;
        (void)picture;
        return false;
    }
};

inline constexpr const char* kScreenParametersDidChange = "platform.screenParametersDidChange";

} // namespace korvane::platform
