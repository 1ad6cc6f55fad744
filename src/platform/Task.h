// Coroutines for asynchronous work that waits between steps: tasks, pauses and polls on the run
// loop's clock, a bridge from callback-style APIs, and a race of two children.
//
// Tasks start lazily: a Task<T> runs when another task co_awaits it or when spawn() hands it to a run
// loop. A task that waits (a pause, a future, a race) is resumed by a block posted to the main run
// loop, never from inside the call that caused the wake-up, so the simulated clock alone decides the
// order; a task that awaited another continues directly when that one returns.
//
// Ownership: the outermost frame of a spawned chain belongs to a shared root that is held only by
// whatever can wake the chain (a posted block, a resolver, a race child). When none is left, for
// instance because the run loop was destroyed with the block still pending, the chain can never
// continue and its frames are destroyed. A task must therefore not hold the thing that wakes it.
//
// Compiler note: g++ 12 destroys an aggregate temporary (a lambda with captures, a braced struct)
// created inside a co_await expression twice. Name such values before the co_await.
#pragma once

#include "platform/Cancellation.h"
#include "platform/RunLoop.h"

#include <cassert>
#include <concepts>
#include <coroutine>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace korvane::platform {

template <class T = void> class Task;

namespace detail {

struct PromiseBase;

// The outermost frame of a chain of tasks.
struct TaskRoot {
    TaskRoot() = default;
    TaskRoot(const TaskRoot&) = delete;
    TaskRoot& operator=(const TaskRoot&) = delete;
    ~TaskRoot() {
        if (frame) frame.destroy();
    }

    std::coroutine_handle<> frame;
    PromiseBase* promise = nullptr;
    // A race child keeps the chain that awaits the race; released after the child's own frame.
    std::shared_ptr<TaskRoot> parent;
};

struct PromiseBase {
    std::weak_ptr<TaskRoot> root;
    std::coroutine_handle<> continuation;
    std::exception_ptr exception;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <class P> std::coroutine_handle<> await_suspend(std::coroutine_handle<P> self) noexcept {
            auto next = self.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }

    void unhandled_exception() noexcept { exception = std::current_exception(); }
};

template <class P>
concept TaskPromise = std::derived_from<P, PromiseBase>;

// Resumes a suspended frame of the chain that `root` owns. An exception that escapes the chain's
// outermost task leaves through the run loop's turn that resumed it.
void resumeChain(const std::shared_ptr<TaskRoot>& root, std::coroutine_handle<> handle);

// Makes `frame` the outermost frame of a new chain and posts its start.
void startChain(RunLoop& loop, std::coroutine_handle<> frame, PromiseBase& promise,
                std::shared_ptr<TaskRoot> parent);

template <class T> using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

template <class T> struct TaskPromiseStorage : PromiseBase {
    std::optional<T> value;
    template <class U = T> void return_value(U&& v) { value.emplace(std::forward<U>(v)); }
};

template <> struct TaskPromiseStorage<void> : PromiseBase {
    void return_void() noexcept {}
};

struct TaskAccess;

} // namespace detail

template <class T> class [[nodiscard]] Task {
  public:
    using value_type = T;

    struct promise_type : detail::TaskPromiseStorage<T> {
        Task get_return_object() { return Task(std::coroutine_handle<promise_type>::from_promise(*this)); }
    };

    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            if (handle_) handle_.destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() {
        if (handle_) handle_.destroy();
    }

    // Starts the task inside the awaiting one and resumes the awaiting one when it returns.
    struct Awaiter {
        std::coroutine_handle<promise_type> child;
        bool await_ready() const noexcept { return !child; }
        template <detail::TaskPromise P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
            child.promise().continuation = parent;
            child.promise().root = parent.promise().root;
            return child;
        }
        T await_resume() {
            assert(child && "awaiting a task that was moved from");
            auto& promise = child.promise();
            if (promise.exception) std::rethrow_exception(promise.exception);
            if constexpr (!std::is_void_v<T>) return std::move(*promise.value);
        }
    };
    Awaiter operator co_await() && noexcept { return Awaiter{handle_}; }

  private:
    friend struct detail::TaskAccess;
    explicit Task(std::coroutine_handle<promise_type> handle) : handle_(handle) {}

    std::coroutine_handle<promise_type> handle_;
};

namespace detail {
struct TaskAccess {
    template <class T> static std::coroutine_handle<typename Task<T>::promise_type> release(Task<T>& task) {
        return std::exchange(task.handle_, {});
    }
};
} // namespace detail

// Runs the task on the loop, detached: it starts from a block posted now and ends on its own.
void spawn(RunLoop& loop, Task<void> task);

// ---------------------------------------------------------------------------------------------
// Pauses

// Waits the full duration on the loop's clock; cancellation does not shorten it.
class SleepAwaiter {
  public:
    SleepAwaiter(RunLoop& loop, Nanos duration) : loop_(loop), duration_(duration) {}
    bool await_ready() const noexcept { return false; }
    template <detail::TaskPromise P> void await_suspend(std::coroutine_handle<P> h) {
        suspend(h, h.promise().root.lock());
    }
    void await_resume() const noexcept {}

