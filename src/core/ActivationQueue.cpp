// Serialising window-activation requests and racing each against its time-out.
#include "core/ActivationQueue.h"

#include "platform/Platform.h"
#include "platform/ProcessWide.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {

using platform::CancellationToken;
using platform::Task;

namespace {

platform::ProcessWide<ActivationQueue> gShared;

// The time-out as whole nanoseconds, truncated, never below the minimum (nor beyond what fits).
Nanos limitFor(double timeout) {
    const double s = std::isnan(timeout) ? ActivationQueue::kMinimumTimeout
                                         : std::max(timeout, ActivationQueue::kMinimumTimeout);
    const double ns = s * 1e9;
    if (ns >= 9.0e18) return static_cast<Nanos>(9.0e18);
    return static_cast<Nanos>(ns);
}

Task<bool> timeoutChild(platform::RunLoop& loop, Nanos limit, CancellationToken token) {
    co_await platform::sleepFor(loop, limit, token);
    co_return false;
}

// The operation's token is cancelled by whichever comes first: the time-out, or a later request.
Task<bool> operationChild(std::function<Task<bool>(CancellationToken)> operation, CancellationToken timedOut,
                          CancellationToken superseded) {
    if (!operation) co_return false;
    platform::CancellationSource stop;
    const auto onTimeout = timedOut.onCancel([stop]() mutable { stop.cancel(); });
    const auto onSupersede = superseded.onCancel([stop]() mutable { stop.cancel(); });
    co_return co_await operation(stop.token());
}

} // namespace

ActivationQueue::ActivationQueue(platform::Platform& platform)
    : platform_(platform), lockQueue(platform.runLoop().makeSerialQueue("Korvane.ActivationQueue.serial")) {}

std::shared_ptr<ActivationQueue> ActivationQueue::shared() {
    return gShared.get([](platform::Platform& p) { return std::make_shared<ActivationQueue>(p); });
}

void ActivationQueue::setShared(std::shared_ptr<ActivationQueue> instance) {
    gShared.set(std::move(instance));
}

void ActivationQueue::enqueue(ActivationTask task) {
    // The one before was superseded in turn when this one's predecessor came, and so on back.
    latest_.cancel();
    latest_ = task.supersession;
    lockQueue->async([self = shared_from_this(), task = std::move(task)]() mutable {
        self->pending.push_back(std::move(task));
        self->processNext();
    });
}

void ActivationQueue::processNext() {
    if (isRunning || pending.empty()) return;
    isRunning = true;
    ActivationTask task = std::move(pending.front());
    pending.pop_front();
    platform::spawn(platform_.runLoop(), runRequest(weak_from_this(), std::move(task)));
}

Task<void> ActivationQueue::runRequest(std::weak_ptr<ActivationQueue> weak, ActivationTask task) {
    bool result = false;
    {
        auto queue = weak.lock();
        if (!queue) {
            if (task.completion) task.completion(false);
            co_return;
        }
        result = co_await queue->execute(task);
    }
    // Tasks resume on the main run loop, so the completion is called on the main thread.
    if (task.completion) task.completion(result);
    if (auto queue = weak.lock()) {
        queue->lockQueue->async([weak] {
            if (auto q = weak.lock()) q->isRunning = false;
            if (auto q = weak.lock()) q->processNext();
        });
    }
}

Task<bool> ActivationQueue::execute(const ActivationTask& task) {
    platform::RunLoop& loop = platform_.runLoop();
    const Nanos limit = limitFor(task.timeout);
    auto operation = task.operation;
    auto runOperation = [operation, superseded = task.supersession.token()](CancellationToken token) {
        return operationChild(operation, token, superseded);
    };
    auto runTimeout = [&loop, limit](CancellationToken token) { return timeoutChild(loop, limit, token); };
    bool result = false;
    try {
        auto outcome = co_await platform::race(loop, runOperation, runTimeout);
        result = outcome.winner == 0 && outcome.first ? *outcome.first : false;
    } catch (...) {
        // An operation that fails counts as a failed request; the queue goes on.
        result = false;
    }
    co_return result;
}

} // namespace korvane
