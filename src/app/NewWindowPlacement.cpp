// Placing the windows of applications launched for a scene restore as they appear.
#include "app/NewWindowPlacement.h"

#include "app/WindowMappingClassifier.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <limits>
#include <utility>

namespace korvane {

using platform::AXElement;

namespace {

// Shown for an application that has no bundle identifier; such an application is never placed.
constexpr const char* kNoBundle = "-";

bool fitsZoneID(std::int64_t zoneID) {
    return zoneID >= std::numeric_limits<int>::min() && zoneID <= std::numeric_limits<int>::max();
}

} // namespace

std::shared_ptr<NewWindowPlacement> NewWindowPlacement::create(platform::Platform& platform,
                                                               Dependencies dependencies) {
    return std::shared_ptr<NewWindowPlacement>(new NewWindowPlacement(platform, std::move(dependencies)));
}

NewWindowPlacement::NewWindowPlacement(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), mappingTransactions(std::move(dependencies.mappingTransactions)),
      controller(std::move(dependencies.controller)), ax(std::move(dependencies.ax)),
      classifier(std::move(dependencies.classifier)) {}

void NewWindowPlacement::windowTracker(WindowTracker&, const AXElement& didAddWindow, pid_t pid) {
    windowTrackerDidCreateWindow(didAddWindow, pid);
}

void NewWindowPlacement::windowTracker(WindowTracker&, const AXElement&, pid_t, const std::string&) {}

void NewWindowPlacement::windowTrackerDidDestroyWindow(WindowTracker&, WindowID wid, pid_t pid) {
    // A record of another process under the number is a later window's, placed before this end was heard.
    if (!recordedForAnotherProcess(wid, pid)) forget(wid);
}

bool NewWindowPlacement::recordedForAnotherProcess(WindowID wid, pid_t pid) const {
    if (pid == 0) return false;
    for (const auto& [displayUUID, state] : controller->multiState->states) {
        if (!state) continue;
        const auto ref = state->wins.find(wid);
        if (ref != state->wins.end() && ref->second.pid != 0 && ref->second.pid != pid) return true;
    }
    return false;
}

void NewWindowPlacement::forget(WindowID wid) {
    for (const auto& [displayUUID, zone] : controller->multiState->forget(wid))
        Log::app.info("[Tracker] Ended window wid=%u left zone %ld of display %s", wid, zone, displayUUID);
    // A start whose window ended while it was on its way has no window any more: left open, it would be
    // taken for one still awaited, and the zone's next restore would start nothing for it.
    for (const auto& [id, intent] : mappingTransactions->intents)
        if (intent.source == MappingIntentSource::autoLaunch && intent.resolvedWindowID == wid &&
            intent.stage == MappingIntentStage::resolved) {
            Log::app.info("[Tracker] AutoLaunch window wid=%u ended before it was placed in zone %ld", wid,
                          intent.targetZoneID);
            mappingTransactions->cancel(id, "window ended");
        }
}

bool NewWindowPlacement::placedAlready(WindowID wid) const {
    // Only a claim still in flight counts: once committed the zone holds the window, and a committed claim
    // outlives its window, whose id the server hands out again to a later client's window.
    for (const auto& [id, intent] : mappingTransactions->intents)
        if (intent.source == MappingIntentSource::autoLaunch && intent.resolvedWindowID == wid &&
            intent.stage == MappingIntentStage::resolved)
            return true;
    for (const auto& [displayUUID, state] : controller->multiState->states)
        if (state && state->zoneOf.contains(wid)) return true;
    return false;
}

std::optional<MappingIntent> NewWindowPlacement::claimableIntent(const std::string& bundleID, WindowID wid) {
    // The claim stays open until the deferred move commits it, so a second window of the same batch would
    // find it still open; it must not take the place the first one was promised.
    auto claimable = [&](const MappingIntent& intent) {
        return intent.stage == MappingIntentStage::intent ||
               (intent.stage == MappingIntentStage::resolved && intent.resolvedWindowID == wid);
    };
    auto first = mappingTransactions->openIntent(MappingIntentSource::autoLaunch, bundleID);
    if (!first || claimable(*first)) return first;
    for (const auto& [id, intent] : mappingTransactions->intents) {
        if (intent.source == MappingIntentSource::autoLaunch && intent.bundleID == bundleID &&
            claimable(intent))
            return intent;
    }
    return std::nullopt;
}

void NewWindowPlacement::windowTrackerDidCreateWindow(const AXElement& window, pid_t pid) {
    // A window that comes under a number recorded for another process's window: that one ended unheard.
    if (const auto number = ax->windowID(window); number && recordedForAnotherProcess(*number, pid))
        forget(*number);
    std::string bundleID = kNoBundle;
    if (auto app = platform_.workspace().runningApplication(pid);
        app && app->bundleID && !app->bundleID->empty())
        bundleID = *app->bundleID;
    if (bundleID == kNoBundle) {
        Log::app.debug("[Tracker] Window created with missing bundleID pid=%d", pid);
        return;
    }

    const std::optional<WindowID> wid = ax->windowID(window);
    std::optional<MappingIntent> intent;
    // The tracker reports an application's windows again (a copy of it starting, a look after a launch):
    // one a launch took already, or a zone holds, is no new window, and taking it would pull it out of its
    // zone and leave the window the new start makes without one.
    if (wid && !placedAlready(*wid))
        intent = claimableIntent(bundleID, *wid);
    else
        mappingTransactions->openIntent(MappingIntentSource::autoLaunch, bundleID); // expires the overdue
    if (intent && wid) {
        Log::app.info("[Tracker] AutoLaunch intent matched wid=%u bundle=%s zone=%ld display=%s", *wid,
                      bundleID, intent->targetZoneID, intent->targetDisplayUUID);
        mappingTransactions->resolve(intent->id, *wid);
        platform_.runLoop().post([weak = weak_from_this(), window, intent = *intent, wid] {
            if (auto self = weak.lock()) self->autoPush(window, intent, wid);
        });
        return;
    }

    if (!classifier->isAuxiliaryWindow(window, pid, bundleID, std::nullopt)) return;
    if (auto number = ax->windowID(window))
        Log::app.info("[Tracker] Skip auxiliary created window wid=%u bundle=%s", *number, bundleID);
    else
        Log::app.info("[Tracker] Skip auxiliary created window (no wid) bundle=%s", bundleID);
}

void NewWindowPlacement::autoPush(const AXElement& window, const MappingIntent& intent,
                                  std::optional<WindowID> createdWindowID) {
    // Between the claim and this turn the intent may have been withdrawn or taken over; committing it
    // then would record a placement that nobody asked for any more.
    const auto current = mappingTransactions->intent(intent.id);
    if (!current || !current->isOpen() ||
        (current->resolvedWindowID && createdWindowID && *current->resolvedWindowID != *createdWindowID))
        return;

    // Aimed as it is now: a later restore may have turned it to a zone of its own.
    const std::int64_t zone = current->targetZoneID;
    const std::string& display = current->targetDisplayUUID;
    if (!fitsZoneID(zone)) {
        // No layout has such a zone; the controller would say the same of any zone it cannot find.
        Log::wm.error("Zone not found id=%ld on display %s", zone, display);
        mappingTransactions->cancelAfterFailedMove(intent.id, createdWindowID, current->note);
        return;
    }
    pid_t pid = 0;
    if (platform_.accessibility().pidOf(window, pid) != platform::AXError::success) pid = 0;
    controller->moveWindow(
        window, ax->windowID(window), pid, static_cast<int>(zone), display,
        platform::format("AutoPush rid=%ld", zone), MoveActivation::leaveFocus,
        [weak = weak_from_this(), window, intent = *current, createdWindowID](MoveOutcome moved) {
            if (auto self = weak.lock()) self->autoPushEnded(window, intent, createdWindowID, moved);
        });
}

void NewWindowPlacement::autoPushEnded(const AXElement& window, const MappingIntent& intent,
                                       std::optional<WindowID> createdWindowID, MoveOutcome moved) {
    // A later restore may have withdrawn the start, or aimed it at a zone of its own, while the window
    // moved: a withdrawn one is no placement any more, and a re-aimed one places the window where it is
    // aimed now.
    const auto current = mappingTransactions->intent(intent.id);
    if (!current || !current->isOpen()) {
        Log::app.info("[Tracker] AutoLaunch intent withdrawn while its window moved wid=%s",
                      createdWindowID ? std::to_string(*createdWindowID) : std::string("-"));
        return;
    }
    if (current->targetDisplayUUID != intent.targetDisplayUUID ||
        current->targetZoneID != intent.targetZoneID || current->displayEpoch != intent.displayEpoch) {
        Log::app.info("[Tracker] AutoLaunch intent re-aimed while its window moved: zone=%ld display=%s",
                      current->targetZoneID, current->targetDisplayUUID);
        autoPush(window, *current, createdWindowID);
        return;
    }
    // The zone holds the window only when the move got it there; any other window of the application
    // would be recorded in its place.
    if (moved != MoveOutcome::placed) {
        mappingTransactions->cancelAfterFailedMove(intent.id, createdWindowID, intent.note);
        return;
    }
    mappingTransactions->commit(intent.id, intent.targetDisplayUUID, intent.targetZoneID, createdWindowID);
}

} // namespace korvane
