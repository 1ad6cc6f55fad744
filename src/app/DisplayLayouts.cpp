// Layouts applied to displays, displays kept in step with their layouts, and the last used zone.
#include "app/DisplayLayouts.h"

#include "app/DisplayRecords.h"
#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "app/ZoneMemberships.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/SceneName.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "scenes/model/WMScene.h"
#include "tracking/MappingTransaction.h"

#include <algorithm>

namespace korvane {

DisplayLayouts::DisplayLayouts(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)) {}

int DisplayLayouts::defaultZone(const std::string& displayUUID, const std::map<int, Zone>& zones) const {
    if (auto it = lastUsedRegionByDisplay_.find(displayUUID); it != lastUsedRegionByDisplay_.end())
        return it->second;
    if (!zones.empty()) return zones.begin()->first;
    return 1;
}

Layout DisplayLayouts::layoutOfZones(const std::string& displayUUID, std::map<int, Zone> zones) {
    Layout layout;
    layout.screenId = displayUUID;
    layout.gridSpec = GridSpec{1, std::max(1, static_cast<int>(zones.size())), 0, 0};
    layout.zones = std::move(zones);
    return layout;
}

void DisplayLayouts::saveSelection(const std::string& displayUUID, const std::string& layoutID) {
    deps_.layoutSelection->lastByDisplay[displayUUID] = layoutID;
    LayoutSelectionStore::save(*deps_.layoutSelection);
}

void DisplayLayouts::activated(bool registerHotkeys) {
    if (wireControllerCallbacks) wireControllerCallbacks();
    if (registerHotkeys && this->registerHotkeys) this->registerHotkeys();
    if (dropSwitcherSnapshot) dropSwitcherSnapshot();
}

// ---- Applying layouts ----

void DisplayLayouts::applyRegionSet(const ConfigZoneSet& set, const std::optional<std::string>& displayUUID,
                                    bool activate) {
    auto& multiState = *deps_.multiState;
    const std::vector<std::string> connected = deps_.displayRecords->connectedDisplayUUIDs();
    const std::string active = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
    const std::string target = displayUUID.value_or(active);
    const bool shouldActivate = activate || target == active;

    if (std::find(connected.begin(), connected.end(), target) == connected.end()) {
        Log::app.error("applyRegionSet: invalid target display %s", target);
        return;
    }
    const auto screen = deps_.displayRecords->screenOfDisplayOrMain(target);
    auto zones = screen ? LayoutBuilder::normalizedRegionIDs(set, *screen) : LayoutBuilder::Zones{};
    if (zones.empty()) {
        Log::app.error("applyRegionSet: no regions in set %s", set.id);
        return;
    }

    // The old zones' windows are remembered under their layout before the zones go, and written down at
    // once, so that no end of the process short of a quit loses them; the new zones take back those the
    // memory keeps for them. Placements opened against the old zones must not land.
    const int zone = defaultZone(target, zones);
    if (deps_.memberships->recordMemberships(target)) deps_.layoutMemory->persistLayoutMemory();
    multiState.states[target] = std::make_shared<WMState>(layoutOfZones(target, std::move(zones)));
    deps_.mappingTransactions->bumpEpoch(target, "applyRegionSet:" + set.id);
    lastUsedRegionByDisplay_[target] = zone;
    deps_.memberships->restoreMemberships(target, sceneNameForDisplay(set.id));

    Log::app.notice("applyRegionSet: set=%s target=%s active=%s activate=%{bool}d", set.id, target, active,
                    shouldActivate);

    if (auto persistable = sceneNameForDisplay(set.id)) {
        setActiveTemplate(target, *persistable);
        saveSelection(target, *persistable);
    } else {
        Log::sceneManager.debug("applyRegionSet: skip persisting transient layout id '%s'", set.id);
    }

    if (shouldActivate) {
        multiState.activeDisplayUUID = target;
        lastUsedRegion_ = lastUsedRegionByDisplay_[target];
        activated(true);
        Log::app.info("Switched layout to set id=%s name=%s display=%s", set.id, set.name, target);
    } else {
        Log::app.info("Applied layout in background set id=%s display=%s", set.id, target);
    }
}

