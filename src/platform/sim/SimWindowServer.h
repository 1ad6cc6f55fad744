// The simulated window server's window list: the simulated windows front to back, in top-left global
// coordinates, plus entries a test injects as they are (other owners, other layers, malformed ones).
#pragma once

#include "platform/WindowServer.h"

#include <cstddef>

namespace korvane::sim {

class SimModel;

class SimWindowServer final : public platform::WindowServer {
  public:
    explicit SimWindowServer(SimModel& model);

    // Besides the windows, the list holds what the system itself shows, none of it on layer 0: a desktop
    // picture per display at the back (a negative layer), a menu-bar strip along each display's top edge
    // and a dock along the main display's bottom edge, in front. Their owners run no application.
    // Options filter every entry, injected ones included, by the keys it carries: on-screen-only drops
    // entries whose "IsOnscreen" is false (minimised windows, windows of hidden applications, windows
    // flagged off screen); exclude-desktop-elements drops entries on a negative layer; including-window
    // returns only the entry whose "Number" is `relativeTo`, on screen or not. A window whose number has
    // not appeared yet is in no list.
    std::optional<std::vector<platform::WindowInfo>> copyWindowInfo(unsigned options,
                                                                    std::uint32_t relativeTo = 0) override;
    // Granted unless a test withdraws it; the list is the same either way.
    bool preflightScreenCaptureAccess() override;

    // Test hooks.
    // While unavailable every fetch answers nothing.
    void setAvailable(bool available);
    void setScreenCaptureGranted(bool granted);
    // Adds an entry returned verbatim, in front of (or behind) the simulated windows; returns its id.
    int addRawEntry(platform::WindowInfo entry, bool atFront = true);
    void removeRawEntry(int id);
    // Whether the system's own entries (desktop pictures, menu bars, dock) are listed; a test that needs
    // a list without them, or an empty one, turns them off.
    void setShowsSystemEntries(bool shows);
    // Fetches so far, the failed ones included.
    std::size_t windowListFetchCount() const;

    static constexpr int kDesktopLayer = -2147483623;
    static constexpr int kDockLayer = 20;
    static constexpr int kMenuBarLayer = 24;

  private:
    SimModel& model_;
};

} // namespace korvane::sim
