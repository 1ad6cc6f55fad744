// Replaying the remembered window slots of every display after a wake, and recording them as claims.
#include "app/WakeSlotReplay.h"

#include "app/LayoutMemory.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "app/WindowMappingRebuild.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <tuple>
#include <utility>

namespace korvane {

namespace {

using Observed = WakeSlotReplay::WakeObservedWindow;
// One placement: the zone and the bundle identifier of the window placed there, in placement order.
using Assignment = std::pair<int, std::string>;

constexpr const char* kRefreshSource = "AppDelegate+Display.replayWakeSlotAssignments";

// The zone id a remembered region id names in this layout; nothing for a region the layout lacks.
std::optional<int> zoneOfRegion(std::int64_t region, const Layout& layout) {
    if (region < std::numeric_limits<int>::min() || region > std::numeric_limits<int>::max())
        return std::nullopt;
    const int id = static_cast<int>(region);
    return layout.zones.contains(id) ? std::optional(id) : std::nullopt;
}

// The claims of one display's placements, in the order the layout memory returns claims. A slot keeps
// the date of its earlier wake claim while it holds the same application in the same region, so that a
// replay making the same placements again produces exactly the stored claims.
std::vector<SlotClaimSnapshot> wakeClaims(const std::string& displayUUID,
                                          const std::vector<Assignment>& assignments,
                                          const std::map<std::string, SlotClaimSnapshot>& previous,
                                          Nanos replayTime) {
    std::map<std::string, int> slotsTaken; // "r<region>:<bundle>" -> windows of it placed so far
    std::vector<SlotClaimSnapshot> claims;
    claims.reserve(assignments.size());
    for (const auto& [region, bundleID] : assignments) {
        const std::string regionText = std::to_string(region);
        const int index = slotsTaken["r" + regionText + ":" + bundleID]++;
        std::string slotID = displayUUID + ":r" + regionText + ":s" + std::to_string(index) + ":" + bundleID;
        Nanos committedAt = replayTime;
        if (auto earlier = previous.find(slotID); earlier != previous.end()) {
            const SlotClaimSnapshot& claim = earlier->second;
            if (claim.regionID == region && claim.bundleID == bundleID &&
                claim.source == WakeSlotReplay::kClaimSource)
                committedAt = claim.committedAt;
        }
        claims.push_back({std::move(slotID), region, bundleID, WakeSlotReplay::kClaimSource, committedAt});
    }
    std::sort(claims.begin(), claims.end(), [](const SlotClaimSnapshot& a, const SlotClaimSnapshot& b) {
        return std::tie(a.regionID, a.slotID, a.committedAt) < std::tie(b.regionID, b.slotID, b.committedAt);
    });
    return claims;
}

} // namespace

WakeSlotReplay::WakeSlotReplay(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)),
      onScreen_(platform, deps_.tracker, deps_.classifier) {}

std::map<std::string, std::vector<Observed>> WakeSlotReplay::collectWakeObservedWindows() {
    return onScreen_.collect().value_or(std::map<std::string, std::vector<Observed>>{});
}

void WakeSlotReplay::replayWakeSlotAssignments(const std::string& reason) {
    const auto observed = collectWakeObservedWindows();
    if (observed.empty()) {
        Log::app.info("[WakeReplay] skipped reason=%s observed=0", reason);
        return;
    }

    const Nanos replayTime = platform_.runLoop().wallClock();
    std::set<WindowID> seen;
    for (const auto& [displayUUID, windows] : observed)
        for (const Observed& window : windows)
            seen.insert(window.wid);
    bool claimsChanged = false;
    std::int64_t displays = 0, total = 0, left = 0;
    for (const auto& [displayUUID, state] : deps_.multiState->states) {
        if (!state) continue;
        const auto listed = observed.find(displayUUID);
        const std::vector<Observed> none;
        const std::vector<Observed>& windows = listed == observed.end() ? none : listed->second;
        const auto [placed, gone] =
            replayDisplay(displayUUID, *state, windows, seen, replayTime, claimsChanged);
        if (placed > 0)
            Log::app.info("[WakeReplay] reason=%s display=%s replayed=%ld observed=%ld", reason, displayUUID,
                          static_cast<std::int64_t>(placed), static_cast<std::int64_t>(windows.size()));
        if (gone > 0)
            Log::app.info("[WakeReplay] reason=%s display=%s left=%ld", reason, displayUUID,
                          static_cast<std::int64_t>(gone));
        if (placed == 0 && gone == 0) continue;
        ++displays;
        total += static_cast<std::int64_t>(placed);
        left += static_cast<std::int64_t>(gone);
    }

    // One write for all displays, and none when every scope already held these claims.
    if (claimsChanged) deps_.layoutMemory->persistLayoutMemory();

    if (total == 0 && left == 0) {
        Log::app.info("[WakeReplay] done reason=%s no-op", reason);
        return;
    }
    Log::app.info("[WakeReplay] done reason=%s displays=%ld total=%ld", reason, displays, total);
    deps_.statusBarEventBus->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, kRefreshSource));
}

