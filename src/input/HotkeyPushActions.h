// What the push hot keys do: move the focused window of another application into the zone with a given
// number, into the previous or next zone of its display (in the order of the zone ids, wrapping round),
// or into zone 1 of the previous or next display (in the order of the display UUIDs, wrapping round).
// Every move is a placement transaction; after it the status-bar menu is asked to refresh. A key pressed
// while one of this program's windows has the focus or holds the keyboard pushes nothing.
#pragma once

#include "app/DisplayRecords.h"
#include "platform/Accessibility.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class DisplayLayouts;
class DisplayRecords;
class HotkeyActions;
class MultiDisplayState;
class StatusBarEventBus;
class TransactionalPush;

namespace platform {
class Platform;
}

// Main thread only; each handler runs to its end before the next key is handled. Logs under "app", as the
// other hot-key actions do.
// Keeps no state of its own: it reads the zone states, the focused window and the connected displays
// afresh at every key.
class HotkeyPushActions {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<DisplayRecords> displayRecords;
        std::shared_ptr<DisplayLayouts> displayLayouts;
        // Finds the zone of a window, adopting one that no zone knows yet by where it stands.
        std::shared_ptr<HotkeyActions> zoneActions;
        std::shared_ptr<TransactionalPush> transactionalPush;
        std::shared_ptr<StatusBarEventBus> statusBarEventBus;
    };

    HotkeyPushActions(platform::Platform& platform, Dependencies dependencies);

    // Set by the application: a short notice on the display's screen (else the main screen).
    std::function<void(const std::string& message, const std::string& displayUUID, double duration)>
        showToast;
    // Set by the application: whether one of its windows holds the keyboard now (an overlay showing).
    // The keys were then typed at that window, and the window with the focus beneath it is not the one
    // the user sees in front: a push moves nothing.
    std::function<bool()> keyboardHeld;

    // Into zone `zone` of the focused window's display, whatever zone the window is in now.
    void handlePushRegionHotkey(int zone);
    // Into the zone with the next lower (higher) id of 1 and above on the window's display; from the lowest
    // (highest) to the highest (lowest). A window no zone knows is taken to be in the zone that holds the
    // middle of its frame, and recorded there first.
    void handlePushLeftHotkey();
    void handlePushRightHotkey();
    // Into zone 1 of the display before (-1) or after (+1) the window's in ascending UUID order.
    void handlePushDisplayHotkey(int direction);

    static constexpr double kPushTimeToLive = 2.5; // seconds a push's claim on the zone lives
    static constexpr double kToastDuration = 0.9;  // seconds

  private:
    // The focused window when the push named `key` may move it; else nothing, with the reason logged.
    std::optional<DisplayRecords::FocusedWindow> windowToPush(const std::string& key);
    void pushSideways(int step);
    void push(const platform::AXElement& window, int zone, const std::string& displayUUID,
              const std::string& context);
    void publishRefresh(const std::string& source);
    void toast(const std::string& message, const std::string& displayUUID);

    platform::Platform& platform_;
    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<DisplayRecords> displayRecords;
    std::shared_ptr<DisplayLayouts> displayLayouts;
    std::shared_ptr<HotkeyActions> zoneActions;
    std::shared_ptr<TransactionalPush> transactionalPush;
    std::shared_ptr<StatusBarEventBus> statusBarEventBus;
};

} // namespace korvane
