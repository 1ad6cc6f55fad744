// Coroutines on the simulated run loop: nesting, pauses, polls, callback bridges, races, teardown.
#include "platform/Task.h"
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace korvane;
using namespace korvane::platform;
using korvane::sim::SimRunLoop;

namespace {

// Coroutines are free functions: a lambda coroutine's captures would not live in its frame. Lambdas
// handed to a coroutine are named first: g++ 12 destroys aggregate temporaries made inside a co_await
// expression twice.

Task<int> immediate(int v) {
    co_return v;
}

Task<int> addLater(RunLoop& loop, int a, int b) {
    co_await sleepFor(loop, milliseconds(10));
    co_return a + b;
}

Task<int> sumInSteps(RunLoop& loop) {
    const int x = co_await addLater(loop, 1, 2);
    const int y = co_await addLater(loop, x, 10);
    const int z = co_await immediate(100);
    co_return x + y + z;
}

// Awaits a task or a future and notes what it yielded and when.
template <class Awaitable, class T>
Task<void> record(RunLoop& loop, Awaitable awaitable, std::optional<T>& out, Nanos& at) {
    out = co_await std::move(awaitable);
    at = loop.now();
}

Task<void> cancellablePause(RunLoop& loop, Nanos d, CancellationToken token, std::optional<bool>& cancelled,
                            Nanos& at) {
    cancelled = co_await sleepFor(loop, d, token);
    at = loop.now();
}

Task<void> holdWhileSleeping(RunLoop& loop, std::shared_ptr<int> sentinel, CancellationToken token) {
    co_await sleepFor(loop, milliseconds(500), token);
    co_await sleepFor(loop, milliseconds(500));
    ++*sentinel;
}

template <class T> Task<void> holdWhileAwaiting(Future<T> future, std::shared_ptr<int> sentinel) {
    co_await std::move(future);
    ++*sentinel;
}

Task<bool> pauseUnlessCancelled(RunLoop& loop, Nanos d, bool result, CancellationToken token) {
    co_await sleepFor(loop, d, token);
    co_return result;
}

// Ignores its token's effect on its pause but notes when the token fired.
Task<bool> stubbornPause(RunLoop& loop, Nanos d, bool result, CancellationToken token, Nanos& sawCancelAt) {
    auto registration = token.onCancel([&loop, &sawCancelAt] { sawCancelAt = loop.now(); });
    co_await sleepFor(loop, d);
    co_return result;
}

Task<std::string> name(RunLoop& loop, Nanos d, std::string text) {
    co_await sleepFor(loop, d);
    co_return text;
}

template <class T> Task<T> throwAfter(RunLoop& loop, Nanos d, std::string what) {
    co_await sleepFor(loop, d);
    throw std::runtime_error(what);
}

Task<void> catchInto(Task<int> task, std::string& caught) {
    try {
        co_await std::move(task);
    } catch (const std::runtime_error& e) {
        caught = e.what();
    }
}

// --- Tasks ---------------------------------------------------------------------------------------

TEST(Task, nestedTasksReturnTheirValuesAfterTheirPausesAndStartFromTheLoop) {
    SimRunLoop loop;
    std::optional<int> out, first;
    Nanos at = -1, firstAt = -1;
    spawn(loop, record(loop, immediate(7), first, firstAt));
    spawn(loop, record(loop, sumInSteps(loop), out, at));
    EXPECT_FALSE(first) << "not inside spawn";
    EXPECT_EQ(loop.pendingCount(), 2u);
    loop.advance(milliseconds(19));
    EXPECT_EQ(first, 7);
    EXPECT_EQ(firstAt, 0);
    EXPECT_FALSE(out);
    loop.advance(milliseconds(1));
    EXPECT_EQ(out, 3 + 13 + 100);
    EXPECT_EQ(at, milliseconds(20));
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST(Task, exceptionsReachTheAwaitingTaskOrLeaveADetachedOneThroughTheLoopTurn) {
    SimRunLoop loop;
    std::string caught;
    spawn(loop, catchInto(throwAfter<int>(loop, milliseconds(1), "inner"), caught));
    loop.advance(milliseconds(1));
    EXPECT_EQ(caught, "inner");

    spawn(loop, throwAfter<void>(loop, milliseconds(1), "detached"));
    EXPECT_THROW(loop.advance(milliseconds(1)), std::runtime_error);
    bool ran = false;
    loop.post([&] { ran = true; });
    loop.runUntilIdle();
    EXPECT_TRUE(ran);
}

// --- Pauses --------------------------------------------------------------------------------------

TEST(Task, aCancellablePauseEndsAtTheInstantOfCancellation) {
    struct Row {
        const char* name;
        Nanos cancelAt; // -1: never; -2: before the task starts
        bool cancelled;
        Nanos endsAt;
        int pendingAfterCancel; // the resumption replaces the pause's timer
    };
    const Row rows[] = {
        {"never", -1, false, milliseconds(100), -1},
        {"midway", milliseconds(30), true, milliseconds(30), 1},
        {"at the instant of the end, queued first", milliseconds(100), true, milliseconds(100), 1},
        {"already cancelled", -2, true, 0, -1},
        {"after the end", milliseconds(150), false, milliseconds(100), 0},
    };
    for (const Row& row : rows) {
        SimRunLoop loop;
        CancellationSource source;
        std::optional<bool> cancelled;
        Nanos at = -1;
        bool resumedInsideCancel = false;
        int pendingAfterCancel = -1;
        if (row.cancelAt == -2) source.cancel();
        if (row.cancelAt >= 0) {
            // Scheduled before the pause starts, so at an equal instant the cancellation comes first.
            loop.postAfter(row.cancelAt, [&] {
                const bool before = cancelled.has_value();
                source.cancel();
                resumedInsideCancel = !before && cancelled.has_value();
                pendingAfterCancel = static_cast<int>(loop.pendingCount());
            });
        }
        spawn(loop, cancellablePause(loop, milliseconds(100), source.token(), cancelled, at));
        loop.advance(milliseconds(200));
        EXPECT_EQ(cancelled, row.cancelled) << row.name;
        EXPECT_EQ(at, row.endsAt) << row.name;
        EXPECT_FALSE(resumedInsideCancel) << row.name;
        EXPECT_EQ(pendingAfterCancel, row.pendingAfterCancel) << row.name;
    }
}

TEST(Task, pollChecksAtOnceThenEveryIntervalAndOnceAfterTheDeadline) {
    struct Row {
        const char* name;
        Nanos trueFrom; // -1: never
        Nanos timeout;
        bool result;
        Nanos endsAt;
        int checks;
    };
    const Row rows[] = {
        {"holds at once", 0, milliseconds(300), true, 0, 1},
        {"holds later", milliseconds(120), milliseconds(300), true, milliseconds(150), 4},
        {"never", -1, milliseconds(300), false, milliseconds(300), 7},
        {"holds exactly at the deadline", milliseconds(300), milliseconds(300), true, milliseconds(300), 7},
        {"deadline between checks", -1, milliseconds(120), false, milliseconds(150), 4},
        {"zero timeout", -1, 0, false, 0, 1},
        {"negative timeout", -1, -milliseconds(5), false, 0, 1},
        {"zero timeout, holds", 0, 0, true, 0, 1},
    };
    for (const Row& row : rows) {
        SimRunLoop loop;
        int checks = 0;
        auto predicate = [&] {
            ++checks;
            return row.trueFrom >= 0 && loop.now() >= row.trueFrom;
        };
        std::optional<bool> out;
        Nanos at = -1;
        spawn(loop, record(loop, pollUntil(loop, milliseconds(50), row.timeout, predicate), out, at));
        loop.advance(seconds(1));
        EXPECT_EQ(out, row.result) << row.name;
        EXPECT_EQ(at, row.endsAt) << row.name;
        EXPECT_EQ(checks, row.checks) << row.name;
    }
}

// --- Futures -------------------------------------------------------------------------------------

TEST(Future, resolvedBeforeTheAwaitItIsTakenWithoutWaitingAndTheFirstOutcomeStands) {
    SimRunLoop loop;
    auto [future, resolver] = makeFuture<int>(loop);
    resolver.resolve(5);
    resolver.resolve(6);
    std::optional<int> out;
    Nanos at = -1;
    spawn(loop, record(loop, std::move(future), out, at));
    loop.runUntilIdle();
    EXPECT_EQ(out, 5);
    EXPECT_EQ(at, 0);
}

TEST(Future, aLaterResolutionResumesTheTaskThroughTheLoop) {
    SimRunLoop loop;
    auto [future, resolver] = makeFuture<int>(loop);
    std::optional<int> out;
    Nanos at = -1;
    bool inline_ = true;
    spawn(loop, record(loop, std::move(future), out, at));
    loop.postAfter(milliseconds(40), [&, r = resolver] {
        r.resolve(9);
        inline_ = out.has_value();
        r.resolve(10);
    });
    loop.advance(milliseconds(100));
    EXPECT_FALSE(inline_);
    EXPECT_EQ(out, 9);
    EXPECT_EQ(at, milliseconds(40));
    resolver.resolve(11); // after the task has gone on: harmless
    loop.runUntilIdle();
    EXPECT_EQ(out, 9);

    // From another thread, too, the task resumes on the loop.
    auto [other, otherResolver] = makeFuture<int>(loop);
    spawn(loop, record(loop, std::move(other), out, at));
    loop.runUntilIdle();
    std::thread([r = otherResolver] { r.resolve(3); }).join();
    EXPECT_EQ(out, 9);
    loop.runUntilIdle();
    EXPECT_EQ(out, 3);
}

TEST(Future, voidFuturesAndAbandonedOnes) {
    SimRunLoop loop;
    auto sentinel = std::make_shared<int>(0);
    std::weak_ptr<int> watch = sentinel;
    {
        auto [done, resolveDone] = makeFuture<void>(loop);
        auto [never, resolveNever] = makeFuture<void>(loop);
        spawn(loop, holdWhileAwaiting(std::move(done), sentinel));
        spawn(loop, holdWhileAwaiting(std::move(never), sentinel));
        loop.runUntilIdle();
        resolveDone.resolve();
        loop.runUntilIdle();
        EXPECT_EQ(*sentinel, 1);
        // resolveNever ends here unresolved: its task can never continue and is destroyed.
    }
    sentinel.reset();
    EXPECT_TRUE(watch.expired());

    auto [unawaited, resolver] = makeFuture<int>(loop);
    { auto gone = std::move(unawaited); }
    resolver.resolve(1); // nobody waits: harmless
    loop.runUntilIdle();
    EXPECT_EQ(loop.pendingCount(), 0u);
}

// --- Races ---------------------------------------------------------------------------------------

struct RaceRecord {
    std::optional<RaceResult<bool>> first; // what onFirst heard
    Nanos firstAt = -1;
    std::optional<RaceResult<bool>> result; // what the race yielded
    Nanos endedAt = -1;
};

template <class MakeA, class MakeB> Task<void> runRace(RunLoop& loop, MakeA a, MakeB b, RaceRecord& rec) {
    std::function<void(const RaceResult<bool>&)> onFirst = [&loop, &rec](const RaceResult<bool>& r) {
        rec.first = r;
        rec.firstAt = loop.now();
    };
    rec.result = co_await race(loop, std::move(a), std::move(b), std::move(onFirst));
    rec.endedAt = loop.now();
}

TEST(Race, theFirstChildToEndDecidesAndTheRaceEndsWhenTheOtherHasHeardItsCancellation) {
    struct Row {
        const char* name;
        Nanos operation; // the first child, racing a 100 ms timeout that yields false
        bool operationHonoursCancellation;
        std::size_t winner;
        Nanos endedAt;
    };
    const Row rows[] = {
        {"the operation ends first", milliseconds(30), true, 0, milliseconds(30)},
        {"the timeout ends first", milliseconds(300), true, 1, milliseconds(100)},
        {"the timeout ends first, the operation goes on", milliseconds(300), false, 1, milliseconds(300)},
    };
    for (const Row& r : rows) {
        SimRunLoop loop;
        RaceRecord rec;
        Nanos sawCancelAt = -1;
        auto operation = [&](CancellationToken t) {
            return r.operationHonoursCancellation ? pauseUnlessCancelled(loop, r.operation, true, t)
                                                  : stubbornPause(loop, r.operation, true, t, sawCancelAt);
        };
        auto timeout = [&loop](CancellationToken t) {
            return pauseUnlessCancelled(loop, milliseconds(100), false, t);
        };
        spawn(loop, runRace(loop, operation, timeout, rec));
        loop.advance(milliseconds(299));
        ASSERT_TRUE(rec.first) << r.name;
        EXPECT_EQ(rec.first->winner, r.winner) << r.name;
        EXPECT_EQ(rec.first->value(), r.winner == 0) << r.name;
        EXPECT_EQ(rec.firstAt, std::min(r.operation, milliseconds(100))) << r.name;
        EXPECT_EQ(rec.result.has_value(), r.endedAt < milliseconds(300)) << r.name;
        loop.advance(milliseconds(1));
        ASSERT_TRUE(rec.result) << r.name;
        EXPECT_EQ(rec.result->winner, r.winner) << r.name;
        EXPECT_EQ(rec.result->value(), r.winner == 0) << r.name;
        EXPECT_FALSE(r.winner == 0 ? rec.result->second : rec.result->first) << r.name;
        EXPECT_EQ(rec.endedAt, r.endedAt) << r.name;
        EXPECT_EQ(sawCancelAt, r.operationHonoursCancellation ? -1 : milliseconds(100)) << r.name;
        EXPECT_EQ(loop.pendingCount(), 0u) << r.name;
    }
}

Task<void> racePollAgainstText(RunLoop& loop, int& checks, std::optional<RaceResult<bool, std::string>>& out,
                               Nanos& endedAt) {
    auto poll = [&loop, &checks](CancellationToken) {
        return pollUntil(loop, milliseconds(50), milliseconds(200), [&checks] {
            ++checks;
            return false;
        });
    };
    auto quick = [&loop](CancellationToken) { return name(loop, milliseconds(60), "quick"); };
    out = co_await race(loop, poll, quick);
    endedAt = loop.now();
}

TEST(Race, childrenMayYieldDifferentTypesAndAPollIsNotEndedByCancellation) {
    SimRunLoop loop;
    int checks = 0;
    Nanos endedAt = -1;
    std::optional<RaceResult<bool, std::string>> out;
    spawn(loop, racePollAgainstText(loop, checks, out, endedAt));
    loop.advance(seconds(1));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->winner, 1u);
    EXPECT_EQ(out->second, "quick");
    EXPECT_FALSE(out->first);
    EXPECT_EQ(endedAt, milliseconds(200));
    EXPECT_EQ(checks, 5);
}

Task<void> raceCatching(RunLoop& loop, std::string& caught, bool& heardFirst) {
    try {
        auto failing = [&loop](CancellationToken) {
            return throwAfter<bool>(loop, milliseconds(5), "child failed");
        };
        auto pausing = [&loop](CancellationToken t) {
            return pauseUnlessCancelled(loop, milliseconds(50), true, t);
        };
        std::function<void(const RaceResult<bool>&)> onFirst = [&heardFirst](const RaceResult<bool>&) {
            heardFirst = true;
        };
        co_await race(loop, failing, pausing, onFirst);
    } catch (const std::runtime_error& e) {
        caught = e.what();
    }
}

TEST(Race, aChildThatFailsFirstMakesTheRaceFail) {
    SimRunLoop loop;
    std::string caught;
    bool heardFirst = false;
    spawn(loop, raceCatching(loop, caught, heardFirst));
    loop.advance(milliseconds(5));
    EXPECT_EQ(caught, "child failed");
    EXPECT_FALSE(heardFirst);
    EXPECT_EQ(loop.pendingCount(), 0u) << "the other child was cancelled";
}

// --- Teardown ------------------------------------------------------------------------------------

Task<bool> holdInRace(RunLoop& loop, std::shared_ptr<int> sentinel) {
    co_await sleepFor(loop, seconds(5));
    co_return ++*sentinel > 0;
}

Task<void> raceHolding(RunLoop& loop, std::shared_ptr<int> sentinel) {
    auto hold = [&loop, sentinel](CancellationToken) { return holdInRace(loop, sentinel); };
    co_await race(loop, hold, hold);
    ++*sentinel;
}

TEST(Task, destroyingTheLoopDestroysSuspendedTasksWithoutRunningThem) {
    auto sentinel = std::make_shared<int>(0);
    std::weak_ptr<int> watch = sentinel;
    {
        SimRunLoop loop;
        CancellationSource source;
        auto [future, resolver] = makeFuture<int>(loop);
        spawn(loop, holdWhileSleeping(loop, sentinel, source.token()));
        spawn(loop, holdWhileSleeping(loop, sentinel, CancellationToken{}));
        spawn(loop, holdWhileAwaiting(std::move(future), sentinel));
        spawn(loop, raceHolding(loop, sentinel));
        loop.runUntilIdle();
        // The resolver waits in a block the loop will drop.
        loop.postAfter(seconds(60), [r = resolver] { r.resolve(1); });
        { auto drop = std::move(resolver); }
        spawn(loop, holdWhileSleeping(loop, sentinel, source.token())); // never started
        loop.advance(milliseconds(600));
        source.cancel();
        EXPECT_GT(loop.pendingCount(), 0u);
    }
    EXPECT_EQ(*sentinel, 0);
    sentinel.reset();
    EXPECT_TRUE(watch.expired()) << "every frame was destroyed";
}

} // namespace