WakeSlotReplay::DisplayReplay WakeSlotReplay::replayDisplay(const std::string& displayUUID, WMState& state,
                                                            const std::vector<Observed>& windows,
                                                            const std::set<WindowID>& seen, Nanos replayTime,
                                                            bool& claimsChanged) {
    LayoutMemory& memory = *deps_.layoutMemory;
    const auto scope = memory.memoryScope(displayUUID);

    // Zone id -> bundle identifier -> how many of its windows the memory lists for that zone.
    std::map<int, std::map<std::string, std::size_t>> remembered;
    std::map<std::string, SlotClaimSnapshot> previousClaims;
    if (scope) {
        const LayoutMemoryStore& store = memory.layoutMemory();
        auto regions = store.regionToSlots(scope->displayUUID, scope->layoutID);
        if (!regions) regions = store.regionToSlots(kAllDisplaysKey, scope->layoutID);
        if (regions) {
            for (const auto& [region, slots] : *regions) {
                const auto zone = zoneOfRegion(region, state.layout);
                if (!zone) continue;
                for (const auto& bundleID : slots)
                    if (!bundleID.empty()) ++remembered[*zone][bundleID];
            }
        }
        // A file written elsewhere may hold one slot twice; the latest claim of it stands (the list is
        // ordered by date within a slot).
        for (auto& claim : store.slotClaimSnapshots(scope->displayUUID, scope->layoutID))
            previousClaims.insert_or_assign(claim.slotID, claim);
    }

    std::map<std::string, std::vector<const Observed*>> windowsByApp;
    for (const Observed& window : windows)
        windowsByApp[window.bundleID].push_back(&window);
    std::map<int, Point> zoneCentres;
    for (const auto& [id, zone] : state.layout.zones)
        zoneCentres[id] = zone.frame.center();

    std::set<WindowID> used;
    std::vector<Assignment> assignments;
    auto place = [&](const Observed& window, int zone) {
        used.insert(window.wid);
        const platform::AXElement element =
            window.element ? *window.element : platform_.accessibility().applicationElement(window.pid);
        state.attach(WinRef{window.wid, window.pid, element, zone, window.frame}, zone);
        deps_.mappingRebuild->forgetMissingWindow(displayUUID, window.wid);
        assignments.emplace_back(zone, window.bundleID);
    };

    // Remembered pass: per region, the listed applications' windows, a window the state already maps to
    // the region first, then the nearest to its centre, then the lower window number.
    for (const auto& entry : remembered) {
        // A named copy: lambdas may not capture a structured binding on every compiler we build with.
        const auto region = entry.first;
        const auto& counts = entry.second;
        const auto centre = zoneCentres.find(region);
        auto distance = [&](const Observed* w) {
            if (centre == zoneCentres.end()) return std::numeric_limits<double>::max();
            const double dx = w->frame.midX() - centre->second.x, dy = w->frame.midY() - centre->second.y;
            const double d = dx * dx + dy * dy;
            return std::isfinite(d) ? d : std::numeric_limits<double>::max();
        };
        auto mappedElsewhere = [&](const Observed* w) {
            const auto mapped = state.zoneOf.find(w->wid);
            return mapped == state.zoneOf.end() || mapped->second != region;
        };
        // A window moved out of the zone during the sleep is not the zone's any more, whatever it is
        // near: it stays where it was put and keeps no slot here.
        const Rect& frame = state.layout.zones.at(region).frame;
        for (const auto& [bundleID, count] : counts) {
            const auto ofApp = windowsByApp.find(bundleID);
            if (ofApp == windowsByApp.end()) continue;
            std::vector<const Observed*> candidates;
            for (const Observed* w : ofApp->second)
                if (!used.contains(w->wid) && frame.contains(w->frame.center())) candidates.push_back(w);
            std::sort(candidates.begin(), candidates.end(), [&](const Observed* a, const Observed* b) {
                return std::tuple(mappedElsewhere(a), distance(a), a->wid) <
                       std::tuple(mappedElsewhere(b), distance(b), b->wid);
            });
            candidates.resize(std::min(count, candidates.size()));
            for (const Observed* w : candidates)
                if (!used.contains(w->wid)) place(*w, region);
        }
    }

    // Current-zone pass: a window the state still maps keeps its zone while it lies in it, lowest window
    // number first.
    std::vector<const Observed*> stillMapped;
    for (const Observed& window : windows)
        if (!used.contains(window.wid) && state.zoneOf.contains(window.wid)) stillMapped.push_back(&window);
    std::sort(stillMapped.begin(), stillMapped.end(),
              [](const Observed* a, const Observed* b) { return a->wid < b->wid; });
    for (const Observed* w : stillMapped) {
        const int zone = state.zoneOf.at(w->wid);
        const auto z = state.layout.zones.find(zone);
        if (z != state.layout.zones.end() && z->second.frame.contains(w->frame.center()) &&
            !used.contains(w->wid))
            place(*w, zone);
    }

    // A window on screen that neither pass put into a zone here lies in none of them (it may lie on
    // another display): it leaves the zone it had. One not on screen (minimised, on another desktop, not
    // shown again yet) keeps its zone, as nothing says where it is.
    std::vector<std::pair<WindowID, int>> leaving;
    for (const auto& [wid, zone] : state.zoneOf)
        if (seen.contains(wid) && !used.contains(wid)) leaving.emplace_back(wid, zone);
    for (const auto& [wid, zone] : leaving)
        if (!state.detach(wid, zone)) state.zoneOf.erase(wid);

    if (scope && !assignments.empty()) {
        auto claims = wakeClaims(displayUUID, assignments, previousClaims, replayTime);
        LayoutMemoryStore& store = memory.layoutMemory();
        // Replacing drops the scope's claims of other sources too: after a wake these placements are
        // what the display holds.
        if (claims != store.slotClaimSnapshots(scope->displayUUID, scope->layoutID)) {
            store.recordSlotClaims(scope->displayUUID, scope->layoutID, claims);
            claimsChanged = true;
        }
    }
    return {assignments.size(), leaving.size()};
}

} // namespace korvane
