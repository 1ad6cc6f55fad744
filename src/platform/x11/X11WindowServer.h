// The window list of the real desktop: the managed clients, front to back, with their frames in the
// top-left global space.
#pragma once

#include "platform/WindowServer.h"

namespace korvane::x11 {

class X11Connection;

// Layers: 0 for application windows, higher ones for what floats above them.
inline constexpr int kFloatingLayer = 3;
inline constexpr int kDockLayer = 20;
inline constexpr int kNotificationLayer = 23;
inline constexpr int kDesktopLayer = 1;

class X11WindowServer final : public platform::WindowServer {
  public:
    explicit X11WindowServer(X11Connection& connection) : connection_(connection) {}

    std::optional<std::vector<platform::WindowInfo>> copyWindowInfo(unsigned options,
                                                                    std::uint32_t relativeTo = 0) override;

  private:
    X11Connection& connection_;
};

} // namespace korvane::x11