  private:
    void suspend(std::coroutine_handle<> h, std::shared_ptr<detail::TaskRoot> root);
    RunLoop& loop_;
    Nanos duration_;
};

// Waits the duration, or ends at the current instant (through the loop) once the token is
// cancelled, also when it already is. co_await yields true when the pause was cut short.
class CancellableSleepAwaiter {
  public:
    CancellableSleepAwaiter(RunLoop& loop, Nanos duration, CancellationToken token)
        : loop_(loop), duration_(duration), token_(std::move(token)) {}
    bool await_ready() const noexcept { return false; }
    template <detail::TaskPromise P> void await_suspend(std::coroutine_handle<P> h) {
        suspend(h, h.promise().root.lock());
    }
    bool await_resume() const noexcept;

    struct State;

  private:
    void suspend(std::coroutine_handle<> h, std::shared_ptr<detail::TaskRoot> root);
    RunLoop& loop_;
    Nanos duration_;
    CancellationToken token_;
    std::shared_ptr<State> state_;
};

inline SleepAwaiter sleepFor(RunLoop& loop, Nanos duration) {
    return {loop, duration};
}
inline CancellableSleepAwaiter sleepFor(RunLoop& loop, Nanos duration, CancellationToken token) {
    return {loop, duration, std::move(token)};
}

// Checks `predicate` at once and then every `interval` while the time is before now + `timeout`,
// and once more after that instant; yields whether it held. Nothing ends it early. A timeout of 0
// or less checks exactly once.
Task<bool> pollUntil(RunLoop& loop, Nanos interval, Nanos timeout, std::function<bool()> predicate);

// ---------------------------------------------------------------------------------------------
// Bridging callback-style APIs

namespace detail {
template <class T> struct FutureShared {
    explicit FutureShared(RunLoop& l) : loop(l) {}
    RunLoop& loop;
    std::mutex mutex;
    std::optional<Stored<T>> value;
    std::coroutine_handle<> waiter;
};

// Held by the resolvers alone: the waiting chain stays alive while someone can still resolve.
template <class T> struct ResolverShared {
    std::shared_ptr<FutureShared<T>> shared;
    std::shared_ptr<TaskRoot> waiterRoot; // guarded by shared->mutex
};
} // namespace detail

template <class T> class Future;

// The resolving side. Copies share one outcome: the first resolve wins, later ones are ignored, and
// resolving after the awaiting task is gone does nothing. Safe to call from any thread; the waiting
// task resumes on the run loop, which must outlive the resolvers. When every resolver is gone
// unresolved, the waiting task can never continue and is destroyed.
template <class T> class Resolver {
  public:
    template <class U = T>
    requires(!std::is_void_v<T>) void resolve(U&& value) const {
        set(detail::Stored<T>(std::forward<U>(value)));
    }
    void resolve() const requires std::is_void_v<T> { set(std::monostate{}); }

  private:
    template <class U> friend std::pair<Future<U>, Resolver<U>> makeFuture(RunLoop& loop);
    explicit Resolver(std::shared_ptr<detail::ResolverShared<T>> r) : r_(std::move(r)) {}

    void set(detail::Stored<T> value) const {
        auto& shared = *r_->shared;
        std::coroutine_handle<> waiter;
        std::shared_ptr<detail::TaskRoot> root;
        {
            std::lock_guard lock(shared.mutex);
            if (shared.value) return;
            shared.value.emplace(std::move(value));
            waiter = std::exchange(shared.waiter, {});
            root = std::move(r_->waiterRoot);
        }
        if (waiter && root) {
            shared.loop.post([root, waiter] { detail::resumeChain(root, waiter); });
        }
    }

    std::shared_ptr<detail::ResolverShared<T>> r_;
};

// The awaiting side; co_await it once. An outcome that is already there is taken without suspending.
template <class T> class Future {
  public:
    Future(Future&&) noexcept = default;
    Future& operator=(Future&&) noexcept = default;
    Future(const Future&) = delete;
    Future& operator=(const Future&) = delete;

    bool await_ready() const {
        std::lock_guard lock(shared_->mutex);
        return shared_->value.has_value();
    }
    template <detail::TaskPromise P> bool await_suspend(std::coroutine_handle<P> h) {
        std::lock_guard lock(shared_->mutex);
        if (shared_->value) return false; // resolved on another thread in the meantime
        assert(!shared_->waiter && "a future is awaited once");
        if (auto r = resolvers_.lock()) {
            shared_->waiter = h;
            r->waiterRoot = h.promise().root.lock();
        }
        return true;
    }
    T await_resume() {
        std::lock_guard lock(shared_->mutex);
        if constexpr (!std::is_void_v<T>) return std::move(*shared_->value);
    }

  private:
    template <class U> friend std::pair<Future<U>, Resolver<U>> makeFuture(RunLoop& loop);
    Future(std::shared_ptr<detail::FutureShared<T>> shared, std::weak_ptr<detail::ResolverShared<T>> r)
        : shared_(std::move(shared)), resolvers_(std::move(r)) {}

    std::shared_ptr<detail::FutureShared<T>> shared_;
    std::weak_ptr<detail::ResolverShared<T>> resolvers_;
};

