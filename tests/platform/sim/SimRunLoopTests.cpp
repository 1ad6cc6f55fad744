// The simulated run loop: virtual time, ordering, modes, cancellation and teardown.
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using korvane::milliseconds;
using korvane::Nanos;
using korvane::platform::QueueQoS;
using korvane::platform::RunLoopMode;
using korvane::platform::Timer;
using korvane::sim::SimRunLoop;

namespace {

constexpr auto noop = [](Timer&) {};

TEST(SimRunLoop, runsWorkInTimeThenSchedulingOrderUpToAndIncludingTheTarget) {
    SimRunLoop loop;
    std::vector<std::string> ran;
    auto note = [&](std::string what) {
        return
            [&ran, &loop, what] { ran.push_back(what + "@" + std::to_string(loop.now() / milliseconds(1))); };
    };
    loop.postAfter(milliseconds(30), note("later"));
    loop.postAfter(milliseconds(25) + 1, note("just after"));
    loop.postAfter(milliseconds(25), note("a"));
    loop.scheduleTimer(milliseconds(25), false, RunLoopMode::Common, [f = note("timer")](Timer&) { f(); });
    loop.postAfter(milliseconds(25), [&, f = note("b")] {
        f();
        loop.post(note("posted by b")); // at the same instant, after what is queued
    });
    loop.dispatchGlobal(QueueQoS::Utility, note("global"));
    loop.postAfter(milliseconds(25), note("c"));
    loop.postAfter(milliseconds(10), note("first"));

    loop.advance(milliseconds(25));
    EXPECT_EQ(ran, (std::vector<std::string>{"global@0", "first@10", "a@25", "timer@25", "b@25", "c@25",
                                             "posted by b@25"}));
    EXPECT_EQ(loop.now(), milliseconds(25));
    loop.advance(milliseconds(100));
    EXPECT_EQ(ran.size(), 9u);
    EXPECT_EQ(ran.back(), "later@30");
    EXPECT_EQ(loop.now(), milliseconds(125));
}

TEST(SimRunLoop, aCancelledWorkItemNeverRunsNorCountsAsPending) {
    SimRunLoop loop;
    bool cancelledEarly = false;
    bool cancelledBySibling = false;
    auto early = loop.postAfter(milliseconds(10), [&] { cancelledEarly = true; });
    auto timer = loop.scheduleTimer(milliseconds(10), true, RunLoopMode::Default, noop);
    loop.dispatchGlobal(QueueQoS::Background, [] {});
    EXPECT_EQ(loop.pendingCount(), 3u);
    early->cancel();
    timer->invalidate();
    EXPECT_EQ(loop.pendingCount(), 1u);

    // Scheduled after the canceller but due at the same instant: it is still queued when cancelled.
    korvane::platform::WorkItemRef sibling;
    loop.postAfter(milliseconds(20), [&] { sibling->cancel(); });
    sibling = loop.postAfter(milliseconds(20), [&] { cancelledBySibling = true; });
    loop.advance(milliseconds(50));
    EXPECT_FALSE(cancelledEarly);
    EXPECT_FALSE(cancelledBySibling);

    early->cancel(); // twice, and after the instant it was due: harmless
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST(SimRunLoop, timersFireOnlyInTheirModes) {
    struct Row {
        RunLoopMode timerMode;
        RunLoopMode loopMode;
        bool fires;
    };
    const Row rows[] = {
        {RunLoopMode::Default, RunLoopMode::Default, true},
        {RunLoopMode::Default, RunLoopMode::EventTracking, false},
        {RunLoopMode::Common, RunLoopMode::Default, true},
        {RunLoopMode::Common, RunLoopMode::EventTracking, true},
        {RunLoopMode::EventTracking, RunLoopMode::Default, false},
        {RunLoopMode::EventTracking, RunLoopMode::EventTracking, true},
    };
    for (const Row& row : rows) {
        SimRunLoop loop;
        loop.setMode(row.loopMode);
        int fired = 0;
        bool posted = false;
        loop.scheduleTimer(milliseconds(10), false, row.timerMode, [&](Timer&) { ++fired; });
        loop.postAfter(milliseconds(10), [&] { posted = true; });
        loop.advance(milliseconds(20));
        EXPECT_EQ(fired == 1, row.fires) << int(row.timerMode) << " in " << int(row.loopMode);
        EXPECT_TRUE(posted) << "posted blocks run in every mode";
    }
}

TEST(SimRunLoop, timersHeldBackByTrackingFireLateOnceWhenTheModeReturns) {
    SimRunLoop loop;
    Nanos firedAt = -1;
    std::vector<Nanos> repeats;
    loop.scheduleTimer(milliseconds(10), false, RunLoopMode::Default, [&](Timer&) { firedAt = loop.now(); });
    auto repeating = loop.scheduleTimer(milliseconds(15), true, RunLoopMode::Default, [&](Timer&) {
        repeats.push_back(loop.now());
        loop.sleepBlocking(milliseconds(4)); // work inside the callback does not shift the schedule
    });
    loop.postAfter(milliseconds(5), [&] { loop.setMode(RunLoopMode::EventTracking); });
    loop.postAfter(milliseconds(40), [&] { loop.setMode(RunLoopMode::Default); });

    loop.advance(milliseconds(30));
    EXPECT_EQ(firedAt, -1);
    loop.advance(milliseconds(20));
    EXPECT_EQ(firedAt, milliseconds(40)) << "runs late, the clock does not go back";
    // The missed firings of a repeating timer are skipped, and it keeps to its own schedule.
    EXPECT_EQ(repeats, (std::vector<Nanos>{milliseconds(40), milliseconds(45)}));
    loop.advance(milliseconds(15));
    EXPECT_EQ(repeats.back(), milliseconds(60));
    repeating->invalidate();

    // A mode change made by a test, between turns, takes effect at the next turn.
    Nanos second = -1;
    loop.setMode(RunLoopMode::EventTracking);
    loop.scheduleTimer(milliseconds(1), false, RunLoopMode::Default, [&](Timer&) { second = loop.now(); });
    loop.advance(milliseconds(10));
    loop.setMode(RunLoopMode::Default);
    EXPECT_EQ(second, -1);
    loop.runUntilIdle();
    EXPECT_EQ(second, milliseconds(75));
}

TEST(SimRunLoop, trackingScopesNestAndTheOutermostEndReturnsTheModeItFound) {
    SimRunLoop loop;
    int fired = 0;
    loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, [&](Timer&) { ++fired; });
    {
        korvane::platform::EventTrackingScope menu(loop);
        { korvane::platform::EventTrackingScope submenu(loop); }
        EXPECT_EQ(loop.currentMode(), RunLoopMode::EventTracking);
        loop.advance(milliseconds(10));
        EXPECT_EQ(fired, 0);
    }
    EXPECT_EQ(loop.currentMode(), RunLoopMode::Default);
    loop.runUntilIdle();
    EXPECT_EQ(fired, 1);
    loop.leaveEventTracking(); // without an enter: nothing
    EXPECT_EQ(loop.currentMode(), RunLoopMode::Default);
}

TEST(SimRunLoop, invalidatedAndFinishedTimersNeverFireAgainAndReleaseTheirCallback) {
    SimRunLoop loop;
    int fired = 0;
    auto captured = std::make_shared<int>(1);
    std::weak_ptr<int> watch = captured;
    korvane::platform::TimerRef timer;
    loop.postAfter(milliseconds(10), [&] { timer->invalidate(); }); // same instant, queued first
    timer =
        loop.scheduleTimer(milliseconds(10), true, RunLoopMode::Common, [&, captured](Timer&) { ++fired; });
    auto oneShot = loop.scheduleTimer(milliseconds(1), false, RunLoopMode::Common, [captured](Timer&) {});
    auto repeating = loop.scheduleTimer(milliseconds(1), true, RunLoopMode::Common,
                                        [captured](Timer& t) { t.invalidate(); });
    captured.reset();
    loop.advance(milliseconds(100));
    EXPECT_EQ(fired, 0);
    timer->invalidate(); // twice: harmless
    for (const auto& t : {timer, oneShot, repeating})
        EXPECT_FALSE(t->isValid());
    // The handles are still held, but the callbacks (and what they captured) are gone.
    EXPECT_TRUE(watch.expired());
}

TEST(SimRunLoop, backgroundBlocksAreNotOnTheMainThreadAndSerialSyncRunsAfterWhatIsQueued) {
    SimRunLoop loop;
    std::vector<std::pair<std::string, bool>> seen;
    auto queue = loop.makeSerialQueue("Korvane.test.serial");
    loop.post([&] { seen.emplace_back("main", loop.isMainThread()); });
    loop.dispatchGlobal(QueueQoS::UserInitiated, [&] { seen.emplace_back("global", loop.isMainThread()); });
    queue->async([&] { seen.emplace_back("serial", loop.isMainThread()); });
    loop.scheduleTimer(0, false, RunLoopMode::Common,
                       [&](Timer&) { seen.emplace_back("timer", loop.isMainThread()); });
    loop.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{
                        {"main", true}, {"global", false}, {"serial", false}, {"timer", true}}));
    EXPECT_TRUE(loop.isMainThread());
    bool other = true;
    std::thread([&] { other = loop.isMainThread(); }).join();
    EXPECT_FALSE(other);

    std::vector<std::string> log;
    queue->async([&] { log.push_back("a1"); });
    queue->async([&] { log.push_back("a2"); });
    bool mainInside = true;
    queue->sync([&] {
        log.push_back("sync");
        mainInside = loop.isMainThread();
        queue->sync([&] { log.push_back("nested"); }); // from the queue itself: runs inline
    });
    EXPECT_EQ(log, (std::vector<std::string>{"a1", "a2", "sync", "nested"}));
    EXPECT_FALSE(mainInside);
    EXPECT_EQ(loop.pendingCount(), 0u) << "the drained blocks do not run a second time";
}