bool DisplayLayouts::ensureState(const std::string& displayUUID) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    auto& multiState = *deps_.multiState;
    if (uuid.empty()) return false;
    if (multiState.states.count(uuid)) return true;

    const auto screen = deps_.displayRecords->screenOfDisplayOrMain(uuid);
    if (!screen) {
        Log::app.error("ensureState: no screen for display %s", uuid);
        return false;
    }

    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    const auto& selection = deps_.layoutSelection->lastByDisplay;
    const auto workbench = workbenches.find(uuid);
    const auto selected = selection.find(uuid);
    const bool hasWorkbench = workbench != workbenches.end();
    const bool hasSelection = selected != selection.end();
    const std::string chosenID = hasWorkbench   ? workbench->second.activeTemplateID
                                 : hasSelection ? selected->second
                                                : std::string(kBuiltinSplit5050ID);

    const ConfigZoneSet& fallback = builtinSplit5050Layout();
    ConfigZoneSet set;
    bool missing = false;
    if (auto found = deps_.layouts->regionSet(chosenID)) {
        set = std::move(*found);
    } else {
        set = fallback;
        missing = chosenID != fallback.id;
    }

    auto zones = LayoutBuilder::normalizedRegionIDs(set, *screen);
    if (!zones.empty()) {
        lastUsedRegionByDisplay_[uuid] = defaultZone(uuid, zones);
        multiState.states[uuid] = std::make_shared<WMState>(layoutOfZones(uuid, std::move(zones)));
        // A stand-in for a missing layout holds no windows of its own to remember.
        deps_.memberships->restoreMemberships(uuid, missing ? std::nullopt : std::optional(set.id));
        if (missing) {
            // The layout may come back (a folder restored, a file re-saved): its name stays on record.
            Log::app.error("ensureState: missing regionSet id=%s display=%s; using fallback=%s without "
                           "overwriting persisted selection",
                           chosenID, uuid, fallback.id);
            return true;
        }
        // Recording the set's own id rewrites an older built-in id to the current one.
        setActiveTemplate(uuid, set.id);
        saveSelection(uuid, set.id);
        return true;
    }

    Log::app.error("ensureState: no regions for set=%s display=%s; fallback split5050", set.id, uuid);
    auto fallbackZones = LayoutBuilder::normalizedRegionIDs(fallback, *screen);
    lastUsedRegionByDisplay_[uuid] = defaultZone(uuid, fallbackZones);
    multiState.states[uuid] = std::make_shared<WMState>(layoutOfZones(uuid, std::move(fallbackZones)));
    deps_.memberships->restoreMemberships(uuid, std::nullopt);
    if (hasWorkbench || hasSelection) {
        Log::app.error("ensureState: keeping persisted selection=%s (fallback state only)", chosenID);
        return true;
    }
    setActiveTemplate(uuid, fallback.id);
    saveSelection(uuid, fallback.id);
    return true;
}

bool DisplayLayouts::applyTemplate(const DisplayWorkbench& recorded, const std::string& reason) {
    // A copy: the caller's may be the map entry that applying the layout rewrites.
    const DisplayWorkbench workbench = recorded;
    Log::app.info("Applying template reason=%s display=%s templateID=%s", reason, workbench.displayUUID,
                  workbench.activeTemplateID);
    auto set = deps_.layouts->regionSet(workbench.activeTemplateID);
    if (!set) {
        Log::app.error("Template %s missing (reason=%s)", workbench.activeTemplateID, reason);
        return false;
    }
    applyRegionSet(*set, workbench.displayUUID, false);
    // Recorded even when the apply stopped early or the id is transient: the workbench asked for it.
    saveSelection(workbench.displayUUID, set->id);
    return true;
}

void DisplayLayouts::setActiveTemplate(const std::string& displayUUID, const std::string& templateID) {
    deps_.displayWorkbenches->workbenches[displayUUID] =
        DisplayWorkbench{displayUUID, templateID, platform_.runLoop().wallClock()};
    deps_.displayWorkbenches->save();
    deps_.layoutMemory->setMemoryScope(displayUUID, templateID);
}

void DisplayLayouts::applyLayoutsFromScene(const WMScene& scene) {
    auto& screens = platform_.screens();
    const auto list = screens.screens();
    if (list.empty()) return;
    const SceneDisplayResolution resolved = scene.resolveDisplays(ScreenContext::capture(screens));
    for (const auto& screen : list)
        applySceneLayout(resolved, DisplayUtil::displayUUID(screen));
}

void DisplayLayouts::applyLayoutFromScene(const WMScene& scene, const std::string& displayUUID) {
    const std::vector<std::string> connected = deps_.displayRecords->connectedDisplayUUIDs();
    if (std::find(connected.begin(), connected.end(), displayUUID) == connected.end()) return;
    applySceneLayout(scene.resolveDisplays(ScreenContext::capture(platform_.screens())), displayUUID);
}

