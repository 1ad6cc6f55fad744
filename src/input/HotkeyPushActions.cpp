// The push hot keys: each finds the focused window, works out the target zone and hands the move to the
// transactional push.
#include "input/HotkeyPushActions.h"

#include "app/DisplayLayouts.h"
#include "app/DisplayRecords.h"
#include "app/DisplayUtil.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "app/TransactionalPush.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/WMState.h"
#include "input/HotkeyActions.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <algorithm>
#include <vector>

namespace korvane {

namespace {

constexpr const char* kNotInAnyZone = "Window not in any zone";
constexpr const char* kOnlyOneDisplay = "Only one display";

std::shared_ptr<WMState> stateOf(const MultiDisplayState& multiState, const std::string& displayUUID) {
    auto found = multiState.states.find(displayUUID);
    return found == multiState.states.end() ? nullptr : found->second;
}

} // namespace

HotkeyPushActions::HotkeyPushActions(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), multiState(std::move(dependencies.multiState)),
      displayRecords(std::move(dependencies.displayRecords)),
      displayLayouts(std::move(dependencies.displayLayouts)),
      zoneActions(std::move(dependencies.zoneActions)),
      transactionalPush(std::move(dependencies.transactionalPush)),
      statusBarEventBus(std::move(dependencies.statusBarEventBus)) {}

std::optional<DisplayRecords::FocusedWindow> HotkeyPushActions::windowToPush(const std::string& key) {
    if (keyboardHeld && keyboardHeld()) {
        Log::app.info("%s: Korvane's own window holds the keyboard; nothing pushed", key);
        return std::nullopt;
    }
    auto focused = displayRecords->focusedWindow();
    if (!focused) {
        Log::app.error("%s: no focused window", key);
        return std::nullopt;
    }
    if (isOwnWindow(platform_, focused->element)) {
        Log::app.info("%s: the focused window is Korvane's own; nothing pushed", key);
        return std::nullopt;
    }
    return focused;
}

void HotkeyPushActions::handlePushRegionHotkey(int zone) {
    const auto focused = windowToPush("Push R" + std::to_string(zone));
    if (!focused) return;
    const std::string& display = focused->displayUUID;
    displayLayouts->ensureDisplayLayoutSynced(display);
    // Looked up after the sync, which may have given the display a new state.
    const auto state = stateOf(*multiState, display);
    if (!state || state->layout.zones.empty() || !state->layout.zones.contains(zone)) {
        Log::app.error("Push R%ld: region not exists on %s", zone, display);
        return;
    }
    Log::app.info("Push R%ld on %s (pendingTarget=%s)", zone, display, "none");
    push(focused->element, zone, display, "hotkey.push.R" + std::to_string(zone));
    publishRefresh("AppDelegate+Hotkeys.handlePushRegionHotkey");
}

void HotkeyPushActions::handlePushLeftHotkey() {
    pushSideways(-1);
}

void HotkeyPushActions::handlePushRightHotkey() {
    pushSideways(+1);
}

void HotkeyPushActions::pushSideways(int step) {
    const char* word = step < 0 ? "Left" : "Right";
    const auto focused = windowToPush(std::string("Push ") + word);
    if (!focused) return;
    const std::string& display = focused->displayUUID;
    const auto state = stateOf(*multiState, display);
    if (!state) return;

    const auto current = zoneActions->adoptWindowByGeometry(focused->element, *state, display);
    if (!current) {
        Log::app.error("Push %s: window not in any zone", word);
        toast(kNotInAnyZone, display);
        return;
    }

    // Ids below 1 never take part; the map keeps the ids in ascending order.
    std::vector<int> sortedZones;
    for (const auto& [id, zone] : state->layout.zones)
        if (id >= 1) sortedZones.push_back(id);
    const auto position = std::find(sortedZones.begin(), sortedZones.end(), *current);
    if (position == sortedZones.end()) {
        Log::app.error("Push %s: currentZone=%ld not found in sortedZones=%s", word, *current,
                       platform::describeList(sortedZones));
        return;
    }
    const auto n = static_cast<long>(sortedZones.size());
    const long i = position - sortedZones.begin();
    const int target = sortedZones[static_cast<std::size_t>((i + step + n) % n)];

    Log::app.info("Push %s: zone %ld -> %ld (zones=%s)", word, *current, target,
                  platform::describeList(sortedZones));
    push(focused->element, target, display, step < 0 ? "hotkey.push.left" : "hotkey.push.right");
    publishRefresh(step < 0 ? "AppDelegate+Hotkeys.handlePushLeftHotkey"
                            : "AppDelegate+Hotkeys.handlePushRightHotkey");
}

void HotkeyPushActions::handlePushDisplayHotkey(int direction) {
    const auto focused = windowToPush("Push Display");
    if (!focused) return;
    const std::string& source = focused->displayUUID;
    const auto displays = DisplayUtil::availableDisplayUUIDs(platform_.screens());
    const auto position = std::find(displays.begin(), displays.end(), source);
    if (position == displays.end()) return;

    const auto n = static_cast<long>(displays.size());
    const long i = position - displays.begin();
    // Wraps both ways: a negative remainder is raised by n.
    long index = (i + direction) % n;
    if (index < 0) index += n;
    const std::string& target = displays[static_cast<std::size_t>(index)];
    if (target == source) {
        Log::app.info("Push Display: only one display available");
        toast(kOnlyOneDisplay, source);
        return;
    }

    const auto state = stateOf(*multiState, target);
    if (!state || !state->layout.zones.contains(1)) {
        Log::app.error("Push Display: target display has no zone 1");
        return;
    }
    const std::string word = direction > 0 ? "next" : "prev";
    Log::app.info("Push Display %s: %s -> %s", word, source, target);
    push(focused->element, 1, target, "hotkey.push.display." + word);
    publishRefresh("AppDelegate+Hotkeys.handlePushDisplayHotkey");
}

void HotkeyPushActions::push(const platform::AXElement& window, int zone, const std::string& displayUUID,
                             const std::string& context) {
    // The transaction logs its own outcome; the hot key has nothing to add to it.
    (void)transactionalPush->transactionalPush(window, zone, displayUUID, MappingIntentSource::hotkeyPush,
                                               context, MoveActivation::activate, kPushTimeToLive);
}

void HotkeyPushActions::publishRefresh(const std::string& source) {
    statusBarEventBus->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, source));
}

void HotkeyPushActions::toast(const std::string& message, const std::string& displayUUID) {
    if (showToast) showToast(message, displayUUID, kToastDuration);
}

} // namespace korvane
