// The push as a placement transaction: the intent it opens, the refusal of auxiliary windows, the move,
// and the commit step with its retries.
#include "app/TransactionalPush.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/WindowMappingClassifier.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextCase.h"
#include "tracking/WindowTracker.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <utility>

namespace korvane {

using platform::AXElement;

namespace {

std::string slotID(const std::string& displayUUID, std::int64_t zoneID) {
    return displayUUID + ":r" + std::to_string(zoneID);
}

pid_t pidOf(platform::Accessibility& accessibility, const AXElement& element) {
    pid_t pid = 0;
    if (accessibility.pidOf(element, pid) != platform::AXError::success) return 0;
    return pid;
}

} // namespace

std::shared_ptr<TransactionalPush> TransactionalPush::create(platform::Platform& platform,
                                                             Dependencies dependencies) {
    return std::shared_ptr<TransactionalPush>(new TransactionalPush(platform, std::move(dependencies)));
}

TransactionalPush::TransactionalPush(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), mappingTransactions(std::move(dependencies.mappingTransactions)),
      displayLayoutEventBus(std::move(dependencies.displayLayoutEventBus)),
      controller(std::move(dependencies.controller)), multiState(std::move(dependencies.multiState)),
      tracker(std::move(dependencies.tracker)), ax(std::move(dependencies.ax)),
      classifier(std::move(dependencies.classifier)) {}

std::optional<std::string> TransactionalPush::bundleIDOf(pid_t pid) {
    if (pid == 0) return std::nullopt;
    auto app = platform_.workspace().runningApplication(pid);
    if (!app || !app->bundleID || app->bundleID->empty()) return std::nullopt;
    return app->bundleID;
}

std::optional<std::string> TransactionalPush::transactionalPush(const AXElement& window, int zoneID,
                                                                const std::string& displayUUID,
                                                                MappingIntentSource source,
                                                                const std::string& context,
                                                                MoveActivation activation, double timeToLive,
                                                                std::optional<std::int64_t> requiredEpoch) {
    auto& coordinator = *mappingTransactions;
    if (requiredEpoch) {
        const std::int64_t current = coordinator.currentEpoch(displayUUID);
        if (current != *requiredEpoch) {
            Log::wm.info(
                "[MappingTX] skip push reason=stale-required-epoch source=%s display=%s required=%ld "
                "current=%ld context=%s",
                toString(source), displayUUID, *requiredEpoch, current, context);
            return std::nullopt;
        }
    }

    // Published before the epoch is read: a display pass that the probe itself starts raises the epoch,
    // and only the attempts that run after it are to be judged against the new one.
    displayLayoutEventBus->publish(DisplayLayoutProbeEvent{
        DisplayLayoutProbeReason::prePush,
        "AppDelegate+MappingTransaction.transactionalPush." + std::string(toString(source)), false,
        displayUUID});

    auto& accessibility = platform_.accessibility();
    const pid_t pid = pidOf(accessibility, window);
    const std::optional<WindowID> wid = ax->windowID(window);
    const std::optional<std::string> bundleID = bundleIDOf(pid);

    coordinator.expireStale();
    const Nanos now = coordinator.nowProvider();
    MappingIntent intent;
    intent.id = platform_.processInfo().makeUUID();
    intent.source = source;
    intent.targetDisplayUUID = displayUUID;
    intent.targetZoneID = zoneID;
    intent.displayEpoch = coordinator.currentEpoch(displayUUID);
    if (pid != 0) intent.pid = pid;
    intent.bundleID = bundleID;
    intent.requestedWindowID = wid;
    intent.createdAt = now;
    // A time to live that is not a number counts as the shortest one.
    const double lifetime =
        std::isnan(timeToLive) ? kMinimumTimeToLive : std::max(timeToLive, kMinimumTimeToLive);
    intent.expiresAt = now + seconds(lifetime);
    intent.stage = MappingIntentStage::intent;
    intent.note = context;
    coordinator.intents[intent.id] = intent;

    const std::string widText = wid ? std::to_string(*wid) : std::string("-");
    Log::wm.info("[MappingTX] begin id=%{public}s source=%s display=%s rid=%ld epoch=%ld wid=%s pid=%d",
                 asciiUppercased(intent.id), toString(source), displayUUID, zoneID, intent.displayEpoch,
                 widText, pid);
    coordinator.log("slot.claim.created", intent, wid, intent.pid, 0.0);

    if (pid != 0 && bundleID && classifier->isAuxiliaryWindow(window, pid, *bundleID, displayUUID)) {
        Log::wm.info("[slot.claim.rejected.auxiliary] txID=%{public}s source=%s displayUUID=%s zoneID=%ld "
                     "slotID=%{public}s wid=%{public}s pid=%d elapsedMs=%{public}s",
                     asciiUppercased(intent.id), toString(source), displayUUID, zoneID,
                     slotID(displayUUID, zoneID), widText, pid, "0.0");
        coordinator.cancel(intent.id, "auxiliary preflight");
        return std::nullopt;
    }

    controller->moveWindow(
        window, controller->ax->windowID(window), pidOf(accessibility, window), zoneID, displayUUID,
        platform::format("AutoPush rid=%ld", zoneID), activation,
        [weak = weak_from_this(), id = intent.id, pid, wid, displayUUID, zoneID, context](MoveOutcome moved) {
            auto self = weak.lock();
            if (!self) return;
            switch (moved) {
            case MoveOutcome::outsideZone:
                // The zone does not hold the window, so no window may be committed for it: another window
                // of the application in the zone would stand for it.
                self->mappingTransactions->cancelAfterFailedMove(id, wid, context);
                return;
            case MoveOutcome::superseded:
                // The window was pushed again before this push had ended: the later one commits it.
                self->mappingTransactions->cancel(id, "superseded by a later move");
                return;
            case MoveOutcome::placed:
            case MoveOutcome::noZone:
                break;
            }
            self->commitMappingTransaction(id, pid, wid, displayUUID, zoneID, context, 0, kAttemptLimit);
        });
    return intent.id;
}

void TransactionalPush::commitMappingTransaction(const std::string& intentID, pid_t pid,
                                                 std::optional<WindowID> windowID,
                                                 const std::string& displayUUID, int zoneID,
                                                 const std::string& context, int attempt, int attemptLimit) {
    auto& coordinator = *mappingTransactions;
    coordinator.expireStale();
    coordinator.prune(kPruneAge);
    const auto intent = coordinator.intent(intentID);
    if (!intent || !intent->isOpen()) return;

    auto found = multiState->states.find(displayUUID);
    if (found == multiState->states.end() || !found->second) {
        coordinator.cancel(intentID, "missing state for " + displayUUID);
        return;
    }
    const WMState& state = *found->second;

    std::optional<WindowID> wid = resolveWindowForIntent(state, pid, windowID, displayUUID, zoneID);
    if (wid && isAuxiliaryForIntent(*wid, pid, displayUUID)) {
        const double elapsedMs = static_cast<double>(coordinator.nowProvider() - intent->createdAt) / 1e6;
        Log::wm.info("[slot.claim.rejected.auxiliary] txID=%{public}s source=%s displayUUID=%s zoneID=%ld "
                     "slotID=%{public}s wid=%{public}u pid=%d elapsedMs=%{public}s",
                     asciiUppercased(intentID), toString(intent->source), displayUUID, zoneID,
                     slotID(displayUUID, zoneID), *wid, pidForIntentWindow(*wid, pid),
                     platform::format("%.1f", elapsedMs));
        wid.reset();
    }

    if (wid) {
        coordinator.resolve(intentID, *wid);
        const auto validation = coordinator.commit(intentID, displayUUID, zoneID, *wid);
        if (validation.is<MappingCommitValidation::Committed>()) {
            Log::wm.info("[MappingTX] commit id=%{public}s wid=%u display=%s zid=%ld source=%s attempt=%ld",
                         asciiUppercased(intentID), *wid, displayUUID, zoneID, toString(intent->source),
                         attempt + 1);
        } else if (const auto* stale = validation.as<MappingCommitValidation::StaleEpoch>()) {
            Log::wm.info("[MappingTX] stale id=%{public}s expectedEpoch=%ld actualEpoch=%ld context=%s",
                         asciiUppercased(intentID), stale->expected, stale->actual, context);
        } else if (const auto* mismatch = validation.as<MappingCommitValidation::MismatchedTarget>()) {
            Log::wm.error(
                "[MappingTX] target mismatch id=%{public}s expected=%s/R%ld actual=%s/R%ld context=%s",
                asciiUppercased(intentID), mismatch->expectedDisplay, mismatch->expectedRegion,
                mismatch->actualDisplay, mismatch->actualRegion, context);
        } else if (validation.is<MappingCommitValidation::Expired>()) {
            Log::wm.info("[MappingTX] expired before commit id=%{public}s context=%s",
                         asciiUppercased(intentID), context);
        }
        return;
    }

    if (attempt + 1 < attemptLimit) {
        platform_.runLoop().postAfter(seconds(kRetryInterval), [weak = weak_from_this(), intentID, pid,
                                                                windowID, displayUUID, zoneID, context,
                                                                attempt, attemptLimit] {
            if (auto self = weak.lock())
                self->commitMappingTransaction(intentID, pid, windowID, displayUUID, zoneID, context,
                                               attempt + 1, attemptLimit);
        });
        return;
    }
    coordinator.cancel(intentID, "resolve timeout");
    Log::wm.error("[MappingTX] resolve timeout id=%{public}s source=%s display=%s zid=%ld pid=%d context=%s",
                  asciiUppercased(intentID), toString(intent->source), displayUUID, zoneID, pid, context);
}

std::optional<WindowID> TransactionalPush::resolveWindowForIntent(const WMState& state, pid_t pid,
                                                                  std::optional<WindowID> windowID,
                                                                  const std::string& displayUUID,
                                                                  int zoneID) {
    const std::set<WindowID> ignored = classifier->classifyWindowForMapping(displayUUID);
    auto inZone = [&](WindowID wid) {
        auto mapped = state.zoneOf.find(wid);
        return mapped != state.zoneOf.end() && mapped->second == zoneID && !ignored.count(wid);
    };
    if (windowID && inZone(*windowID)) return windowID;

    auto& accessibility = platform_.accessibility();
    const auto& managed = tracker->managed();
    if (auto zone = state.layout.zones.find(zoneID); zone != state.layout.zones.end()) {
        const auto& stack = zone->second.stack;
        for (auto entry = stack.rbegin(); entry != stack.rend(); ++entry) {
            if (!inZone(*entry)) continue;
            if (pid == 0) return *entry;
            if (auto ref = state.wins.find(*entry); ref != state.wins.end() && ref->second.pid == pid)
                return *entry;
            if (auto element = managed.find(*entry);
                element != managed.end() && pidOf(accessibility, element->second) == pid)
                return *entry;
        }
    }
    if (pid == 0) return std::nullopt;

    for (const auto& [number, element] : managed) {
        if (pidOf(accessibility, element) != pid) continue;
        if (auto wid = ax->windowID(element); wid && inZone(*wid)) return wid;
    }
    return std::nullopt;
}

bool TransactionalPush::isAuxiliaryForIntent(WindowID windowID, pid_t pid, const std::string& displayUUID) {
    if (classifier->classifyWindowForMapping(displayUUID).count(windowID)) return true;
    std::optional<AXElement> element;
    if (auto managed = tracker->managed().find(windowID); managed != tracker->managed().end())
        element = managed->second;
    else if (auto found = ax->axAndFrame(windowID))
        element = found->element;
    if (!element) return false;
    const pid_t owner = pid != 0 ? pid : pidOf(platform_.accessibility(), *element);
    const auto bundleID = bundleIDOf(owner);
    if (!bundleID) return false;
    return classifier->isAuxiliaryWindow(*element, owner, *bundleID, displayUUID);
}

pid_t TransactionalPush::pidForIntentWindow(WindowID windowID, pid_t pid) {
    if (pid != 0) return pid;
    for (const auto& [uuid, state] : multiState->states) {
        if (!state) continue;
        if (auto ref = state->wins.find(windowID); ref != state->wins.end() && ref->second.pid != 0)
            return ref->second.pid;
    }
    if (auto managed = tracker->managed().find(windowID); managed != tracker->managed().end())
        return pidOf(platform_.accessibility(), managed->second);
    return 0;
}

} // namespace korvane
