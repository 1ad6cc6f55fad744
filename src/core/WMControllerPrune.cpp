// Pruning a zone's stack before it is focused or cycled: windows that are gone, or that the user took
// to another display, leave the stack; every doubtful case keeps its window and is reported.
#include "core/AXUtil.h"
#include "core/ISODate.h"
#include "core/Log.h"
#include "core/Rescuer.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace korvane {

using platform::AXError;

namespace {

constexpr std::size_t kMovedSampleSize = 10;
constexpr std::size_t kWindowSampleSize = 20;

std::string describeNumbers(const std::vector<WindowID>& numbers, std::size_t limit) {
    const std::size_t n = std::min(limit, numbers.size());
    return platform::describeList(
        std::vector<WindowID>(numbers.begin(), numbers.begin() + static_cast<long>(n)));
}

// "[(12, "UUID"), (13, "UUID")]"
std::string describeMoved(const std::vector<std::pair<WindowID, std::string>>& moved, std::size_t limit) {
    std::string out = "[";
    const std::size_t n = std::min(limit, moved.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ", ";
        out += "(" + std::to_string(moved[i].first) + ", " + platform::quoted(moved[i].second) + ")";
    }
    return out + "]";
}

} // namespace

std::optional<platform::WindowInfo> WMController::windowListEntry(WindowID wid) {
    auto list = platform().windowServer().copyWindowInfo(platform::kIncludingWindow, wid);
    if (!list || list->empty()) return std::nullopt;
    const platform::WindowInfo& entry = list->front();
    // Only a layer that reads as an integer and is not 0 rules the entry out; a missing or odd layer
    // says nothing against the window.
    if (auto layer = windowinfo::integerValue(entry, platform::WindowKey::layer); layer && *layer != 0)
        return std::nullopt;
    return entry;
}

std::optional<std::string> WMController::displayUUID(const Rect& containingCenterOf) {
    const Point centre = containingCenterOf.center();
    for (const auto& screen : platform().screens().screens())
        if (screen.frame.contains(centre)) return screen.displayUUID;
    return std::nullopt;
}

void WMController::prune(int zoneID, WMState& state) {
    auto& p = platform();
    if (p.runLoop().wallClock() < suppressPruneUntil) {
        Log::wm.debug("Prune: suppressed rid=%ld until=%{public}s", zoneID,
                      isoDateString(suppressPruneUntil));
        return;
    }
    const auto zone = state.zone(zoneID);
    if (!zone || zone->stack.empty()) return;

    const std::string& prunedDisplay = state.layout.screenId;
    const auto screens = p.screens().screens();
    // Window-list bounds are flipped with the primary screen's height, the one height both coordinate
    // systems share. The tallest top edge would be wrong as soon as a display sits above the primary: a
    // window on the primary would then seem to be on that display and be dropped from its stack.
    const double flipHeight = korvane::flipHeight(p.screens()).value_or(0);

    std::vector<WindowID> removal;
    std::vector<std::pair<WindowID, std::string>> movedAcross;
    std::vector<WindowID> keptByWindowList;
    std::vector<WindowID> missingRecord;

    auto onAnotherDisplay = [&](const Rect& frame) -> std::optional<std::string> {
        auto uuid = displayUUID(frame);
        if (!uuid || *uuid == prunedDisplay) return std::nullopt;
        return uuid;
    };

    for (WindowID wid : zone->stack) {
        auto recorded = state.wins.find(wid);
        if (recorded != state.wins.end()) {
            const WinRef& ref = recorded->second;
            pid_t pid = 0;
            const bool elementAlive = p.accessibility().pidOf(ref.ax, pid) == AXError::success &&
                                      p.workspace().runningApplication(pid).has_value();
            if (!elementAlive) {
                // The element is no proof either way; the window server decides, unless it lists the
                // number for another process: the number went to a later window, and this one ended.
                const auto entry = windowListEntry(wid);
                const auto owner =
                    entry ? windowinfo::integerValue(*entry, platform::WindowKey::ownerPID) : std::nullopt;
                if (entry && !(ref.pid != 0 && owner && *owner != ref.pid))
                    keptByWindowList.push_back(wid);
                else
                    removal.push_back(wid);
                continue;
            }
            const auto frame = ax->frame(ref.ax);
            if (!frame || isParkedOffscreen(*frame, screens)) continue;
            if (auto other = onAnotherDisplay(*frame)) {
                // A window the program parked lies wherever the window manager let it stay, also on
                // another display.
                if (carriesParkingMark(p.accessibility(), ref.ax)) continue;
                movedAcross.emplace_back(wid, *other);
                removal.push_back(wid);
            }
            continue;
        }

        auto entry = windowListEntry(wid);
        if (!entry) {
            removal.push_back(wid);
            continue;
        }
        auto bounds = windowinfo::bounds(*entry);
        if (!bounds) {
            missingRecord.push_back(wid);
            continue;
        }
        const Rect converted = flipRect(*bounds, flipHeight);
        if (isParkedWindow(*entry, converted, screens)) {
            missingRecord.push_back(wid);
        } else if (auto other = onAnotherDisplay(converted)) {
            movedAcross.emplace_back(wid, *other);
            removal.push_back(wid);
        } else {
            missingRecord.push_back(wid);
        }
    }

    if (!movedAcross.empty())
        Log::wm.info("Prune: Removing %ld window(s) from R%ld moved across displays. sample=%s",
                     movedAcross.size(), zoneID, describeMoved(movedAcross, kMovedSampleSize));
    if (!keptByWindowList.empty())
        Log::wm.error("Prune: Keeping %ld windows in R%ld due to _NET_CLIENT_LIST_STACKING existence (stale "
                      "mapping). sample=%s",
                      keptByWindowList.size(), zoneID, describeNumbers(keptByWindowList, kWindowSampleSize));
    if (!missingRecord.empty())
        Log::wm.error("Prune: Found %ld windows in R%ld missing WinRef but existing in "
                      "_NET_CLIENT_LIST_STACKING. sample=%s",
                      missingRecord.size(), zoneID, describeNumbers(missingRecord, kWindowSampleSize));
    if (!removal.empty())
        Log::wm.info("Prune: Removing dead windows from region %ld: %s", zoneID,
                     platform::describeList(removal));

    // Detaching keeps the other entries in order, pulls `active` back inside the stack and drops the
    // mapping; the window's record stays in `wins`.
    for (WindowID wid : removal)
        state.detach(wid, zoneID);
}

} // namespace korvane
