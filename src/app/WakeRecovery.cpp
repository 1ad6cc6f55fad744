// The timeline of a wake recovery and the token that ties its steps to their wake.
#include "app/WakeRecovery.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/WakeSlotReplay.h"
#include "app/WindowMappingRebuild.h"
#include "app/ZoneMemberships.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/WMController.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "tracking/WindowTracker.h"

#include <cstdint>
#include <utility>

namespace korvane {

namespace {

constexpr const char* kProbeSource = "AppDelegate+Display.handleSystemWake";

// "system-wake-250ms": the pass's delay after the wake, in whole milliseconds.
std::string wakeReason(Nanos delay) {
    return "system-wake-" + std::to_string((delay + 500'000) / 1'000'000) + "ms";
}

} // namespace

std::shared_ptr<WakeRecovery> WakeRecovery::create(platform::Platform& platform, Dependencies dependencies) {
    return std::shared_ptr<WakeRecovery>(new WakeRecovery(platform, std::move(dependencies)));
}

WakeRecovery::WakeRecovery(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)) {}

bool WakeRecovery::isCurrent(const std::string& token) const {
    return wakeRecoveryInProgress_ && wakeRecoveryToken_ == token;
}

void WakeRecovery::handleSystemWake() {
    auto& loop = platform_.runLoop();
    const Nanos wokeAt = loop.now();
    Log::app.info("[SystemWake] System wake detected, refreshing services...");
    const std::string token = beginWakeRecovery();
    // The replays put windows where the layout memory says their applications belong, and the memory is
    // otherwise written only at a layout change and at quit: a window pushed to another zone since then
    // would be taken back to its old one while it stays where it is on screen.
    deps_.memberships->recordAllMemberships();

    deps_.tracker->refreshAfterWake();
    Log::app.info("[SystemWake] WindowTracker refreshed, managed=%ld",
                  static_cast<std::int64_t>(deps_.tracker->managedIDs().size()));

    // The first accessibility call and the first window-list read after a sleep can be slow; they are
    // made off the main thread so that the steps below do not pay for them. The results are of no use.
    // The block only asks whether the recovery still exists: taking a strong reference there could make
    // it the last owner and end the recovery off the main thread.
    const std::weak_ptr<WakeRecovery> weak = weak_from_this();
    loop.dispatchGlobal(platform::QueueQoS::UserInitiated, [weak, ax = deps_.ax] {
        if (!weak.expired()) (void)ax->focusedWindow();
        Log::app.info("[SystemWake] AX connection prewarmed");
    });
    loop.dispatchGlobal(platform::QueueQoS::UserInitiated, [&windowServer = platform_.windowServer()] {
        (void)windowServer.copyWindowInfo(platform::kOnScreenOnly);
        Log::app.info("[SystemWake] _NET_CLIENT_LIST_STACKING prewarmed");
    });

    for (const Nanos delay : slotReplayDelays)
        loop.postAfter(delay, [weak, token, delay] {
            auto self = weak.lock();
            if (self && self->isCurrent(token))
                self->deps_.slotReplay->replayWakeSlotAssignments(wakeReason(delay));
        });
    for (std::size_t i = 0; i < mappingPassDelays.size(); ++i) {
        const Nanos delay = mappingPassDelays[i];
        // Only the last pass asks to prune; the recovery still holds it back.
        const bool allowPrune = i + 1 == mappingPassDelays.size();
        loop.scheduleTimer(
            delay, false, platform::RunLoopMode::Default, [weak, token, delay, allowPrune](platform::Timer&) {
                auto self = weak.lock();
                if (self && self->isCurrent(token))
                    self->deps_.mappingRebuild->rebuildWindowRegionMappings(allowPrune, wakeReason(delay));
            });
    }
    loop.scheduleTimer(
        displayProbeDelay, false, platform::RunLoopMode::Default, [weak, token, wokeAt](platform::Timer&) {
            auto self = weak.lock();
            if (!self || !self->isCurrent(token)) return;
            self->deps_.displayLayoutEventBus->publish(DisplayLayoutProbeEvent{
                DisplayLayoutProbeReason::systemWake, kProbeSource, false, std::nullopt});
            const double elapsedMs = static_cast<double>(self->platform_.runLoop().now() - wokeAt) / 1e6;
            Log::app.info("[SystemWake] Wake refresh scheduled in %sms token=%{public}s",
                          platform::format("%.1f", elapsedMs), token);
        });
    loop.scheduleTimer(seconds(wakeRecoveryPruneSuppression), false, platform::RunLoopMode::Default,
                       [weak, token](platform::Timer&) {
                           if (auto self = weak.lock()) self->endWakeRecovery(token, "timer");
                       });
}

std::string WakeRecovery::beginWakeRecovery() {
    std::string token = platform_.processInfo().makeUUID();
    wakeRecoveryInProgress_ = true;
    wakeRecoveryToken_ = token;
    // Windows hidden by the sleep were not gone: their grace starts again after the recovery.
    deps_.mappingRebuild->forgetMissingWindows();
    deps_.controller->suppressPruneUntil =
        platform_.runLoop().wallClock() + seconds(controllerPruneSuppression);
    Log::app.info("[WakeRecovery] begin token=%{public}s suppressRebuildPruneFor=%.*fs "
                  "suppressControllerPruneFor=%.*fs",
                  token, 2, wakeRecoveryPruneSuppression, 2, controllerPruneSuppression);
    return token;
}

void WakeRecovery::endWakeRecovery(const std::string& token, const std::string& reason) {
    if (wakeRecoveryToken_ != token) {
        Log::app.debug("[WakeRecovery] end skipped token mismatch reason=%s", reason);
        return;
    }
    wakeRecoveryInProgress_ = false;
    wakeRecoveryToken_.reset();
    Log::app.info("[WakeRecovery] end token=%{public}s reason=%s", token, reason);
    deps_.mappingRebuild->rebuildWindowRegionMappings(true, "system-wake-final:" + reason);
}

} // namespace korvane
