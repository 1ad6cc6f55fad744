// Recording the windows of each display's zones in the layout memory, and taking them back in.
#include "app/ZoneMemberships.h"

#include "app/LayoutMemory.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>

namespace korvane {

ZoneMemberships::ZoneMemberships(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)),
      onScreen_(platform, deps_.tracker, deps_.classifier) {}

platform::AXElement ZoneMemberships::elementOf(const OnScreenWindow& window) {
    if (window.element) return *window.element;
    // Before the tracker runs, the window's own element spares every later focus a lookup.
    if (auto element = deps_.ax->axElement(window.wid, window.pid)) return *element;
    return platform_.accessibility().applicationElement(window.pid);
}

std::shared_ptr<WMState> ZoneMemberships::knownState(const std::string& displayUUID) const {
    auto origin = origins_.find(displayUUID);
    auto current = deps_.multiState->states.find(displayUUID);
    if (origin == origins_.end() || current == deps_.multiState->states.end()) return nullptr;
    auto state = origin->second.state.lock();
    return state && state == current->second ? state : nullptr;
}

void ZoneMemberships::restoreMemberships(const std::string& displayUUID,
                                         const std::optional<std::string>& layoutID) {
    origins_.erase(displayUUID);
    auto found = deps_.multiState->states.find(displayUUID);
    if (!layoutID || found == deps_.multiState->states.end() || !found->second) return;
    const std::shared_ptr<WMState> state = found->second;

    const auto regions = deps_.layoutMemory->layoutMemory().regionToSlots(displayUUID, *layoutID);
    if (!regions) {
        origins_[displayUUID] = Origin{state, *layoutID};
        return;
    }
    const auto onScreen = onScreen_.collect();
    if (!onScreen) {
        // Unknown is not empty: the memory keeps what it holds until the windows can be seen.
        Log::app.info("[ZoneMemory] window list unreadable; display=%s layout=%s not restored", displayUUID,
                      *layoutID);
        return;
    }
    origins_[displayUUID] = Origin{state, *layoutID};
    const auto listed = onScreen->find(displayUUID);
    const std::vector<OnScreenWindow> none;
    const std::vector<OnScreenWindow>& windows = listed == onScreen->end() ? none : listed->second;

    std::set<WindowID> taken;
    std::int64_t restored = 0;
    for (const auto& [region, slots] : *regions) {
        if (region < std::numeric_limits<int>::min() || region > std::numeric_limits<int>::max()) continue;
        const auto zone = state->layout.zones.find(static_cast<int>(region));
        if (zone == state->layout.zones.end()) continue;
        std::map<std::string, std::size_t> wanted;
        for (const auto& bundleID : slots)
            ++wanted[bundleID];
        // Front-most first; a window that has left the zone stays out of it.
        std::vector<const OnScreenWindow*> inZone;
        for (const OnScreenWindow& window : windows) {
            auto want = wanted.find(window.bundleID);
            if (want == wanted.end() || want->second == 0 || taken.contains(window.wid) ||
                !zone->second.frame.contains(window.frame.center()))
                continue;
            --want->second;
            taken.insert(window.wid);
            inZone.push_back(&window);
        }
        // The rear-most first, so that the front-most ends on top of the stack.
        for (auto it = inZone.rbegin(); it != inZone.rend(); ++it) {
            const OnScreenWindow& window = **it;
            state->attach(WinRef{window.wid, window.pid, elementOf(window), zone->first, window.frame},
                          zone->first);
            ++restored;
        }
    }
    Log::app.info("[ZoneMemory] restored display=%s layout=%s windows=%ld", displayUUID, *layoutID, restored);
}

void ZoneMemberships::zonesRebuilt(const std::string& displayUUID, const std::string& layoutID) {
    auto found = deps_.multiState->states.find(displayUUID);
    if (found == deps_.multiState->states.end() || !found->second) return;
    // The same windows, now in zones of this layout; a state not made from a layout stays unrecorded.
    if (knownState(displayUUID)) origins_[displayUUID] = Origin{found->second, layoutID};
}

bool ZoneMemberships::recordMemberships(const std::string& displayUUID) {
    const auto state = knownState(displayUUID);
    if (!state) return false;
    auto& workspace = platform_.workspace();
    RegionSlots slots;
    std::int64_t recorded = 0;
    auto add = [&](WindowID wid, int zone) {
        auto ref = state->wins.find(wid);
        if (ref == state->wins.end() || ref->second.pid == 0) return;
        const auto app = workspace.runningApplication(ref->second.pid);
        if (!app || !app->bundleID || app->bundleID->empty()) return;
        slots[zone].push_back(*app->bundleID);
        ++recorded;
    };
    std::set<WindowID> stacked;
    for (const auto& [id, zone] : state->layout.zones)
        for (WindowID wid : zone.stack)
            if (state->zoneOf.contains(wid) && state->zoneOf.at(wid) == id && stacked.insert(wid).second)
                add(wid, id);
    for (const auto& [wid, zone] : state->zoneOf)
        if (!stacked.contains(wid) && state->layout.zones.contains(zone)) add(wid, zone);

    // The zones speak for the applications that run; those that do not could show no window to take
    // back, so what the memory holds for them stays until they do.
    const std::string& layoutID = origins_.at(displayUUID).layoutID;
    LayoutMemoryStore& store = deps_.layoutMemory->layoutMemory();
    if (const auto remembered = store.regionToSlots(displayUUID, layoutID)) {
        std::set<std::string> running;
        for (const auto& app : workspace.runningApplications())
            if (app.bundleID && !app.isTerminated) running.insert(*app.bundleID);
        for (const auto& [region, bundleIDs] : *remembered)
            for (const auto& bundleID : bundleIDs)
                if (!running.contains(bundleID)) slots[region].push_back(bundleID);
    }
    store.recordRegionSlots(displayUUID, layoutID, slots);
    Log::app.info("[ZoneMemory] recorded display=%s layout=%s windows=%ld", displayUUID, layoutID, recorded);
    return true;
}

void ZoneMemberships::recordAllMemberships() {
    for (const auto& [displayUUID, origin] : origins_)
        recordMemberships(displayUUID);
}

} // namespace korvane
