// One start at a time per application for the zones of a restore that have no window yet.
#include "scenes/SceneLaunchQueue.h"

#include "core/Log.h"
#include "platform/RunLoop.h"
#include "tracking/MappingTransaction.h"

#include <algorithm>
#include <utility>

namespace korvane {

std::shared_ptr<SceneLaunchQueue>
SceneLaunchQueue::create(platform::RunLoop& loop, std::shared_ptr<MappingTransactionCoordinator> intents,
                         Start start) {
    return std::shared_ptr<SceneLaunchQueue>(
        new SceneLaunchQueue(loop, std::move(intents), std::move(start)));
}

SceneLaunchQueue::SceneLaunchQueue(platform::RunLoop& loop,
                                   std::shared_ptr<MappingTransactionCoordinator> intents, Start start)
    : loop_(loop), intents_(std::move(intents)), start_(std::move(start)) {}

void SceneLaunchQueue::beginRestore() {
    ++latestRestore_;
    inRestore_ = true;
    waiting_.clear();
}

void SceneLaunchQueue::endRestore() {
    inRestore_ = false;
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

std::set<std::string> SceneLaunchQueue::advance() {
    int placed = 0;
    std::erase_if(started_, [&](const Started& started) {
        if (isOpen(started)) return false;
        const auto intent = intents_->intent(started.intentID);
        if (intent && intent->stage == MappingIntentStage::committed && started.request.restore != 0 &&
            started.request.restore == latestRestore_)
            ++placed;
        return true;
    });

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
    for (; placed > 0; --placed)
        if (onRestoredWindowPlaced) onRestoredWindowPlaced();
    return refused;
}

} // namespace korvane
