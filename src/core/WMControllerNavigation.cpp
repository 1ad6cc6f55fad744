// Moving the focus between and within zones: focusing a zone's top window, the adjacent zone, cycling a
// zone's stack, and the switcher's plain focus request. Activations run asynchronously and hold the
// activator weakly.
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "core/WindowActivator.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <algorithm>
#include <vector>

namespace korvane {

using platform::AXElement;
using platform::AXError;

namespace {

constexpr std::size_t kDetachedSampleSize = 20;

std::shared_ptr<WMState> stateOf(const MultiDisplayState& multiState, const std::string& displayUUID) {
    auto found = multiState.states.find(displayUUID);
    if (found == multiState.states.end()) return nullptr;
    return found->second;
}

} // namespace

void WMController::startFocusRequest(const AXElement& element, const std::string& reason,
                                     const std::optional<std::string>& fallbackTag, bool allowFallback) {
    std::weak_ptr<WindowActivator> weak = activator_;
    activator_->activateWindow(element, reason, false,
                               [weak, element, reason, fallbackTag, allowFallback](bool result) {
                                   WindowActivator::handleWindowFirstResult(weak, result, reason, fallbackTag,
                                                                            allowFallback, element, nullptr);
                               });
}

bool WMController::focusZone(int zoneID, const std::string& displayUUID) {
    auto state = stateOf(*multiState, displayUUID);
    if (!state) {
        Log::wm.error("FocusZone: Missing state for %s", displayUUID);
        return false;
    }
    Log::wm.info("FocusZone: Attempting Z%ld on %s (virtual mapping)", zoneID, displayUUID);
    prune(zoneID, *state);
    syncStackTopWithFocus(zoneID, *state);

    if (auto zone = state->zone(zoneID); zone && !zone->stack.empty()) {
        const WindowID top = zone->stack.back();
        if (auto element = activatableElement(top, *state)) {
            Log::wm.info("FocusZone: Found top window %u in stack memory", top);
            startFocusRequest(*element, platform::format("FocusZone[Stack] Z%ld", zoneID),
                              platform::format("FocusZoneFallback Z%ld", zoneID), true);
            return true;
        }
    }
    // A key pressed towards a zone that holds nothing to focus: the user sees that nothing comes forward,
    // and nothing has failed.
    Log::wm.info("FocusZone: No window found in Z%ld area on %s", zoneID, displayUUID);
    return false;
}

void WMController::syncStackTopWithFocus(int zoneID, WMState& state) {
    const auto zone = state.zone(zoneID);
    if (!zone) return;
    auto focused = ax->focusedWindow();
    if (!focused) focused = ax->focusedWindowSystemWide();
    if (!focused) return;
    const auto wid = ax->windowID(*focused);
    if (!wid) return;
    auto mapped = state.zoneOf.find(*wid);
    if (mapped == state.zoneOf.end() || mapped->second != zoneID) return;
    if (!zone->stack.empty() && zone->stack.back() == *wid) return;
    if (topRaisedOverFocus(zoneID, *wid, state)) return;
    if (auto ref = state.wins.find(*wid); ref != state.wins.end()) {
        const WinRef copy = ref->second; // attach replaces the record it is given
        state.attach(copy, zoneID);
    }
}

bool WMController::topRaisedOverFocus(int zoneID, WindowID focused, const WMState& state) {
    const auto zone = state.zone(zoneID);
    if (!zone || zone->stack.empty() || zone->stack.back() == focused) return false;
    const WindowID top = zone->stack.back();
    const auto ref = state.wins.find(top);
    if (ref == state.wins.end() || (top != cycledTo_ && ax->takesKeyboardFocus(ref->second.ax))) return false;
    const auto list = platform().windowServer().copyWindowInfo(platform::kOnScreenOnly);
    if (!list) return false;
    for (const auto& entry : *list) { // front to back
        const auto number = windowinfo::windowNumber(entry);
        if (number == top) return true;
        if (number == focused) return false;
    }
    return false;
}

void WMController::focusAdjacentZone(int direction, const std::string& displayUUID) {
    auto state = stateOf(*multiState, displayUUID);
    if (!state || state->layout.zones.empty()) return;

    std::vector<int> ids;
    for (const auto& [id, zone] : state->layout.zones)
        ids.push_back(id);
    std::sort(ids.begin(), ids.end());

    int current = ids.front();
    if (auto focused = ax->focusedWindow())
        if (auto wid = ax->windowID(*focused))
            if (auto mapped = state->zoneOf.find(*wid); mapped != state->zoneOf.end())
                current = mapped->second;

    auto at = std::find(ids.begin(), ids.end(), current);
    if (at == ids.end()) return; // mapped to a zone the layout no longer has

    // Wide arithmetic and a remainder brought back to 0...count-1 whatever the direction's size or sign.
    const long long count = static_cast<long long>(ids.size());
    const long long index = at - ids.begin();
    const long long target = ((index + static_cast<long long>(direction)) % count + count) % count;
    const int targetID = ids[static_cast<std::size_t>(target)];
    Log::wm.info("FocusAdjacentZone: %ld -> %ld (dir=%ld)", current, targetID, direction);
    focusZone(targetID, displayUUID);
}

void WMController::focusFallback(const AXElement& element) {
    startFocusRequest(element, "Focus request", std::string("FocusFallback"), true);
}

void WMController::cycle(int region, const std::string& displayUUID, int direction) {
    auto interval = Log::signposts.beginInterval("CycleInZone");
    auto state = stateOf(*multiState, displayUUID);
    if (!state) return;
    prune(region, *state);
    syncStackTopWithFocus(region, *state);

    const auto zone = state->zone(region);
    if (!zone) {
        Log::wm.error("Cycle: Zone %ld not found!", region);
        return;
    }
    if (zone->stack.empty()) {
        Log::wm.info("Cycle region=%ld dir=%ld has empty stack", region, direction);
        return;
    }
    if (zone->stack.size() == 1) {
        Log::wm.info("Cycle region=%ld dir=%ld has single window, nothing to cycle", region, direction);
        if (onCycleBounce) onCycleBounce(displayUUID);
        return;
    }

    auto describeTops = [](const WMState::CycleResult& r) {
        return " oldTop=" + platform::describeOptional(r.topBefore) +
               " newTop=" + platform::describeOptional(r.topAfter);
    };
    const std::string prefix = platform::format("Cycle region=%ld dir=%ld", region, direction);

    std::vector<WindowID> detached;
    WMState::CycleResult last;
    bool started = false;
    const std::size_t rotations = zone->stack.size();
    for (std::size_t i = 0; i < rotations; ++i) {
        last = state->cycle(region, direction);
        if (!last.topAfter) break;
        const WindowID top = *last.topAfter;
        if (auto element = resolveElementForCycle(top, *state)) {
            cycledTo_ = top;
            startFocusRequest(*element, platform::format("Cycle rid=%ld dir=%ld", region, direction),
                              std::nullopt, false);
            Log::wm.info("%s", prefix + describeTops(last));
            started = true;
            break;
        }
        Log::wm.error("Cycle: unable to resolve AX element for wid=%u; detaching from R%ld", top, region);
        state->detach(top, region);
        detached.push_back(top);
    }

    if (!detached.empty()) {
        const std::size_t n = std::min(kDetachedSampleSize, detached.size());
        Log::wm.error("Cycle: removed %ld invalid window(s) from R%ld. sample=%s", detached.size(), region,
                      platform::describeList(
                          std::vector<WindowID>(detached.begin(), detached.begin() + static_cast<long>(n))));
    }
    if (!started) Log::wm.error("%s", prefix + " no resolvable window" + describeTops(last));
}

std::optional<AXElement> WMController::resolveElementForCycle(WindowID wid, const WMState& state) {
    auto& accessibility = platform().accessibility();
    const auto cached = state.wins.find(wid);
    const bool hasCached = cached != state.wins.end();
    Log::wm.debug("Cycle: Resolving AX element for wid=%u, cached in state.wins: %{bool}d", wid, hasCached);

    if (!hasCached) {
        Log::wm.info("Cycle: No cached ref for wid=%u, doing fresh lookup", wid);
        auto found = ax->axAndFrame(wid, false);
        if (!found) return std::nullopt;
        pid_t pid = 0;
        if (accessibility.pidOf(found->element, pid) != AXError::success) pid = 0;
        if (pid == 0) return found->element;
        // The window is not in `wins`, so the auxiliary test builds it from the found element and groups
        // it with the application's managed windows, which is exactly the classification wanted here.
        if (isAuxiliaryWindow(wid, found->element, pid, state)) {
            Log::wm.error("Cycle: wid=%u classified as auxiliary from fresh lookup; skip", wid);
            return std::nullopt;
        }
        return found->element;
    }

    const WinRef& ref = cached->second;
    // Looks the window up by number alone, never settling for another window of the application.
    auto strictLookup = [&](const char* auxiliaryMessage) -> std::optional<AXElement> {
        std::optional<ElementAndFrame> found;
        if (ref.pid != 0) found = ax->axAndFrame(wid, ref.pid, false);
        if (!found) found = ax->axAndFrame(wid, false);
        if (!found) return std::nullopt;
        if (isAuxiliaryWindow(wid, found->element, ref.pid, state)) {
            Log::wm.error(auxiliaryMessage, wid);
            return std::nullopt;
        }
        return found->element;
    };

    pid_t pid = 0;
    const AXError pidResult = accessibility.pidOf(ref.ax, pid);
    const auto frame = ax->frame(ref.ax);
    const auto number = ax->windowID(ref.ax);
    Log::wm.info("%s",
                 platform::format("Cycle: Cached AX - pidResult=%d, cachedPid=%d, cachedWid=%s, "
                                  "cachedFrame=%{bool}d",
                                  platform::axErrorCode(pidResult), ref.pid,
                                  number ? std::to_string(*number) : std::string("nil"), frame.has_value()));

    if (pidResult != AXError::success || !frame) {
        Log::wm.error("%s", platform::format("Cycle: Cached AX is invalid (pidResult=%d, hasFrame=%{bool}d), "
                                             "trying fresh lookup",
                                             platform::axErrorCode(pidResult), frame.has_value()));
        return strictLookup("Cycle: wid=%u classified as auxiliary after invalid-cache refresh; skip");
    }
    if (!number) {
        Log::wm.error("Cycle: Cached AX has no window number for wid=%u; forcing strict lookup", wid);
        return strictLookup("Cycle: wid=%u classified as auxiliary after strict lookup; skip");
    }
    if (*number != wid) {
        Log::wm.error("Cycle: Cached AX points to wid=%u but expected %u", *number, wid);
        return strictLookup("Cycle: wid=%u classified as auxiliary after stale-cache recovery; skip");
    }
    Log::wm.info("Cycle: Using cached AX (wid matches)");
    if (isAuxiliaryWindow(wid, ref.ax, ref.pid, state)) {
        Log::wm.error("Cycle: wid=%u classified as auxiliary; skip", wid);
        return std::nullopt;
    }
    return ref.ax;
}

} // namespace korvane