TEST(SimRunLoop, sleepBlockingMovesTheClockAndRunsNothing) {
    SimRunLoop loop(1'000 * korvane::kNanosPerSecond);
    std::vector<std::pair<Nanos, Nanos>> sleeps;
    loop.onBlockingSleep = [&](Nanos from, Nanos to) { sleeps.emplace_back(from, to); };
    bool ran = false;
    loop.postAfter(milliseconds(10), [&] { ran = true; });
    loop.sleepBlocking(milliseconds(50));
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.now(), milliseconds(50));
    EXPECT_EQ(loop.wallClock(), 1'000 * korvane::kNanosPerSecond + milliseconds(50));
    EXPECT_EQ(sleeps, (std::vector<std::pair<Nanos, Nanos>>{{0, milliseconds(50)}}));
    loop.runUntilIdle();
    EXPECT_TRUE(ran) << "overdue work runs at the next turn";
    EXPECT_EQ(loop.now(), milliseconds(50));
}

TEST(SimRunLoop, advanceUntilStopsWhenTheConditionHoldsOrAtTheLimit) {
    SimRunLoop loop;
    bool flag = false;
    loop.postAfter(milliseconds(37), [&] { flag = true; });
    EXPECT_TRUE(loop.advanceUntil([&] { return flag; }, milliseconds(100), milliseconds(10)));
    EXPECT_EQ(loop.now(), milliseconds(40));

    EXPECT_FALSE(loop.advanceUntil([] { return false; }, milliseconds(25), milliseconds(10)));
    EXPECT_EQ(loop.now(), milliseconds(65));
    EXPECT_TRUE(loop.advanceUntil([] { return true; }, milliseconds(25)));
    EXPECT_EQ(loop.now(), milliseconds(65));
}

TEST(SimRunLoop, destroyingTheLoopDestroysPendingWorkWithoutRunningIt) {
    auto sentinel = std::make_shared<int>(0);
    std::weak_ptr<int> watch = sentinel;
    bool ran = false;
    korvane::platform::WorkItemRef item;
    korvane::platform::TimerRef timer;
    std::shared_ptr<korvane::platform::SerialQueue> queue;
    {
        SimRunLoop loop;
        queue = loop.makeSerialQueue("q");
        item = loop.postAfter(milliseconds(5), [sentinel, &ran] { ran = true; });
        timer = loop.scheduleTimer(milliseconds(5), true, RunLoopMode::Default,
                                   [sentinel, &ran](Timer&) { ran = true; });
        queue->async([sentinel, &ran] { ran = true; });
        // A block whose destruction posts again meets a closed loop.
        struct PostsOnDestruction {
            SimRunLoop* loop;
            std::shared_ptr<int> keep;
            ~PostsOnDestruction() {
                if (loop) loop->post([keep = keep] {});
            }
        };
        auto poster = std::make_shared<PostsOnDestruction>(PostsOnDestruction{&loop, sentinel});
        loop.post([poster] {});
        poster.reset();
        sentinel.reset();
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(timer->isValid());
    item->cancel(); // after the loop: harmless
    timer->invalidate();
    queue->async([&ran] { ran = true; });
    queue->sync([] {});
    EXPECT_FALSE(ran);
}

TEST(SimRunLoop, postingFromOtherThreadsIsSafe) {
    SimRunLoop loop;
    std::atomic<int> count{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                if (i % 2)
                    loop.post([&] { ++count; });
                else
                    loop.postAfter(milliseconds(1), [&] { ++count; });
            }
        });
    }
    for (int i = 0; i < 200; ++i)
        loop.advance(1);
    for (auto& t : threads)
        t.join();
    loop.advance(milliseconds(2));
    EXPECT_EQ(count.load(), 1000);
}

} // namespace