void DisplayLayouts::applySceneLayout(const SceneDisplayResolution& resolved, const std::string& uuid) {
    std::optional<std::string> rawRef;
    if (auto it = resolved.layoutRefs.find(uuid); it != resolved.layoutRefs.end()) rawRef = it->second;
    const std::optional<std::string> layoutID = sceneNameForDisplay(rawRef);
    const std::optional<ConfigZoneSet> set = layoutID ? deps_.layouts->regionSet(*layoutID) : std::nullopt;
    Log::sceneManager.debug("applyLayoutsFromScene: display='%s' rawRef=%s layoutID=%s foundSet=%{bool}d",
                            uuid, rawRef.value_or("nil"), layoutID.value_or("nil"), set.has_value());

    if (set) {
        applyRegionSet(*set, uuid, false);
        return;
    }
    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    auto workbench = workbenches.find(uuid);
    if (workbench != workbenches.end() && applyTemplate(workbench->second, "scene-restore-fallback")) return;
    applyRegionSet(builtinSplit5050Layout(), uuid, false);
}

bool DisplayLayouts::restoreLayoutsAtStartup() {
    const std::string active = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
    // The displays got their first states before the layout ids were migrated: one whose records name a
    // layout that only now loads holds a stand-in (the launch grid, or 50:50) that the later checks take
    // for the recorded layout, since they compare records. Each gets its layout now, before the first
    // push; one that has it already keeps its zones' windows.
    for (const std::string& uuid : deps_.displayRecords->connectedDisplayUUIDs())
        if (uuid != active) applyRememberedLayout(uuid, "startup-restore");

    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    auto workbench = workbenches.find(active);
    if (workbench == workbenches.end()) {
        Log::app.info("No workbench for display %s; skipping restore", active);
        return false;
    }
    const DisplayWorkbench recorded = workbench->second;
    if (!applyTemplate(recorded, "startup-restore")) {
        Log::app.error("Template %s missing; falling back to 50:50", recorded.activeTemplateID);
        const auto focused = deps_.displayRecords->focusedWindow();
        applyRegionSet(builtinSplit5050Layout(), focused ? focused->displayUUID : active, false);
    }
    return true;
}

void DisplayLayouts::applyRememberedLayout(const std::string& displayUUID, const std::string& reason) {
    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    if (auto workbench = workbenches.find(displayUUID); workbench != workbenches.end()) {
        // A layout that is gone applies nothing: the display keeps the state it has, its record kept.
        applyTemplate(workbench->second, reason);
        return;
    }
    // Without a workbench the selection is what the display's first state was meant to come from.
    const auto& selection = deps_.layoutSelection->lastByDisplay;
    auto selected = selection.find(displayUUID);
    if (selected == selection.end()) return;
    if (auto set = deps_.layouts->regionSet(selected->second)) applyRegionSet(*set, displayUUID, false);
}

// ---- Keeping displays in step ----

void DisplayLayouts::initializeAllDisplays() {
    const auto screens = platform_.screens().screens();
    Log::app.info("Initializing all displays (%ld connected)", screens.size());
    auto& states = deps_.multiState->states;
    for (const auto& screen : screens) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        if (states.count(uuid)) {
            ensureDisplayLayoutSynced(uuid);
            continue;
        }
        const auto& workbenches = deps_.displayWorkbenches->workbenches;
        if (auto workbench = workbenches.find(uuid); workbench != workbenches.end()) {
            Log::app.info("Initializing display %s from workbench (missing state)", uuid);
            // A template that is gone (a deleted user layout) applies nothing; the display must not be
            // left without zones, so it gets the state a display without records gets, its record kept.
            if (applyTemplate(workbench->second, "init-all-displays.missing-state") && states.count(uuid))
                continue;
            ensureState(uuid);
            continue;
        }
        Log::app.info("Initializing background state for display %s (default)", uuid);
        ensureState(uuid);
    }
}

