// What the push hot keys do: move the focused window of another application into the zone with a given
// number, into the previous or next zone of its display (in the order of the zone ids, wrapping round),
// or into zone 1 of the previous or next display (in the order of the display UUIDs, wrapping round).
// Every move is a placement transaction; after it the status-bar menu is asked to refresh.
#pragma once

#include "core/WinRef.h"
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
class StatusBarEventBus;
class TransactionalPush;
class WMState;

namespace platform {
class Platform;
}

// Main thread only; each handler runs to its end before the next key is handled. Logs under "hotkey".
// Keeps no state of its own: it reads the zone states, the focused window and the connected displays
// afresh at every key.
class HotkeyPushActions {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<DisplayRecords> displayRecords;
        std::shared_ptr<DisplayLayouts> displayLayouts;
        std::shared_ptr<TransactionalPush> transactionalPush;
        std::shared_ptr<StatusBarEventBus> statusBarEventBus;
    };

    HotkeyPushActions(platform::Platform& platform, Dependencies dependencies);

    // Set by the application: a short notice on the display's screen (else the main screen).
    std::function<void(const std::string& message, const std::string& displayUUID, double duration)>
        showToast;

    // Into zone `zone` of the focused window's display, whatever zone the window is in now.
    void handlePushRegionHotkey(int zone);
    // Into the zone with the next lower (higher) id of 1 and above on the window's display; from the lowest
    // (highest) to the highest (lowest). A window no zone knows is placed by its position first.
    void handlePushLeftHotkey();
    void handlePushRightHotkey();
    // Into zone 1 of the display before (-1) or after (+1) the window's in ascending UUID order.
    void handlePushDisplayHotkey(int direction);

    // The zone the window is in on the display: its recorded zone, else the first zone (in id order)
    // whose frame holds the middle of the window's frame, which is then recorded for the window in the
    // display's `zoneOf` (only there: the zone's stack is left alone). Nothing when neither is found.
    std::optional<int> adoptWindowByGeometry(const platform::AXElement& window, const WMState& state,
                                             const std::string& displayUUID);

    static constexpr double kPushTimeToLive = 2.5; // seconds a push's claim on the zone lives
    static constexpr double kToastDuration = 0.9;  // seconds

  private:
    void pushSideways(int step);
    void push(const platform::AXElement& window, int zone, const std::string& displayUUID,
              const std::string& context);
    void publishRefresh(const std::string& source);
    void toast(const std::string& message, const std::string& displayUUID);

    platform::Platform& platform_;
    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<AXUtil> ax;
    std::shared_ptr<DisplayRecords> displayRecords;
    std::shared_ptr<DisplayLayouts> displayLayouts;
    std::shared_ptr<TransactionalPush> transactionalPush;
    std::shared_ptr<StatusBarEventBus> statusBarEventBus;
};

} // namespace korvane
