// Rebuilding the window-to-zone mappings from the window server's list.
#include "app/WindowMappingRebuild.h"

#include "app/DisplayUtil.h"
#include "app/LayoutMemory.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane {

namespace {

constexpr std::size_t kIndexReserveLimit = 1024;
constexpr std::size_t kKeySetReserve = 2048;
constexpr std::size_t kRemovedSampleSize = 10;

std::string missingKey(const std::string& displayUUID, WindowID wid) {
    return displayUUID + "#" + std::to_string(wid);
}

std::string elapsedMs(Nanos start, Nanos end) {
    return platform::format("%.1f", static_cast<double>(end - start) / 1e6);
}

// zone id -> bundle identifier -> committed claims of that application in that zone.
using ClaimCounts = std::map<std::int64_t, std::map<std::string, int>>;

// The window server's list read once: its windows front-most first, and the display of each one that
// has an owner and bounds.
struct WindowListSnapshot {
    std::vector<WindowID> orderedWindowIDs;
    std::unordered_map<WindowID, std::string> displayOfWindow;
};

// Only a layer that reads as a whole number and is not 0 keeps an entry off the application layer; a
// missing or odd layer says nothing against it.
bool offApplicationLayer(const platform::WindowInfo& entry) {
    auto layer = windowinfo::integerValue(entry, platform::WindowKey::layer);
    return layer && *layer != 0;
}

} // namespace

WindowMappingRebuild::WindowMappingRebuild(platform::Platform& platform,
                                           std::shared_ptr<MultiDisplayState> multiState,
                                           std::shared_ptr<LayoutMemory> layoutMemory)
    : platform_(platform), multiState_(std::move(multiState)), layoutMemory_(std::move(layoutMemory)) {}

void WindowMappingRebuild::forgetMissingWindow(const std::string& displayUUID, WindowID wid) {
    missingWindowFirstSeenAt_.erase(missingKey(displayUUID, wid));
}