void DisplayLayouts::ensureDisplayLayoutSynced(const std::string& displayUUID) {
    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    const auto& selection = deps_.layoutSelection->lastByDisplay;
    std::optional<std::string> expected;
    if (auto it = workbenches.find(displayUUID); it != workbenches.end())
        expected = it->second.activeTemplateID;
    std::optional<std::string> current;
    if (auto it = selection.find(displayUUID); it != selection.end()) current = it->second;
    if (!expected) expected = current;

    std::shared_ptr<WMState> state;
    if (auto it = deps_.multiState->states.find(displayUUID); it != deps_.multiState->states.end())
        state = it->second;
    if (!expected) {
        if (!state) ensureState(displayUUID);
        return;
    }

    // Looked at once: the state does not change before it is rebuilt below.
    const bool framesValid = !state || validateRegionFrames(displayUUID, *state);
    if (state) {
        if (!framesValid) {
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
    auto set = deps_.layouts->regionSet(*expected);
    if (!set) {
        auto workbench = workbenches.find(displayUUID);
        if (workbench != workbenches.end()) applyTemplate(workbench->second, "layout-sync-" + displayUUID);
        return;
    }

    if (!framesValid) {
        const auto screen = deps_.displayRecords->screenOfDisplayOrMain(displayUUID);
        auto zones = screen ? LayoutBuilder::normalizedRegionIDs(*set, *screen) : LayoutBuilder::Zones{};
        if (zones.empty()) {
            applyRegionSet(*set, displayUUID, false);
            return;
        }
        state->applyLayout(layoutOfZones(displayUUID, std::move(zones)));
        deps_.memberships->zonesRebuilt(displayUUID, *expected);
        Log::app.info("ensureDisplayLayoutSynced: resynced frames preserving stacks display=%s layout=%s",
                      displayUUID, *expected);
        if (current != expected) saveSelection(displayUUID, *expected);
        return;
    }
    applyRegionSet(*set, displayUUID, false);
}

bool DisplayLayouts::validateRegionFrames(const std::string& displayUUID, const WMState& state) {
    const auto screen = deps_.displayRecords->connectedScreen(displayUUID);
    if (!screen) return false;
    auto first = state.layout.zones.find(1);
    if (first == state.layout.zones.end()) return true;
    const Point center = first->second.frame.center();
    if (screen->visibleFrame.contains(center)) return true;
    // Routine after the displays were rearranged (zones are kept in global coordinates, and the origin
    // moves with the main display), and mended by the caller: no error for the user.
    Log::app.info("validateRegionFrames failed: Zone 1 center %s not in screen %s frame %s",
                  platform::describe(center), displayUUID, platform::describe(screen->visibleFrame));
    return false;
}

std::optional<int> DisplayLayouts::expectedZoneCount(const std::string& layoutID,
                                                     const std::string& displayUUID) {
    auto set = deps_.layouts->regionSet(layoutID);
    if (!set) return std::nullopt;
    const auto screen = deps_.displayRecords->screenOfDisplayOrMain(displayUUID);
    if (!screen) return std::nullopt;
    return static_cast<int>(LayoutBuilder::normalizedRegionIDs(*set, *screen).size());
}

bool DisplayLayouts::setActiveDisplay(const std::string& displayUUID, bool registerHotkeys) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty()) return false;
    if (!ensureState(uuid)) return false;

    auto& multiState = *deps_.multiState;
    const std::string previous = multiState.activeDisplayUUID;
    if (!previous.empty() && previous != uuid) lastUsedRegionByDisplay_[previous] = lastUsedRegion_;

    multiState.activeDisplayUUID = uuid;
    int zone = 1;
    if (auto it = lastUsedRegionByDisplay_.find(uuid); it != lastUsedRegionByDisplay_.end()) {
        zone = it->second;
    } else if (auto state = multiState.states.find(uuid);
               state != multiState.states.end() && !state->second->layout.zones.empty()) {
        zone = state->second->layout.zones.begin()->first;
    }
    lastUsedRegionByDisplay_[uuid] = zone;
    lastUsedRegion_ = zone;

    activated(registerHotkeys);
    return true;
}

bool DisplayLayouts::reapplyActiveTemplate(const std::string& reason) {
    const std::string active = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    auto workbench = workbenches.find(active);
    if (workbench == workbenches.end()) {
        Log::app.error("No workbench for display %s during %s", active, reason);
        return false;
    }
    return applyTemplate(workbench->second, reason);
}

// ---- The last used zone ----

void DisplayLayouts::onWindowFocusSync(WindowID wid) {
    auto interval = Log::signposts.beginInterval("OnWindowFocusSync");
    for (const auto& [display, state] : deps_.multiState->states) {
        auto mapped = state->zoneOf.find(wid);
        if (mapped == state->zoneOf.end()) continue;
        lastUsedRegion_ = mapped->second;
        lastUsedRegionByDisplay_[display] = mapped->second;
        Log::app.debug("OnWindowFocusSync: wid=%u rid=%ld display=%s", wid, mapped->second, display);
        return;
    }
    Log::app.debug("OnWindowFocusSync: wid=%u not mapped in any display state", wid);
}

void DisplayLayouts::updateLastUsedRegionFromFocus() {
    auto interval = Log::signposts.beginInterval("UpdateLastUsedRegionFromFocus");
    const auto focused = deps_.displayRecords->focusedWindow();
    if (!focused) return;
    const auto wid = deps_.ax->windowID(focused->element);
    if (!wid) return;
    deps_.controller->adopt(focused->element, *wid, focused->displayUUID);

    auto state = deps_.multiState->states.find(focused->displayUUID);
    if (state == deps_.multiState->states.end()) return;
    auto mapped = state->second->zoneOf.find(*wid);
    if (mapped == state->second->zoneOf.end()) return;
    lastUsedRegion_ = mapped->second;
    lastUsedRegionByDisplay_[focused->displayUUID] = mapped->second;
    Log::app.info("SyncRegion: confirmed focus rid=%ld for wid=%u", mapped->second, *wid);
}

} // namespace korvane