template <class T> std::pair<Future<T>, Resolver<T>> makeFuture(RunLoop& loop) {
    auto shared = std::make_shared<detail::FutureShared<T>>(loop);
    auto r = std::make_shared<detail::ResolverShared<T>>();
    r->shared = shared;
    return {Future<T>(shared, r), Resolver<T>(r)};
}

// ---------------------------------------------------------------------------------------------
// Racing two children

// What a race delivers: which child ended first (0 or 1) and its value, in `first` or `second`.
template <class A, class B = A> struct RaceResult {
    std::size_t winner = 0;
    std::optional<A> first;
    std::optional<B> second;

    const A& value() const requires std::same_as<A, B> { return winner == 0 ? *first : *second; }
};

namespace detail {

template <class A, class B> struct RaceState {
    RunLoop* loop = nullptr;
    CancellationSource cancelFirst;
    CancellationSource cancelSecond;
    std::function<void(const RaceResult<A, B>&)> onFirst;
    RaceResult<A, B> result;
    std::exception_ptr failure;
    bool decided = false;
    int ended = 0;
    std::coroutine_handle<> parent;
    std::weak_ptr<TaskRoot> parentRoot;

    void decide(std::size_t index) {
        decided = true;
        result.winner = index;
        (index == 0 ? cancelSecond : cancelFirst).cancel();
    }
    void childEnded() {
        if (++ended < 2) return;
        // A child's root holds the parent's, so it is alive while this child runs.
        if (auto root = parentRoot.lock()) {
            loop->post([root, h = parent] { resumeChain(root, h); });
        }
    }
    template <std::size_t I, class V> void finish(V&& value) {
        if (!decided) {
            if constexpr (I == 0)
                result.first.emplace(std::forward<V>(value));
            else
                result.second.emplace(std::forward<V>(value));
            decide(I);
            if (onFirst) onFirst(result);
        }
        childEnded();
    }
    void fail(std::size_t index, std::exception_ptr e) {
        if (!decided) {
            failure = std::move(e);
            decide(index);
        }
        childEnded();
    }
};

template <std::size_t I, class T, class State>
Task<void> raceChild(Task<T> child, std::shared_ptr<State> state) {
    std::optional<T> value;
    std::exception_ptr failure;
    try {
        value.emplace(co_await std::move(child));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure)
        state->fail(I, std::move(failure));
    else
        state->template finish<I>(std::move(*value));
}

template <class A, class B> struct RaceAwaiter {
    RunLoop& loop;
    std::shared_ptr<RaceState<A, B>> state;
    Task<A> first;
    Task<B> second;

    bool await_ready() const noexcept { return false; }
    template <TaskPromise P> void await_suspend(std::coroutine_handle<P> h) {
        state->loop = &loop;
        state->parent = h;
        state->parentRoot = h.promise().root;
        auto root = h.promise().root.lock();
        startChild(raceChild<0>(std::move(first), state), root);
        startChild(raceChild<1>(std::move(second), state), root);
    }
    RaceResult<A, B> await_resume() {
        if (state->failure) std::rethrow_exception(state->failure);
        return std::move(state->result);
    }

    void startChild(Task<void> child, const std::shared_ptr<TaskRoot>& parentRoot) {
        auto h = TaskAccess::release(child);
        startChain(loop, h, h.promise(), parentRoot);
    }
};

} // namespace detail

// Runs two children side by side, each made by its factory from its own cancellation token (both
// start through the loop, the first one first). As soon as one ends, the other's token is
// cancelled and `onFirst` hears the outcome. The race itself ends only when both children have
// ended, and yields the first one's outcome; a child's exception, when it ended first, is rethrown
// there instead. A factory that is a lambda should call a coroutine function rather than be one,
// since a lambda coroutine's captures do not live in its frame.
template <class MakeFirst, class MakeSecond,
          class A = typename std::invoke_result_t<MakeFirst&, CancellationToken>::value_type,
          class B = typename std::invoke_result_t<MakeSecond&, CancellationToken>::value_type>
Task<RaceResult<A, B>> race(RunLoop& loop, MakeFirst makeFirst, MakeSecond makeSecond,
                            std::type_identity_t<std::function<void(const RaceResult<A, B>&)>> onFirst = {}) {
    static_assert(!std::is_void_v<A> && !std::is_void_v<B>, "race children yield a value");
    auto state = std::make_shared<detail::RaceState<A, B>>();
    state->onFirst = std::move(onFirst);
    Task<A> first = makeFirst(state->cancelFirst.token());
    Task<B> second = makeSecond(state->cancelSecond.token());
    // A named awaiter: g++ 12 destroys the members of an aggregate awaiter temporary twice.
    detail::RaceAwaiter<A, B> awaiter{loop, state, std::move(first), std::move(second)};
    co_return co_await awaiter;
}

} // namespace korvane::platform
