// The real main run loop and the services that deliver through it: posted blocks, delayed blocks and
// the clocks, timers, background queues, the notification centre and the folder watcher with real
// inotify events.
#include "X11Fixture.h"

#include "platform/FolderWatcher.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <numeric>
#include <thread>

namespace korvane::x11::test {
namespace {

using namespace platform;
namespace fs = std::filesystem;

using X11RunLoopTest = X11Test;

TEST_F(X11RunLoopTest, blocksRunOnTheMainThreadInOrderDelayedOnesWhenDueAndTimersInTheirMode) {
    auto& loop = desktop->runLoop();
    std::vector<int> order, expected(100);
    std::iota(expected.begin(), expected.end(), 1);
    auto note = [&](int n) { return [&, n] { order.push_back(loop.isMainThread() ? n : -n); }; };
    loop.post(note(1));
    loop.post(note(2));
    std::thread([&] {
        for (int n = 3; n <= 100; ++n)
            loop.post(note(n));
    }).join();
    EXPECT_TRUE(order.empty()); // never inside the call that posted
    ASSERT_TRUE(runUntil([&] { return order.size() == 100; }));
    EXPECT_EQ(order, expected); // on the main thread, else negative

    // Delayed blocks run in due order, and a cancelled one never.
    std::vector<std::string> ran;
    const Nanos start = loop.now();
    Nanos lateAt = 0;
    loop.postAfter(milliseconds(60), [&] {
        ran.push_back("late");
        lateAt = loop.now();
    });
    loop.postAfter(milliseconds(10), [&] { ran.push_back("early"); });
    auto cancelled = loop.postAfter(milliseconds(30), [&] { ran.push_back("cancelled"); });
    cancelled->cancel();
    cancelled->cancel(); // twice is harmless
    // Scheduled from another thread, it still runs on the main one.
    std::atomic<bool> fromBackgroundOnMain{false};
    std::thread([&] {
        loop.postAfter(milliseconds(20), [&] { fromBackgroundOnMain = loop.isMainThread(); });
    }).join();
    ASSERT_TRUE(runUntil([&] { return ran.size() >= 2; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"early", "late"}));
    EXPECT_GE(lateAt - start, milliseconds(60));
    EXPECT_TRUE(fromBackgroundOnMain);
    // The wall clock counts from 1970 in the same unit.
    const auto system = std::chrono::system_clock::now().time_since_epoch();
    EXPECT_LT(
        std::llabs(loop.wallClock() - std::chrono::duration_cast<std::chrono::nanoseconds>(system).count()),
        seconds(1));

    // Timers repeat until invalidated and keep to their mode.
    int repeats = 0, once = 0, tracking = 0, ticks = 0;
    auto repeating = [](int& n, int until) {
        return [&n, until](Timer& t) {
            if (++n == until) t.invalidate();
        };
    };
    loop.scheduleTimer(milliseconds(5), true, RunLoopMode::Common, repeating(repeats, 3));
    auto single = loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, [&](Timer&) { ++once; });
    auto trackingOnly =
        loop.scheduleTimer(milliseconds(1), true, RunLoopMode::EventTracking, [&](Timer&) { ++tracking; });
    auto stopped =
        loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, [&](Timer&) { ADD_FAILURE(); });
    stopped->invalidate();

    ASSERT_TRUE(runUntil([&] { return repeats == 3 && once == 1; }));
    // Nothing is due any more; give a stray firing every chance to show.
    loop.scheduleTimer(milliseconds(5), true, RunLoopMode::Default, repeating(ticks, 6));
    ASSERT_TRUE(runUntil([&] { return ticks == 6; }));
    EXPECT_EQ(repeats, 3);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(single->isValid());
    EXPECT_EQ(tracking, 0); // this loop never tracks an event
    trackingOnly->invalidate();
}

