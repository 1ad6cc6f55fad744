// What the zone hot keys do: cycle the stack of the focused window's zone and move the focus to the
// neighbouring zone, finding the zone of a window that no zone knows yet by where it stands.
#pragma once

#include "platform/Accessibility.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class AXUtil;
class DisplayLayouts;
class DisplayRecords;
class MultiDisplayState;
class WMController;
class WMState;

// Main thread only; the handlers run inside the key's delivery. Keeps no state of its own.
class HotkeyActions {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<WMController> controller;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<DisplayRecords> displayRecords;
        std::shared_ptr<DisplayLayouts> displayLayouts;
    };

    explicit HotkeyActions(Dependencies dependencies);

    // A short notice on a display, set by the application.
    std::function<void(const std::string& message, const std::string& displayUUID, double duration)>
        showToast;

    // Cycles the stack of the focused window's zone (forward for +1, backward for -1); without a focused
    // window, the active display's last used zone (zone 1 when it has none). A focused window in no zone
    // gets the notice "Window not in any zone" and nothing cycles.
    void handleCycleInZoneHotkey(int direction);
    // Focuses the zone before (-1) or after (+1) the focused window's zone on the active display.
    void handleFocusAdjacentRegionHotkey(int direction);

    // The zone the window is mapped to in `state`; else the first zone, in id order, whose frame holds the
    // centre of the window's frame, which then becomes the window's mapping (its zone's stack is left
    // alone). Nothing when neither finds one.
    std::optional<int> adoptWindowByGeometry(const platform::AXElement& window, WMState& state,
                                             const std::string& displayUUID);

    static constexpr double kToastDuration = 0.9;

  private:
    Dependencies deps_;
};

} // namespace korvane