void WindowMappingRebuild::rebuildWindowRegionMappings(bool allowPrune, const std::string& reason) {
    auto interval = Log::signposts.beginInterval("RebuildWindowRegionMappings");
    auto& loop = platform_.runLoop();
    const Nanos startedAt = loop.now();

    const bool recovering = isWakeRecoveryInProgress && isWakeRecoveryInProgress();
    const bool wakeContext = recovering || std::string_view(reason).starts_with("system-wake");
    const bool effectivePrune = allowPrune && !recovering;

    if (allowPrune && !effectivePrune)
        Log::app.info("[RebuildMappings] start reason=%s allowPrune=%{bool}d effectiveAllowPrune=%{bool}d "
                      "wakeRecovery=1",
                      reason, allowPrune, effectivePrune);
    else
        Log::app.info("[RebuildMappings] start reason=%s allowPrune=%{bool}d", reason, allowPrune);

    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    // A list with an entry that is not a dictionary is no list of windows at all.
    if (!list || !std::all_of(list->begin(), list->end(), [](const auto& e) { return e.is_object(); }))
        return;
    if (list->empty()) {
        Log::app.info("[RebuildMappings] skipped: windowListEmpty totalMs=%s",
                      elapsedMs(startedAt, loop.now()));
        return;
    }

    const Nanos now = loop.now();
    auto& screens = platform_.screens();
    // Window-list bounds share the primary screen's top edge as origin; a display placed above the
    // primary must not shift them. Without a primary, the highest top edge is the best guess.
    const double flipHeight = korvane::flipHeight(screens).value_or(0);

    WindowListSnapshot snapshot;
    snapshot.orderedWindowIDs.reserve(std::min(list->size(), kIndexReserveLimit));
    snapshot.displayOfWindow.reserve(std::min(list->size(), kIndexReserveLimit));
    for (const auto& entry : *list) {
        if (offApplicationLayer(entry)) continue;
        const auto wid = windowinfo::windowNumber(entry);
        if (!wid) continue;
        snapshot.orderedWindowIDs.push_back(*wid);
        const auto topLeft = windowinfo::bounds(entry);
        if (!windowinfo::ownerPID(entry) || !topLeft) continue;
        snapshot.displayOfWindow[*wid] = DisplayUtil::displayUUID(screens, flipRect(*topLeft, flipHeight));
    }

    std::int64_t tracked = 0, pruned = 0, deferred = 0, displays = 0, stacks = 0;
    auto& workspace = platform_.workspace();
    for (auto& [displayUUID, statePtr] : multiState_->states) {
        if (!statePtr) continue;
        WMState& state = *statePtr;

        // Each committed claim stands for a window its application is expected to show in that zone.
        ClaimCounts claims;
        if (auto scope = layoutMemory_->memoryScope(displayUUID)) {
            for (const auto& claim :
                 layoutMemory_->layoutMemory().slotClaimSnapshots(scope->displayUUID, scope->layoutID))
                if (!claim.bundleID.empty()) ++claims[claim.regionID][claim.bundleID];
        }

        const std::vector<std::pair<WindowID, int>> mapping(state.zoneOf.begin(), state.zoneOf.end());
        tracked += static_cast<std::int64_t>(mapping.size());
        std::vector<WindowID> removed;
        for (const auto& [wid, zoneID] : mapping) {
            const std::string key = missingKey(displayUUID, wid);

            const auto answer = platform_.windowServer().copyWindowInfo(platform::kIncludingWindow, wid);
            const platform::WindowInfo* entry =
                answer && !answer->empty() && answer->front().is_object() ? &answer->front() : nullptr;
            const bool live = entry && !offApplicationLayer(*entry);

            std::optional<pid_t> pid;
            if (auto ref = state.wins.find(wid); ref != state.wins.end() && ref->second.pid != 0)
                pid = ref->second.pid;
            else if (entry)
                pid = windowinfo::ownerPID(*entry);
            std::optional<std::string> bundleID;
            if (pid)
                if (auto app = workspace.runningApplication(*pid)) bundleID = app->bundleID;
            int* claimCount = nullptr;
            if (bundleID) {
                auto zone = claims.find(zoneID);
                if (zone != claims.end())
                    if (auto count = zone->second.find(*bundleID); count != zone->second.end())
                        claimCount = &count->second;
            }

            if (live) {
                missingWindowFirstSeenAt_.erase(key);
                if (claimCount && *claimCount > 0) --*claimCount;
                continue;
            }
            if (claimCount && *claimCount > 0) {
                // Its application holds a claim on the zone and is expected to show a window there again.
                ++deferred;
                continue;
            }
            if (wakeContext) {
                // A wake hides windows for a moment; the grace starts only from a sighting outside it.
                ++deferred;
                continue;
            }
            auto firstSeen = missingWindowFirstSeenAt_.try_emplace(key, now).first->second;
            if (!effectivePrune || now - firstSeen < mappingPruneMissingGrace) {
                ++deferred;
                continue;
            }
            // A mapping to a zone the layout lacks has no stack to leave; it must still go, or the window
            // would be reported pruned again after every grace and never leave.
            if (!state.detach(wid, zoneID)) state.zoneOf.erase(wid);
            missingWindowFirstSeenAt_.erase(key);
            removed.push_back(wid);
            ++pruned;
        }

        if (!removed.empty()) {
            ++displays;
            const std::vector<WindowID> sample(
                removed.begin(),
                removed.begin() + static_cast<std::ptrdiff_t>(std::min(removed.size(), kRemovedSampleSize)));
            Log::app.info("[RebuildMappings] reconcile display=%s removed=%ld sample=%s", displayUUID,
                          static_cast<std::int64_t>(removed.size()), platform::describeList(sample));
        }

        const std::size_t mapped = state.zoneOf.size();
        std::size_t stacked = 0;
        for (const auto& [id, zone] : state.layout.zones)
            stacked += zone.stack.size();
        if (mapped == 0 || !(stacked < mapped || wakeContext)) continue;

        std::vector<WindowID> listedHere;
        for (WindowID wid : snapshot.orderedWindowIDs)
            if (auto display = snapshot.displayOfWindow.find(wid);
                display != snapshot.displayOfWindow.end() && display->second == displayUUID)
                listedHere.push_back(wid);
        // A stack's last entry is its zone's active window, the one focusing the zone raises: it must be
        // the front-most of the zone's windows, the one the user sees. So the stacks are filled from the
        // back: mapped windows the list does not show here first, then the listed ones rear-most first.
        // Every mapped window keeps a place: the list may show as many windows here as are mapped and
        // still leave a mapped one out, when it also shows windows nobody placed.
        std::vector<WindowID> ordered;
        const std::unordered_set<WindowID> listed(listedHere.begin(), listedHere.end());
        for (const auto& [wid, zoneID] : state.zoneOf)
            if (!listed.contains(wid)) ordered.push_back(wid);
        ordered.insert(ordered.end(), listedHere.rbegin(), listedHere.rend());
        state.updateZones(ordered);
        ++stacks;
        Log::app.info("[RebuildMappings] stacks rebuilt display=%s ordered=%ld mapping=%ld", displayUUID,
                      static_cast<std::int64_t>(ordered.size()), static_cast<std::int64_t>(mapped));
    }

    // A date whose window is no longer mapped anywhere would only start a later window's grace early.
    if (!missingWindowFirstSeenAt_.empty()) {
        std::unordered_set<std::string> mappedKeys;
        mappedKeys.reserve(kKeySetReserve);
        for (const auto& [displayUUID, state] : multiState_->states)
            if (state)
                for (const auto& [wid, zoneID] : state->zoneOf)
                    mappedKeys.insert(missingKey(displayUUID, wid));
        std::erase_if(missingWindowFirstSeenAt_,
                      [&](const auto& dated) { return !mappedKeys.contains(dated.first); });
    }

    const std::string totalMs = elapsedMs(startedAt, loop.now());
    if (effectivePrune == allowPrune)
        Log::app.info("[RebuildMappings] reason=%s allowPrune=%{bool}d tracked=%ld pruned=%ld deferred=%ld "
                      "idMigrated=%ld migrated=%ld displays=%ld stacks=%ld totalMs=%s",
                      reason, allowPrune, tracked, pruned, deferred, 0, 0, displays, stacks, totalMs);
    else
        Log::app.info(
            "[RebuildMappings] reason=%s allowPrune=%{bool}d effectiveAllowPrune=%{bool}d tracked=%ld "
            "pruned=%ld deferred=%ld idMigrated=%ld migrated=%ld displays=%ld stacks=%ld totalMs=%s",
            reason, allowPrune, effectivePrune, tracked, pruned, deferred, 0, 0, displays, stacks, totalMs);
}

} // namespace korvane
