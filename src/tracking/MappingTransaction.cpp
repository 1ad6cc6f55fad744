// The mapping transaction coordinator: intents, per-display epochs, expiry and the claim log lines.
#include "tracking/MappingTransaction.h"

#include "core/Log.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <utility>

namespace korvane {

namespace {

constexpr std::array<std::pair<MappingIntentStage, std::string_view>, 5> kStages = {{
    {MappingIntentStage::intent, "intent"},
    {MappingIntentStage::resolved, "resolved"},
    {MappingIntentStage::committed, "committed"},
    {MappingIntentStage::expired, "expired"},
    {MappingIntentStage::cancelled, "cancelled"},
}};

constexpr std::array<std::pair<MappingIntentSource, std::string_view>, 8> kSources = {{
    {MappingIntentSource::layoutApply, "layout.apply"},
    {MappingIntentSource::hotkeyPush, "hotkey.push"},
    {MappingIntentSource::manualPush, "manual.push"},
    {MappingIntentSource::trackerCreate, "tracker.create"},
    {MappingIntentSource::autoLaunch, "autolaunch"},
    {MappingIntentSource::gather, "gather"},
    {MappingIntentSource::gatherGlobal, "gather.global"},
    {MappingIntentSource::displayChange, "display.change"},
}};

template <class E, std::size_t N>
std::string_view nameOf(const std::array<std::pair<E, std::string_view>, N>& table, E value) {
    for (const auto& [v, name] : table)
        if (v == value) return name;
    return {};
}

template <class E, std::size_t N>
std::optional<E> valueOf(const std::array<std::pair<E, std::string_view>, N>& table, std::string_view text) {
    for (const auto& [v, name] : table)
        if (name == text) return v;
    return std::nullopt;
}

double elapsedMs(const MappingIntent& intent, Nanos now) {
    return static_cast<double>(now - intent.createdAt) / 1e6;
}

} // namespace

std::string_view toString(MappingIntentStage stage) {
    return nameOf(kStages, stage);
}
std::optional<MappingIntentStage> mappingIntentStageFrom(std::string_view text) {
    return valueOf(kStages, text);
}
std::string_view toString(MappingIntentSource source) {
    return nameOf(kSources, source);
}
std::optional<MappingIntentSource> mappingIntentSourceFrom(std::string_view text) {
    return valueOf(kSources, text);
}

MappingTransactionCoordinator::MappingTransactionCoordinator()
    : nowProvider([] { return platform::Platform::current().runLoop().wallClock(); }) {}

std::int64_t MappingTransactionCoordinator::currentEpoch(const std::string& displayUUID) const {
    auto found = displayEpochByUUID.find(displayUUID);
    return found == displayEpochByUUID.end() ? 0 : found->second;
}

std::int64_t MappingTransactionCoordinator::bumpEpoch(const std::string& displayUUID,
                                                      const std::string& reason) {
    const std::int64_t epoch = currentEpoch(displayUUID) + 1;
    displayEpochByUUID[displayUUID] = epoch;
    Log::wm.info("[MappingTX] epoch bump display=%s epoch=%ld reason=%s", displayUUID, epoch, reason);
    return epoch;
}

int MappingTransactionCoordinator::expireStale(std::optional<Nanos> now) {
    const Nanos at = now ? *now : nowProvider();
    int expired = 0;
    for (auto& [id, intent] : intents) {
        if (!intent.isOpen() || !(at > intent.expiresAt)) continue;
        intent.stage = MappingIntentStage::expired;
        ++expired;
        log("slot.claim.expired", intent,
            intent.resolvedWindowID ? intent.resolvedWindowID : intent.requestedWindowID, intent.pid,
            elapsedMs(intent, at));
    }
    return expired;
}

void MappingTransactionCoordinator::prune(double olderThan) {
    // An age that is not a number says nothing, so everything stays. An age longer than 64-bit
    // nanoseconds reach back from now puts the cutoff at the earliest instant instead of overflowing.
    if (std::isnan(olderThan)) return;
    constexpr double kLongestAgeSeconds = 9.0e9;
    constexpr Nanos kEarliest = std::numeric_limits<Nanos>::min();
    const double age = std::max(olderThan, 1.0);
    const Nanos span = age < kLongestAgeSeconds ? seconds(age) : std::numeric_limits<Nanos>::max();
    const Nanos now = nowProvider();
    const Nanos cutoff = now < kEarliest + span ? kEarliest : now - span;
    std::erase_if(intents, [&](const auto& entry) {
        const MappingIntent& intent = entry.second;
        switch (intent.stage) {
        case MappingIntentStage::intent:
        case MappingIntentStage::resolved:
            return false;
        case MappingIntentStage::expired:
        case MappingIntentStage::cancelled:
            return intent.expiresAt < cutoff;
        case MappingIntentStage::committed:
            return !intent.committedAt || *intent.committedAt < cutoff;
        }
        return true;
    });
}

std::optional<MappingIntent> MappingTransactionCoordinator::intent(const std::string& id) const {
    auto found = intents.find(id);
    if (found == intents.end()) return std::nullopt;
    return found->second;
}

void MappingTransactionCoordinator::cancel(const std::string& intentID, const std::string& note) {
    auto found = intents.find(intentID);
    if (found == intents.end() || found->second.stage == MappingIntentStage::committed) return;
    found->second.stage = MappingIntentStage::cancelled;
    found->second.note = note;
}

void MappingTransactionCoordinator::cancelAfterFailedMove(const std::string& intentID,
                                                          std::optional<WindowID> windowID,
                                                          const std::string& context) {
    auto found = intents.find(intentID);
    if (found == intents.end()) return;
    cancel(intentID, "move failed");
    const MappingIntent& intent = found->second;
    Log::wm.error("[MappingTX] move failed id=%{public}s source=%s display=%s zid=%ld wid=%s context=%s",
                  asciiUppercased(intent.id), toString(intent.source), intent.targetDisplayUUID,
                  intent.targetZoneID, windowID ? std::to_string(*windowID) : std::string("-"), context);
}

bool MappingTransactionCoordinator::resolve(const std::string& intentID, WindowID windowID) {
    auto found = intents.find(intentID);
    if (found == intents.end()) return false;
    MappingIntent& intent = found->second;
    if (!intent.isOpen()) return false;

    const Nanos now = nowProvider();
    if (now > intent.expiresAt) {
        intent.stage = MappingIntentStage::expired;
        log("slot.claim.expired", intent, windowID, intent.pid, elapsedMs(intent, now));
        return false;
    }
    intent.stage = MappingIntentStage::resolved;
    intent.resolvedWindowID = windowID;
    log("slot.claim.resolved", intent, windowID, intent.pid, elapsedMs(intent, now));
    return true;
}

MappingCommitValidation MappingTransactionCoordinator::commit(const std::string& intentID,
                                                              const std::string& displayUUID,
                                                              std::int64_t regionID,
                                                              std::optional<WindowID> windowID) {
    auto found = intents.find(intentID);
    if (found == intents.end()) return {MappingCommitValidation::MissingIntent{}};
    MappingIntent& intent = found->second;

    // Expiry is decided first, so an overdue intent reports `expired` even when its target is wrong too.
    const Nanos now = nowProvider();
    if (now > intent.expiresAt) {
        intent.stage = MappingIntentStage::expired;
        log("slot.claim.expired", intent, windowID, intent.pid, elapsedMs(intent, now));
        return {MappingCommitValidation::Expired{}};
    }

    if (intent.targetDisplayUUID != displayUUID || intent.targetZoneID != regionID) {
        return {MappingCommitValidation::MismatchedTarget{intent.targetDisplayUUID, displayUUID,
                                                          intent.targetZoneID, regionID}};
    }

    const std::int64_t current = currentEpoch(intent.targetDisplayUUID);
    if (intent.displayEpoch != current) {
        intent.stage = MappingIntentStage::expired;
        log("slot.claim.rejected.epoch", intent, windowID ? windowID : intent.resolvedWindowID, intent.pid,
            elapsedMs(intent, now));
        return {MappingCommitValidation::StaleEpoch{intent.displayEpoch, current}};
    }

    if (!windowID && !intent.resolvedWindowID) return {MappingCommitValidation::Unresolved{}};
    if (windowID) intent.resolvedWindowID = windowID;
    intent.stage = MappingIntentStage::committed;
    intent.committedAt = now;
    log("slot.claim.committed", intent, intent.resolvedWindowID, intent.pid, elapsedMs(intent, now));
    return {MappingCommitValidation::Committed{}};
}

std::optional<MappingIntent>
MappingTransactionCoordinator::openIntent(MappingIntentSource source,
                                          const std::optional<std::string>& bundleID) {
    expireStale(nowProvider());
    for (const auto& [id, intent] : intents) {
        if (intent.source == source && intent.bundleID == bundleID && intent.isOpen()) return intent;
    }
    return std::nullopt;
}

void MappingTransactionCoordinator::log(const std::string& event, const MappingIntent& intent,
                                        std::optional<WindowID> windowID, std::optional<pid_t> pid,
                                        double elapsedMs) const {
    const std::string slotID = intent.targetDisplayUUID + ":r" + std::to_string(intent.targetZoneID);
    const std::string wid = windowID ? std::to_string(*windowID) : std::string("-");
    Log::wm.info(
        "[%s] txID=%{public}s source=%s displayUUID=%s regionID=%ld slotID=%{public}s wid=%{public}s "
        "pid=%d elapsedMs=%{public}s",
        event, asciiUppercased(intent.id), toString(intent.source), intent.targetDisplayUUID,
        intent.targetZoneID, slotID, wid, pid.value_or(0), platform::format("%.1f", elapsedMs));
}

} // namespace korvane
