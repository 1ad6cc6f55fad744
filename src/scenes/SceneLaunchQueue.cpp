// One start at a time per application for the zones of a restore that have no window yet.
#include "scenes/SceneLaunchQueue.h"

#include "core/Log.h"
#include "platform/RunLoop.h"
#include "platform/Workspace.h"
#include "tracking/MappingTransaction.h"

#include <algorithm>
#include <utility>

namespace korvane {

std::shared_ptr<SceneLaunchQueue>
SceneLaunchQueue::create(platform::RunLoop& loop, platform::Workspace& workspace,
                         std::shared_ptr<MappingTransactionCoordinator> intents, Start start) {
    return std::shared_ptr<SceneLaunchQueue>(
        new SceneLaunchQueue(loop, workspace, std::move(intents), std::move(start)));
}

SceneLaunchQueue::SceneLaunchQueue(platform::RunLoop& loop, platform::Workspace& workspace,
                                   std::shared_ptr<MappingTransactionCoordinator> intents, Start start)
    : loop_(loop), workspace_(workspace), intents_(std::move(intents)), start_(std::move(start)) {}

void SceneLaunchQueue::beginRestore() {
    ++latestRestore_;
    inRestore_ = true;
    awaitingEnd_ = false;
    heldPlaced_ = 0;
    heldNotStarted_.clear();
    waiting_.clear();
}

void SceneLaunchQueue::endRestore() {
    if (inRestore_) withdrawEarlierStarts();
    inRestore_ = false;
    awaitingEnd_ = awaitsWindows();
    if (heldPlaced_ == 0 && heldNotStarted_.empty()) return;
    // After the restore's report, which its caller makes once this returns.
    loop_.post([weak = weak_from_this(), restore = latestRestore_, placed = std::exchange(heldPlaced_, 0),
                notStarted = std::exchange(heldNotStarted_, {})] {
        auto self = weak.lock();
        if (!self || !self->reportsOn(restore)) return;
        for (int n = placed; n > 0; --n)
            if (self->onRestoredWindowPlaced) self->onRestoredWindowPlaced();
        for (const auto& bundleID : notStarted)
            if (self->onRestoredAppNotStarted) self->onRestoredAppNotStarted(bundleID);
    });
}

void SceneLaunchQueue::withdrawEarlierStarts() {
    for (const auto& started : started_) {
        if (started.request.restore == latestRestore_ || !isOpen(started)) continue;
        Log::sceneManager.info("Scene restore: the window of '%s' asked for zone=%ld is not placed: another "
                               "restore replaced the one that asked",
                               started.request.bundleID, started.request.zoneID);
        intents_->cancel(started.intentID, "restore replaced");
    }
}

void SceneLaunchQueue::aim(const Started& started) {
    auto intent = intents_->intents.find(started.intentID);
    if (intent == intents_->intents.end()) return;
    // The zone as the asking restore's layouts have it now, which are those it applied before it asked.
    intent->second.targetDisplayUUID = started.request.displayUUID;
    intent->second.targetZoneID = started.request.zoneID;
    intent->second.displayEpoch = intents_->currentEpoch(started.request.displayUUID);
}

bool SceneLaunchQueue::takeEarlierStart(const Request& request) {
    if (request.restore == 0) return false;
    for (auto& started : started_) {
        if (started.request.bundleID != request.bundleID || started.request.restore == request.restore)
            continue;
        const auto intent = intents_->intent(started.intentID);
        if (!intent || intent->stage != MappingIntentStage::intent ||
            intents_->nowProvider() > intent->expiresAt)
            continue;
        Log::sceneManager.info(
            "Scene restore: the window of '%s' started for zone=%ld is awaited for zone=%ld",
            request.bundleID, started.request.zoneID, request.zoneID);
        started.request = request;
        aim(started);
        return true;
    }
    return false;
}

bool SceneLaunchQueue::awaitsWindows() const {
    if (latestRestore_ == 0) return false;
    const bool started = std::any_of(started_.begin(), started_.end(), [&](const Started& s) {
        return s.request.restore == latestRestore_ && isOpen(s);
    });
    return started || std::any_of(waiting_.begin(), waiting_.end(), [&](const auto& entry) {
               return std::any_of(entry.second.begin(), entry.second.end(),
                                  [&](const Request& r) { return r.restore == latestRestore_; });
           });
}

void SceneLaunchQueue::startLaunched(const std::string& intentID) {
    for (auto& started : started_)
        if (started.intentID == intentID) started.launched = true;
}

bool SceneLaunchQueue::request(const std::string& bundleID, std::int64_t zoneID,
                               const std::string& displayUUID) {
    const std::uint64_t restore = inRestore_ ? latestRestore_ : 0;
    auto same = [&](const Request& r) {
        return r.bundleID == bundleID && r.zoneID == zoneID && r.displayUUID == displayUUID;
    };
    for (auto& started : started_)
        if (same(started.request) && isOpen(started)) {
            started.request.restore = restore;
            aim(started);
            Log::sceneManager.info("Scene restore: a window of '%s' for zone=%ld is awaited already",
                                   bundleID, zoneID);
            return true;
        }
    auto& queue = waiting_[bundleID];
    for (auto& waiting : queue)
        if (same(waiting)) {
            waiting.restore = restore;
            return true;
        }
    // No application is started twice for one zone: a window on its way goes where it is asked for now.
    if (takeEarlierStart({bundleID, zoneID, displayUUID, restore})) return true;
    queue.push_back({bundleID, zoneID, displayUUID, restore});
    if (awaitsWindow(bundleID) || queue.size() > 1)
        Log::sceneManager.info("Scene restore: '%s' for zone=%ld is started once the window of its start "
                               "before has come",
                               bundleID, zoneID);
    return advance().count(bundleID) == 0;
}

bool SceneLaunchQueue::isOpen(const Started& started) const {
    const auto intent = intents_->intent(started.intentID);
    return intent && intent->isOpen() && intents_->nowProvider() <= intent->expiresAt;
}

bool SceneLaunchQueue::awaitsWindow(const std::string& bundleID) const {
    return std::any_of(started_.begin(), started_.end(), [&](const Started& started) {
        if (started.request.bundleID != bundleID) return false;
        // A claimed intent has its window: the next start need not wait for it.
        const auto intent = intents_->intent(started.intentID);
        return intent && intent->stage == MappingIntentStage::intent &&
               intents_->nowProvider() <= intent->expiresAt;
    });
}

void SceneLaunchQueue::withdrawIfEnded(const Started& started,
                                       std::optional<std::set<std::string>>& running) {
    if (!started.launched) return;
    const auto intent = intents_->intent(started.intentID);
    if (!intent || intent->stage != MappingIntentStage::intent || intents_->nowProvider() > intent->expiresAt)
        return;
    if (!running) {
        running.emplace();
        for (const auto& app : workspace_.runningApplications())
            if (app.bundleID) running->insert(*app.bundleID);
    }
    // Any process of the application may still bring the window: one start may hand over to a process
    // that runs already and end.
    if (running->count(started.request.bundleID)) return;
    Log::sceneManager.info("Scene restore: '%s' ended before its window for zone=%ld came",
                           started.request.bundleID, started.request.zoneID);
    intents_->cancel(started.intentID, "application ended");
}

SceneLaunchQueue::Ending SceneLaunchQueue::endingOf(const Started& started) const {
    const auto intent = intents_->intent(started.intentID);
    if (!intent) return Ending::other;
    if (intent->stage == MappingIntentStage::committed) return Ending::placed;
    if (intent->resolvedWindowID) {
        const bool held =
            zoneHoldsWindow &&
            zoneHoldsWindow(started.request.displayUUID, started.request.zoneID, *intent->resolvedWindowID);
        // A window that came and could not be moved into its zone did start.
        return held ? Ending::placed : Ending::other;
    }
    // Withdrawn ones were logged as they were.
    if (intent->stage != MappingIntentStage::cancelled)
        Log::sceneManager.info(
            "Scene restore: no window of '%s' for zone=%ld came before its launch's time-out",
            started.request.bundleID, started.request.zoneID);
    return Ending::notStarted;
}

std::set<std::string> SceneLaunchQueue::advance() {
    std::optional<std::set<std::string>> running;
    for (const auto& started : started_)
        withdrawIfEnded(started, running);

    int placed = 0;
    std::set<std::string> notStarted;
    std::erase_if(started_, [&](const Started& started) {
        if (isOpen(started)) return false;
        const Ending ending = endingOf(started);
        if (reportsOn(started.request.restore)) {
            if (ending == Ending::placed) ++placed;
            if (ending == Ending::notStarted) notStarted.insert(started.request.bundleID);
        } else if (holdsFor(started.request.restore)) {
            if (ending == Ending::placed) ++heldPlaced_;
            if (ending == Ending::notStarted) heldNotStarted_.insert(started.request.bundleID);
        }
        return true;
    });
    // Its other zones would fare the same, each after the wait of the one before.
    for (const auto& bundleID : notStarted)
        if (auto queue = waiting_.find(bundleID); queue != waiting_.end())
            std::erase_if(queue->second, [&](const Request& r) { return r.restore == latestRestore_; });

    std::vector<Request> due;
    for (auto& [bundleID, queue] : waiting_)
        if (!queue.empty() && !awaitsWindow(bundleID)) {
            due.push_back(std::move(queue.front()));
            queue.pop_front();
        }
    std::erase_if(waiting_, [](const auto& entry) { return entry.second.empty(); });
    std::set<std::string> refused;
    for (auto& request : due) {
        auto intentID = start_(request.bundleID, request.zoneID, request.displayUUID);
        if (intentID) {
            started_.push_back({std::move(request), std::move(*intentID)});
            continue;
        }
        // Its other zones would be refused as well, each after the wait of the one before.
        refused.insert(request.bundleID);
        // A restore's sweep counts what it could not start as it asks; a start made later is told of here.
        if (reportsOn(request.restore)) notStarted.insert(request.bundleID);
        // One the sweep itself asked for is told again; the card counts each application once.
        if (holdsFor(request.restore)) heldNotStarted_.insert(request.bundleID);
        waiting_.erase(request.bundleID);
    }

    if ((!started_.empty() || !waiting_.empty()) && !polling_) {
        polling_ = true;
        (void)loop_.postAfter(kPollInterval, [weak = weak_from_this()] {
            auto self = weak.lock();
            if (!self) return;
            self->polling_ = false;
            self->advance();
        });
    }
    const bool ended = awaitingEnd_ && !inRestore_ && !awaitsWindows();
    if (ended) awaitingEnd_ = false;
    for (; placed > 0; --placed)
        if (onRestoredWindowPlaced) onRestoredWindowPlaced();
    for (const auto& bundleID : notStarted)
        if (onRestoredAppNotStarted) onRestoredAppNotStarted(bundleID);
    if (ended && onRestoreLaunchesEnded) onRestoreLaunchesEnded();
    return refused;
}

} // namespace korvane
