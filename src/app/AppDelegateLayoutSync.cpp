// Keeping each display's zone state in step with the layout recorded for it and with its screen, and
// changing the active display. Rebuilding zones in place keeps the windows in their stacks and the epoch
// as it was; re-applying the layout empties the stacks and raises the epoch.
#include "app/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "core/WMState.h"
#include "layouts/LayoutBuilder.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"

namespace korvane {

void AppDelegate::ensureDisplayLayoutSynced(const std::string& displayUUID) {
    if (!multiState) return;
    std::optional<std::string> expected;
    if (auto it = displayWorkbenches.workbenches.find(displayUUID);
        it != displayWorkbenches.workbenches.end())
        expected = it->second.activeTemplateID;
    std::optional<std::string> current;
    if (auto it = layoutSelection.lastByDisplay.find(displayUUID); it != layoutSelection.lastByDisplay.end())
        current = it->second;
    if (!expected) expected = current;

    std::shared_ptr<WMState> state;
    if (auto it = multiState->states.find(displayUUID); it != multiState->states.end()) state = it->second;
    if (!expected) {
        if (!state) ensureState(displayUUID);
        return;
    }

    if (state) {
        if (!validateRegionFrames(displayUUID, *state)) {
            Log::app.info("Layout frames invalid for %s; will resync to %s", displayUUID, *expected);
        } else if (current) {
            if (*current == *expected) return;
            Log::app.info("Layout mismatch for %s. CurrentID: %s, Expected: %s", displayUUID,
                          platform::describeOptional(current), *expected);
        } else {
            // Nothing names the layout the state was built from; its zone count is the best evidence.
            const auto count = expectedZoneCount(*expected, displayUUID);
            if (count && *count == static_cast<int>(state->layout.zones.size())) return;
            Log::app.info("Layout mismatch for %s. CurrentID: %s, Expected: %s", displayUUID,
                          platform::describeOptional(current), *expected);
        }
    }

    Log::app.info("ensureDisplayLayoutSynced: syncing display %s to layout %s", displayUUID, *expected);
    auto set = regionSet(*expected);
    if (!set) {
        auto workbench = displayWorkbenches.workbenches.find(displayUUID);
        if (workbench != displayWorkbenches.workbenches.end())
            applyTemplate(workbench->second, "layout-sync-" + displayUUID);
        return;
    }

    if (state && !validateRegionFrames(displayUUID, *state)) {
        const auto screen = screenOfDisplay(displayUUID);
        auto zones = screen ? LayoutBuilder::normalizedRegionIDs(*set, *screen) : LayoutBuilder::Zones{};
        if (zones.empty()) {
            applyRegionSet(*set, displayUUID, false);
            return;
        }
        state->applyLayout(layoutOfZones(displayUUID, std::move(zones)));
        Log::app.info("ensureDisplayLayoutSynced: resynced frames preserving stacks display=%s layout=%s",
                      displayUUID, *expected);
        if (current != expected) {
            layoutSelection.lastByDisplay[displayUUID] = *expected;
            LayoutSelectionStore::save(layoutSelection);
        }
        return;
    }
    applyRegionSet(*set, displayUUID, false);
}

bool AppDelegate::validateRegionFrames(const std::string& displayUUID, const WMState& state) {
    std::optional<platform::ScreenInfo> screen;
    for (const auto& candidate : platform_.screens().screens())
        if (DisplayUtil::displayUUID(candidate) == displayUUID) {
            screen = candidate;
            break;
        }
    if (!screen) return false;
    auto first = state.layout.zones.find(1);
    if (first == state.layout.zones.end()) return true;
    const Point center = first->second.frame.center();
    if (screen->visibleFrame.contains(center)) return true;
    Log::app.error("validateRegionFrames failed: Zone 1 center %s not in screen %s frame %s",
                   platform::describe(center), displayUUID, platform::describe(screen->visibleFrame));
    return false;
}

std::optional<int> AppDelegate::expectedZoneCount(const std::string& layoutID,
                                                  const std::string& displayUUID) {
    auto set = regionSet(layoutID);
    if (!set) return std::nullopt;
    const auto screen = screenOfDisplay(displayUUID);
    if (!screen) return std::nullopt;
    return static_cast<int>(LayoutBuilder::normalizedRegionIDs(*set, *screen).size());
}

bool AppDelegate::setActiveDisplay(const std::string& displayUUID, bool registerHotkeys) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty()) return false;
    if (!ensureState(uuid)) return false;

    const std::string previous = multiState->activeDisplayUUID;
    if (!previous.empty() && previous != uuid) lastUsedRegionByDisplay[previous] = lastUsedRegion;

    multiState->activeDisplayUUID = uuid;
    int zone = 1;
    if (auto it = lastUsedRegionByDisplay.find(uuid); it != lastUsedRegionByDisplay.end()) {
        zone = it->second;
    } else if (auto state = multiState->states.find(uuid);
               state != multiState->states.end() && !state->second->layout.zones.empty()) {
        zone = state->second->layout.zones.begin()->first;
    }
    lastUsedRegionByDisplay[uuid] = zone;
    lastUsedRegion = zone;

    wireControllerCallbacks();
    if (registerHotkeys) this->registerHotkeys();
    return true;
}

bool AppDelegate::reapplyActiveTemplate(const std::string& reason) {
    const std::string active = resolveActiveDisplayUUID(std::nullopt);
    auto workbench = displayWorkbenches.workbenches.find(active);
    if (workbench == displayWorkbenches.workbenches.end()) {
        Log::app.error("No workbench for display %s during %s", active, reason);
        return false;
    }
    return applyTemplate(workbench->second, reason);
}

} // namespace korvane