// A menu's nested loop runs inside a tracking scope: default-mode timers wait for it to close and then
// fire once, late; tracking and common ones fire meanwhile; nested scopes end with the outermost.
TEST_F(X11RunLoopTest, aTrackingScopeHoldsDefaultTimersUntilItsOutermostEndThenFiresThemOnce) {
    auto& loop = desktop->runLoop();
    std::vector<std::string> fired;
    auto note = [&](std::string what) { return [&fired, what](Timer&) { fired.push_back(what); }; };
    int tracking = 0;
    TimerRef trackingOnly;
    {
        EventTrackingScope menu(loop);
        EXPECT_EQ(loop.currentMode(), RunLoopMode::EventTracking);
        loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, note("first"));
        loop.scheduleTimer(milliseconds(10), false, RunLoopMode::Default, note("second"));
        loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Common, note("common"));
        auto dropped = loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, note("invalidated"));
        trackingOnly = loop.scheduleTimer(milliseconds(2), true, RunLoopMode::EventTracking,
                                          [&](Timer&) { ++tracking; });
        ASSERT_TRUE(runUntil([&] { return !fired.empty() && tracking >= 2; }));
        runUntil([] { return false; }, milliseconds(30)); // the default ones are due by now
        dropped->invalidate();                            // held back, then invalidated: never fires
        { EventTrackingScope submenu(loop); }
        runUntil([] { return false; }, milliseconds(30));
        EXPECT_EQ(fired, std::vector<std::string>{"common"}) << "an inner scope's end leaves the mode alone";
    }
    EXPECT_EQ(loop.currentMode(), RunLoopMode::Default);
    const int trackedWhileOpen = tracking;
    ASSERT_TRUE(runUntil([&] { return fired.size() == 3; }));
    runUntil([] { return false; }, milliseconds(30));
    EXPECT_EQ(fired, (std::vector<std::string>{"common", "first", "second"})) << "in the order they came due";
    EXPECT_EQ(tracking, trackedWhileOpen) << "tracking timers wait for the next menu";
    trackingOnly->invalidate();
    loop.leaveEventTracking(); // a leave without an enter changes nothing
    EXPECT_EQ(loop.currentMode(), RunLoopMode::Default);
}

// A modal dialog opened by a timer runs its own loop inside that timer's firing: the rest of the
// schedule goes on meanwhile, what was due before and what is scheduled from inside alike.
TEST_F(X11RunLoopTest, aModalLoopInsideATimerLetsTheOtherTimersAndDelayedBlocksRun) {
    auto& loop = desktop->runLoop();
    std::vector<std::string> fired;
    bool closedByTheOthers = false;
    loop.scheduleTimer(milliseconds(5), false, RunLoopMode::Default, [&](Timer&) {
        fired.push_back("modal");
        loop.postAfter(milliseconds(20), [&] { fired.push_back("posted inside"); });
        loop.scheduleTimer(milliseconds(30), false, RunLoopMode::Default,
                           [&](Timer&) { fired.push_back("timer inside"); });
        closedByTheOthers = runUntil([&] { return fired.size() == 4; }, seconds(5));
    });
    loop.postAfter(milliseconds(10), [&] { fired.push_back("due before"); });
    ASSERT_TRUE(runUntil([&] { return fired.size() == 4; }));
    EXPECT_TRUE(closedByTheOthers) << "the schedule stood still while the modal loop ran";
    EXPECT_EQ(fired, (std::vector<std::string>{"modal", "due before", "posted inside", "timer inside"}));
}

TEST_F(X11RunLoopTest, backgroundQueuesRunOffTheMainThreadAndSerialQueuesInOrder) {
    auto& loop = desktop->runLoop();
    std::atomic<int> globalOnMain{-1};
    loop.dispatchGlobal(QueueQoS::Background, [&] { globalOnMain = loop.isMainThread() ? 1 : 0; });

    auto queue = loop.makeSerialQueue("Korvane.test.serial");
    std::vector<int> order, expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    for (int n : expected)
        queue->async([&order, n] { order.push_back(n); });
    bool innerRan = false;
    // sync waits for the blocks before it, and may sync onto its own queue from inside.
    queue->sync([&] { queue->sync([&] { innerRan = true; }); });
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(innerRan);
    ASSERT_TRUE(runUntil([&] { return globalOnMain.load() != -1; }));
    EXPECT_EQ(globalOnMain.load(), 0);
}

