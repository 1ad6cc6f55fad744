// Giving displays their zones from a layout: applying a layout to a display (a fresh state with empty
// stacks and a new epoch), the first state of a display, workbench templates, the layouts of a scene
// and the start-up restore; with the per-display records that change together with them.
#include "app/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "core/SceneName.h"
#include "core/WMState.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutBuilder.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "scenes/model/WMScene.h"

#include <algorithm>

namespace korvane {

void AppDelegate::applyRegionSet(const ConfigZoneSet& set, const std::optional<std::string>& displayUUID,
                                 bool activate) {
    if (!multiState) return;
    const std::vector<std::string> connected = connectedDisplayUUIDs();
    const std::string active = resolveActiveDisplayUUID(std::nullopt);
    const std::string target = displayUUID.value_or(active);
    const bool shouldActivate = activate || target == active;

    if (std::find(connected.begin(), connected.end(), target) == connected.end()) {
        Log::app.error("applyRegionSet: invalid target display %s", target);
        return;
    }
    const auto screen = screenOfDisplay(target);
    auto zones = screen ? LayoutBuilder::normalizedRegionIDs(set, *screen) : LayoutBuilder::Zones{};
    if (zones.empty()) {
        Log::app.error("applyRegionSet: no regions in set %s", set.id);
        return;
    }

    // The windows of the previous state are in no zone now; placements opened against it must not land.
    const int zone = defaultZone(target, zones);
    multiState->states[target] = std::make_shared<WMState>(layoutOfZones(target, std::move(zones)));
    mappingTransactions.bumpEpoch(target, "applyRegionSet:" + set.id);
    lastUsedRegionByDisplay[target] = zone;

    Log::app.notice("applyRegionSet: set=%s target=%s active=%s activate=%{bool}d", set.id, target, active,
                    shouldActivate);

    if (auto persistable = sceneNameForDisplay(set.id)) {
        setActiveTemplate(target, *persistable);
        layoutSelection.lastByDisplay[target] = *persistable;
        LayoutSelectionStore::save(layoutSelection);
    } else {
        Log::sceneManager.debug("applyRegionSet: skip persisting transient layout id '%s'", set.id);
    }

    if (shouldActivate) {
        multiState->activeDisplayUUID = target;
        lastUsedRegion = lastUsedRegionByDisplay[target];
        wireControllerCallbacks();
        registerHotkeys();
        Log::app.info("Switched layout to set id=%s name=%s display=%s", set.id, set.name, target);
    } else {
        Log::app.info("Applied layout in background set id=%s display=%s", set.id, target);
    }
}

bool AppDelegate::ensureState(const std::string& displayUUID) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty() || !multiState) return false;
    if (multiState->states.count(uuid)) return true;

    const auto screen = screenOfDisplay(uuid);
    if (!screen) {
        Log::app.error("ensureState: no screen for display %s", uuid);
        return false;
    }

    const auto workbench = displayWorkbenches.workbenches.find(uuid);
    const auto selected = layoutSelection.lastByDisplay.find(uuid);
    const bool hasWorkbench = workbench != displayWorkbenches.workbenches.end();
    const bool hasSelection = selected != layoutSelection.lastByDisplay.end();
    const std::string chosenID = hasWorkbench   ? workbench->second.activeTemplateID
                                 : hasSelection ? selected->second
                                                : std::string(kBuiltinSplit5050ID);

    const ConfigZoneSet& fallback = builtinSplit5050Layout();
    ConfigZoneSet set;
    bool missing = false;
    if (auto found = regionSet(chosenID)) {
        set = std::move(*found);
    } else {
        set = fallback;
        missing = chosenID != fallback.id;
    }

    auto zones = LayoutBuilder::normalizedRegionIDs(set, *screen);
    if (!zones.empty()) {
        lastUsedRegionByDisplay[uuid] = defaultZone(uuid, zones);
        multiState->states[uuid] = std::make_shared<WMState>(layoutOfZones(uuid, std::move(zones)));
        if (missing) {
            // The layout may come back (a folder restored, a file re-saved): its name stays on record.
            Log::app.error("ensureState: missing regionSet id=%s display=%s; using fallback=%s without "
                           "overwriting persisted selection",
                           chosenID, uuid, fallback.id);
            return true;
        }
        // Recording the set's own id rewrites an older built-in id to the current one.
        setActiveTemplate(uuid, set.id);
        layoutSelection.lastByDisplay[uuid] = set.id;
        LayoutSelectionStore::save(layoutSelection);
        return true;
    }

    Log::app.error("ensureState: no regions for set=%s display=%s; fallback split5050", set.id, uuid);
    auto fallbackZones = LayoutBuilder::normalizedRegionIDs(fallback, *screen);
    lastUsedRegionByDisplay[uuid] = defaultZone(uuid, fallbackZones);
    multiState->states[uuid] = std::make_shared<WMState>(layoutOfZones(uuid, std::move(fallbackZones)));
    if (hasWorkbench || hasSelection) {
        Log::app.error("ensureState: keeping persisted selection=%s (fallback state only)", chosenID);
        return true;
    }
    setActiveTemplate(uuid, fallback.id);
    layoutSelection.lastByDisplay[uuid] = fallback.id;
    LayoutSelectionStore::save(layoutSelection);
    return true;
}

