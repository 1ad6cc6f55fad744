// The parts of the coroutine support that do not depend on a task's value type.
#include "platform/Task.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace korvane::platform {

namespace {
// A zero interval would poll forever at one instant of a simulated clock.
constexpr Nanos kMinPollInterval = 1'000'000;
} // namespace

namespace detail {

void resumeChain(const std::shared_ptr<TaskRoot>& root, std::coroutine_handle<> handle) {
    handle.resume();
    if (root->frame.done() && root->promise && root->promise->exception) {
        std::rethrow_exception(std::exchange(root->promise->exception, nullptr));
    }
}

void startChain(RunLoop& loop, std::coroutine_handle<> frame, PromiseBase& promise,
                std::shared_ptr<TaskRoot> parent) {
    auto root = std::make_shared<TaskRoot>();
    root->frame = frame;
    root->promise = &promise;
    root->parent = std::move(parent);
    promise.root = root;
    loop.post([root] { resumeChain(root, root->frame); });
}

} // namespace detail

void spawn(RunLoop& loop, Task<void> task) {
    auto h = detail::TaskAccess::release(task);
    if (h) detail::startChain(loop, h, h.promise(), nullptr);
}

void SleepAwaiter::suspend(std::coroutine_handle<> h, std::shared_ptr<detail::TaskRoot> root) {
    assert(root && "a pause is awaited inside a running task");
    loop_.postAfter(duration_, [root = std::move(root), h] { detail::resumeChain(root, h); });
}

// Exactly one of the timer and the cancellation resumes the task; `ended` decides which.
struct CancellableSleepAwaiter::State {
    std::atomic<bool> ended{false};
    bool cancelled = false;
    WorkItemRef timer;
    CancellationRegistration registration;
    // Weak: the state lives in the task's frame, which the root owns.
    std::weak_ptr<detail::TaskRoot> root;
};

void CancellableSleepAwaiter::suspend(std::coroutine_handle<> h, std::shared_ptr<detail::TaskRoot> root) {
    assert(root && "a pause is awaited inside a running task");
    auto state = std::make_shared<State>();
    state_ = state;
    state->root = root;
    state->timer = loop_.postAfter(duration_, [state, root, h] {
        if (state->ended.exchange(true)) return;
        state->registration.reset();
        detail::resumeChain(root, h);
    });
    RunLoop* loop = &loop_;
    std::weak_ptr<State> weak = state;
    state->registration = token_.onCancel([weak, loop, h] {
        auto s = weak.lock();
        if (!s) return;
        // The pending timer holds the root; take it before calling the timer off.
        auto root = s->root.lock();
        if (!root || s->ended.exchange(true)) return;
        s->cancelled = true;
        s->timer->cancel();
        loop->post([root, h] { detail::resumeChain(root, h); });
    });
}

bool CancellableSleepAwaiter::await_resume() const noexcept {
    return state_ && state_->cancelled;
}

Task<bool> pollUntil(RunLoop& loop, Nanos interval, Nanos timeout, std::function<bool()> predicate) {
    interval = std::max(interval, kMinPollInterval);
    const Nanos start = loop.now();
    Nanos deadline = start;
    if (timeout > 0) {
        deadline = timeout > std::numeric_limits<Nanos>::max() - start ? std::numeric_limits<Nanos>::max()
                                                                       : start + timeout;
    }
    while (loop.now() < deadline) {
        if (predicate()) co_return true;
        co_await sleepFor(loop, interval);
    }
    co_return predicate();
}

} // namespace korvane::platform