// A serial queue can outlive its desktop in whoever holds it (a process-wide cache of icons): the desktop's
// end waits for the block running on it and drops the rest, so that no block reaches a desktop that has
// gone.
TEST_F(X11RunLoopTest, theDesktopsEndWaitsForASerialQueuesRunningBlockAndDropsTheRestOfIt) {
    auto queue = desktop->runLoop().makeSerialQueue("Korvane.test.outliving");
    std::atomic<bool> started{false}, finished{false}, later{false};
    queue->async([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        finished = true;
    });
    queue->async([&] { later = true; });
    ASSERT_TRUE(X11TestSession::waitFor([&] { return started.load(); }));
    reconnect();
    EXPECT_TRUE(finished) << "the desktop went while a block of its queue still ran";
    queue->async([&] { later = true; });
    queue.reset();
    EXPECT_FALSE(later) << "a block ran after the desktop had gone";
}

// Handlers run on the posting thread during post(), or on the main thread: never two at once.
TEST_F(X11RunLoopTest, notificationsReachTheirObserversOnTheRequestedThread) {
    auto& center = desktop->notificationCenter();
    std::vector<std::string> heard;
    auto observe = [&](NotificationCenter::Delivery delivery, std::string how) {
        return center.addObserver("test.note", delivery,
                                  [&, how](const std::string&, const nlohmann::json& info) {
                                      heard.push_back(how + info.value("v", "") +
                                                      (desktop->runLoop().isMainThread() ? " on main" : ""));
                                  });
    };
    auto posting = observe(NotificationCenter::Delivery::posting, "posting ");
    auto onMain = observe(NotificationCenter::Delivery::mainQueue, "main ");
    std::thread([&] {
        center.post("test.note", {{"v", "1"}});
        center.post("other.note");
        heard.push_back("posted");
    }).join();
    ASSERT_TRUE(runUntil([&] { return heard.size() == 3; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"posting 1", "posted", "main 1 on main"}));

    // Posted on the main thread, main-queue observers hear it at once; a cancelled one not at all.
    posting->cancel();
    posting->cancel();
    center.post("test.note", {{"v", "2"}});
    EXPECT_EQ(heard.back(), "main 2 on main");
    EXPECT_EQ(heard.size(), 4u);
}

TEST_F(X11RunLoopTest, theFolderWatcherReportsRealFileSystemEvents) {
    korvane::testing::TempFolder tmp;
    const fs::path folder = tmp.path() / "Layouts", moved = tmp.path() / "Moved";
    fs::create_directories(folder);
    auto& watcher = desktop->folderWatcher();
    EXPECT_EQ(watcher.watch((tmp.path() / "missing").string(), [](unsigned) {}), nullptr);

    unsigned events = 0;
    int calls = 0;
    auto watch = watcher.watch(folder.string(), [&](unsigned e) {
        events |= e;
        ++calls;
    });
    ASSERT_NE(watch, nullptr);
    // Each change, and the events it must bring.
    const std::vector<std::pair<std::function<void()>, unsigned>> steps = {
        {[&] { std::ofstream(folder / "a.json") << "{}"; }, kFolderWrite | kFolderExtend},
        {[&] { fs::remove(folder / "a.json"); }, kFolderWrite},
        {[&] { fs::rename(folder, moved); }, kFolderRename},
        {[&] { fs::remove_all(moved); }, kFolderDelete | kFolderRevoke},
    };
    for (const auto& [change, bits] : steps) {
        const unsigned expected = bits; // a variable of its own: clang 14 cannot capture a binding
        events = 0;
        change();
        ASSERT_TRUE(runUntil([&] { return (events & expected) == expected; })) << expected;
        // Removing a file writes the folder; it is neither deleted nor renamed.
        EXPECT_FALSE(expected == kFolderWrite && (events & (kFolderDelete | kFolderRename | kFolderRevoke)));
    }
    EXPECT_FALSE(watch->isActive());

    // A cancelled watch reports nothing more.
    fs::create_directories(folder);
    auto second = watcher.watch(folder.string(), [&](unsigned) { ++calls; });
    ASSERT_NE(second, nullptr);
    second->cancel();
    second->cancel();
    const int callsBefore = calls;
    std::ofstream(folder / "b.json") << "{}";
    int marker = 0;
    auto third = watcher.watch(folder.string(), [&](unsigned) { ++marker; });
    std::ofstream(folder / "c.json") << "{}";
    ASSERT_TRUE(runUntil([&] { return marker > 0; }));
    EXPECT_EQ(calls, callsBefore);
}

} // namespace
} // namespace korvane::x11::test