bool AppDelegate::applyTemplate(const DisplayWorkbench& recorded, const std::string& reason) {
    // A copy: the caller's may be the map entry that applying the layout rewrites.
    const DisplayWorkbench workbench = recorded;
    Log::app.info("Applying template reason=%s display=%s templateID=%s", reason, workbench.displayUUID,
                  workbench.activeTemplateID);
    auto set = regionSet(workbench.activeTemplateID);
    if (!set) {
        Log::app.error("Template %s missing (reason=%s)", workbench.activeTemplateID, reason);
        return false;
    }
    applyRegionSet(*set, workbench.displayUUID, false);
    // Recorded even when the apply stopped early or the id is transient: the workbench asked for it.
    layoutSelection.lastByDisplay[workbench.displayUUID] = set->id;
    LayoutSelectionStore::save(layoutSelection);
    return true;
}

void AppDelegate::setActiveTemplate(const std::string& displayUUID, const std::string& templateID) {
    displayWorkbenches.workbenches[displayUUID] =
        DisplayWorkbench{displayUUID, templateID, platform_.runLoop().wallClock()};
    displayWorkbenches.save();
    memoryScopes[displayUUID] = LayoutMemoryKey{displayUUID, templateID};
}

void AppDelegate::applyLayoutsFromScene(const WMScene& scene) {
    auto& screens = platform_.screens();
    const auto list = screens.screens();
    if (list.empty()) return;
    const SceneDisplayResolution resolved = scene.resolveDisplays(ScreenContext::capture(screens));

    for (const auto& screen : list) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        std::optional<std::string> rawRef;
        if (auto it = resolved.layoutRefs.find(uuid); it != resolved.layoutRefs.end()) rawRef = it->second;
        const std::optional<std::string> layoutID = sceneNameForDisplay(rawRef);
        const std::optional<ConfigZoneSet> set = layoutID ? regionSet(*layoutID) : std::nullopt;
        Log::sceneManager.debug("applyLayoutsFromScene: display='%s' rawRef=%s layoutID=%s foundSet=%{bool}d",
                                uuid, rawRef.value_or("nil"), layoutID.value_or("nil"), set.has_value());

        if (set) {
            applyRegionSet(*set, uuid, false);
            continue;
        }
        auto workbench = displayWorkbenches.workbenches.find(uuid);
        if (workbench != displayWorkbenches.workbenches.end() &&
            applyTemplate(workbench->second, "scene-restore-fallback"))
            continue;
        applyRegionSet(builtinSplit5050Layout(), uuid, false);
    }
}

bool AppDelegate::restoreLayoutsAtStartup() {
    const std::string active = resolveActiveDisplayUUID(std::nullopt);
    auto workbench = displayWorkbenches.workbenches.find(active);
    if (workbench == displayWorkbenches.workbenches.end()) {
        Log::app.info("No workbench for display %s; skipping restore", active);
        return false;
    }
    const DisplayWorkbench recorded = workbench->second;
    if (!applyTemplate(recorded, "startup-restore")) {
        Log::app.error("Template %s missing; falling back to 50:50", recorded.activeTemplateID);
        const auto focused = focusedWindow();
        applyRegionSet(builtinSplit5050Layout(), focused ? focused->displayUUID : active, false);
    }
    return true;
}

} // namespace korvane
