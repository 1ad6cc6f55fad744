// The zone hot keys: cycling, focusing the neighbouring zone, and adopting a window by its position.
#include "input/HotkeyActions.h"

#include "app/DisplayLayouts.h"
#include "app/DisplayRecords.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Format.h"

#include <utility>

namespace korvane {

HotkeyActions::HotkeyActions(Dependencies dependencies) : deps_(std::move(dependencies)) {}

std::optional<int> HotkeyActions::adoptWindowByGeometry(const platform::AXElement& window, WMState& state,
                                                        const std::string& displayUUID) {
    // A window of this program stands over the zones without ever being one of their windows.
    if (isOwnWindow(deps_.ax->platform(), window)) return std::nullopt;
    const auto wid = deps_.ax->windowID(window);
    if (wid)
        if (auto it = state.zoneOf.find(*wid); it != state.zoneOf.end()) return it->second;
    // Frames read through the accessibility wrapper are bottom-left already, like the zones.
    const auto frame = deps_.ax->frame(window);
    if (!frame) return std::nullopt;
    const Point centre{frame->midX(), frame->midY()};
    std::optional<int> zone;
    for (const auto& [id, z] : state.layout.zones)
        if (z.frame.contains(centre)) {
            zone = id;
            break;
        }
    if (!zone) return std::nullopt;
    if (wid) {
        auto held = deps_.multiState->states.find(displayUUID);
        WMState& target = held != deps_.multiState->states.end() && held->second ? *held->second : state;
        target.zoneOf[*wid] = *zone;
    }
    Log::app.info("Geometric zone fallback: adopted window into zone %ld", *zone);
    return zone;
}

void HotkeyActions::handleCycleInZoneHotkey(int direction) {
    auto interval = Log::signposts.beginInterval("HotkeyCycleInZone");
    deps_.displayLayouts->updateLastUsedRegionFromFocus();

    std::string displayUUID;
    int zone = 1;
    std::optional<int> focusedZone;
    const auto focused = deps_.displayRecords->focusedWindow();
    // A window of this program in front (Preferences, an overlay) is in no zone: the keys go on to the
    // windows beneath it, as where no window has the focus.
    const bool own = focused && isOwnWindow(deps_.ax->platform(), focused->element);
    if (focused && !own) {
        displayUUID = focused->displayUUID;
        auto it = deps_.multiState->states.find(displayUUID);
        if (it != deps_.multiState->states.end() && it->second)
            focusedZone = adoptWindowByGeometry(focused->element, *it->second, displayUUID);
        if (!focusedZone) {
            Log::app.info("Cycle: focused window not assigned to any zone; abort");
            if (showToast) showToast("Window not in any zone", displayUUID, kToastDuration);
            return;
        }
        deps_.displayLayouts->ensureDisplayLayoutSynced(displayUUID);
        zone = *focusedZone;
    } else {
        displayUUID = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
        if (own)
            Log::app.info("Cycle: the focused window is Korvane's own; falling back to activeDisplay=%s",
                          displayUUID);
        else
            Log::app.error("Cycle: No focused window found; falling back to activeDisplay=%s", displayUUID);
        deps_.displayLayouts->ensureDisplayLayoutSynced(displayUUID);
        const auto& lastUsed = deps_.displayLayouts->lastUsedRegionByDisplay();
        if (auto it = lastUsed.find(displayUUID); it != lastUsed.end()) zone = it->second;
    }
    Log::app.info(
        "Cycle region %ld direction=%ld on %s (focusedZone=%s)", zone, direction, displayUUID,
        platform::describeOptional(focusedZone ? std::optional<std::int64_t>(*focusedZone) : std::nullopt));
    deps_.controller->cycle(zone, displayUUID, direction);
}

void HotkeyActions::handleFocusAdjacentRegionHotkey(int direction) {
    auto interval = Log::signposts.beginInterval("HotkeyFocusAdjacentRegion");
    const std::string displayUUID = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
    Log::app.info("Focus adjacent region dir=%ld on %s", direction, displayUUID);
    deps_.controller->focusAdjacentZone(direction, displayUUID);
}

} // namespace korvane
