// Matching window frames to zones and adopting the focused window into a display's zone model, including
// windows that come over from another display and windows an application re-created under a new number.
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace korvane {

using platform::AXElement;
using platform::AXError;

namespace {

constexpr float kNearestCenterConfidenceCap = 0.49f;

ZoneMatch fallbackMatch() {
    return ZoneMatch{1, 1.0f, ZoneMatchMethod::fallback, std::nullopt, 0, true};
}

} // namespace

ZoneMatch WMController::zoneForFrame(const Rect& frame, const std::string& displayUUID) {
    auto found = multiState->states.find(displayUUID);
    if (found == multiState->states.end() || !found->second || found->second->layout.zones.empty())
        return fallbackMatch();
    const WMState& state = *found->second;

    const Point centre = frame.center();
    const double frameArea = frame.area();
    std::optional<int> overlapZone;
    double overlapArea = 0;
    std::optional<int> nearestZone;
    double nearestDistance = std::numeric_limits<double>::infinity();

    for (const auto& [id, zone] : state.layout.zones) {
        if (zone.frame.contains(centre))
            return ZoneMatch{id, 1.0f, ZoneMatchMethod::centerInside, std::nullopt, 0, true};

        const Rect common = zone.frame.intersection(frame);
        if (common.width() > 0 && common.height() > 0 && common.area() > overlapArea) {
            overlapZone = id;
            overlapArea = common.area();
        }
        const Point zc = zone.frame.center();
        const double distance = std::hypot(zc.x - centre.x, zc.y - centre.y);
        if (distance < nearestDistance) {
            nearestZone = id;
            nearestDistance = distance;
        }
    }

    if (overlapZone) {
        const float ratio = std::min(1.0f, static_cast<float>(overlapArea / frameArea));
        return ZoneMatch{*overlapZone, ratio, ZoneMatchMethod::overlap, ratio, 0, true};
    }
    if (nearestZone) {
        const float confidence = std::min(1.0f / (static_cast<float>(nearestDistance / 100.0) + 1.0f),
                                          kNearestCenterConfidenceCap);
        return ZoneMatch{*nearestZone, confidence,      ZoneMatchMethod::nearestCenter,
                         std::nullopt, nearestDistance, false};
    }
    // Only a frame whose centre is not a number gets here.
    return ZoneMatch{};
}

void WMController::adopt(const AXElement& window, WindowID wid, const std::string& displayUUID) {
    // The program's own windows (an overlay that took the focus) never join a zone.
    if (isOwnWindow(platform(), window)) return;
    auto found = multiState->states.find(displayUUID);
    if (found == multiState->states.end() || !found->second) return;
    const std::shared_ptr<WMState> state = found->second;
    auto& accessibility = platform().accessibility();
    pid_t pid = 0;
    if (accessibility.pidOf(window, pid) != AXError::success) pid = 0;
    const auto frame = ax->frame(window);

    if (auto mapped = state->zoneOf.find(wid); mapped != state->zoneOf.end()) {
        if (topRaisedOverFocus(mapped->second, wid, *state)) return;
        if (auto ref = state->wins.find(wid); ref != state->wins.end()) {
            const WinRef copy = ref->second;
            state->attach(copy, mapped->second);
        }
        return;
    }

    std::vector<std::string> movedFrom;
    for (const auto& [otherUUID, other] : multiState->states) {
        if (otherUUID == displayUUID || !other) continue;
        if (auto mapped = other->zoneOf.find(wid); mapped != other->zoneOf.end()) {
            other->detach(wid, mapped->second);
            movedFrom.push_back(otherUUID);
        }
    }
    if (!movedFrom.empty()) {
        int target = state->layout.zones.empty() ? 1 : state->layout.zones.begin()->first;
        if (frame) {
            const ZoneMatch match = zoneForFrame(*frame, displayUUID);
            if (match.method != ZoneMatchMethod::none) target = match.zoneID;
        }
        state->attach(WinRef{wid, pid, window, std::nullopt, frame}, target);
        std::sort(movedFrom.begin(), movedFrom.end());
        Log::wm.info("Adopt: cross-display migrate wid=%u from=%s to=%s rid=%ld", wid,
                     platform::describeList(movedFrom), displayUUID, target);
        if (onWindowFocus) onWindowFocus(wid);
        return;
    }

    // A window the application closed and re-created under a new number: the process's one mapped window
    // hands its zone over, unless it is still alive or the new window is only an auxiliary one.
    std::vector<WindowID> candidates;
    for (const auto& [mappedWid, zoneID] : state->zoneOf)
        if (auto ref = state->wins.find(mappedWid); ref != state->wins.end() && ref->second.pid == pid)
            candidates.push_back(mappedWid);
    if (candidates.size() != 1) {
        Log::wm.info("Adopt: skip %s focused window wid=%u pid=%d candidates=%ld",
                     candidates.empty() ? "unassigned" : "ambiguous", wid, pid, candidates.size());
        return;
    }

    const WindowID old = candidates.front();
    const int zoneID = state->zoneOf.at(old);
    const WinRef& oldRef = state->wins.at(old); // every candidate was found through its record
    pid_t oldPid = 0;
    const bool oldPidRead = accessibility.pidOf(oldRef.ax, oldPid) == AXError::success;
    const bool oldFrameRead = ax->frame(oldRef.ax).has_value();
    if (oldPidRead && oldFrameRead) {
        Log::wm.info("Adopt: skip virtual migration pid=%d old=%u new=%u — old window still alive", pid, old,
                     wid);
        return;
    }
    // Without a process on either side, "the same application" cannot be told: the one window recorded
    // without a pid may belong to any other application, and it may well be alive.
    if (pid == 0 || (!oldPidRead && oldFrameRead)) {
        Log::wm.info("Adopt: skip virtual migration pid=%d old=%u new=%u — process unknown", pid, old, wid);
        return;
    }
    if (isAuxiliaryWindow(wid, window, pid, *state)) {
        Log::wm.info("Adopt: skip virtual migration pid=%d old=%u new=%u — new window is auxiliary", pid, old,
                     wid);
        return;
    }
    Log::wm.info("Adopt: virtual migration pid=%d old=%u new=%u rid=%ld", pid, old, wid, zoneID);
    state->detach(old, zoneID);
    state->attach(WinRef{wid, pid, window, std::nullopt, ax->frame(window)}, zoneID);
    if (onWindowFocus) onWindowFocus(wid);
}

} // namespace korvane
