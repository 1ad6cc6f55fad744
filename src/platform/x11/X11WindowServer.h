// The window list of the real desktop: the managed clients, front to back, with their frames in the
// top-left global space.
#pragma once

#include "platform/WindowServer.h"

namespace korvane::x11 {

class X11Accessibility;
class X11ClientSnapshot;
class X11Connection;
class X11Screens;

// Layers: 0 for application windows, higher ones for what floats above them.
inline constexpr int kFloatingLayer = 3;
inline constexpr int kDockLayer = 20;
inline constexpr int kNotificationLayer = 23;
inline constexpr int kDesktopLayer = 1;

class X11WindowServer final : public platform::WindowServer {
  public:
    // The accessibility model is asked to apply the sizes it holds back before frames are listed; the
    // clients are read through the turn's snapshot.
    X11WindowServer(X11ClientSnapshot& snapshot, X11Screens& screens, X11Accessibility& accessibility)
        : snapshot_(snapshot), screens_(screens), accessibility_(accessibility) {}

    std::optional<std::vector<platform::WindowInfo>> copyWindowInfo(unsigned options,
                                                                    std::uint32_t relativeTo = 0) override;
    // An X server lets every client read every window's title: there is nothing to grant.
    bool preflightScreenCaptureAccess() override { return true; }

  private:
    X11ClientSnapshot& snapshot_;
    X11Screens& screens_;
    X11Accessibility& accessibility_;
};

} // namespace korvane::x11
