// The simulated folder watcher: injected events reach the watches of that folder through the loop, and
// cancelled or dropped watches receive nothing.
#include "platform/sim/SimFolderWatcher.h"
#include "platform/sim/SimRunLoop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace korvane::sim {
namespace {

struct SimFolderWatcherTest : ::testing::Test {
    SimRunLoop loop;
    SimFolderWatcher watcher{loop};
    korvane::testing::TempFolder folder;
    std::string dir = folder.path().string();
};

TEST_F(SimFolderWatcherTest, injectedEventsArriveThroughTheLoopForTheWatchedFolderOnly) {
    EXPECT_EQ(watcher.watch(dir + "/absent", [](unsigned) {}), nullptr);
    EXPECT_EQ(watcher.watch("", [](unsigned) {}), nullptr);
    std::vector<unsigned> a, b;
    auto wa = watcher.watch(dir, [&](unsigned e) { a.push_back(e); });
    auto wb = watcher.watch(dir + "/", [&](unsigned e) { b.push_back(e); });
    ASSERT_TRUE(wa && wb);
    watcher.inject(dir + "/.", platform::kFolderWrite | platform::kFolderExtend);
    watcher.inject(dir + "/elsewhere", platform::kFolderDelete);
    EXPECT_TRUE(a.empty() && b.empty()) << "never delivered inside inject";
    loop.runUntilIdle();
    EXPECT_EQ(a, (std::vector<unsigned>{platform::kFolderWrite | platform::kFolderExtend}));
    EXPECT_EQ(b, a);
}

TEST_F(SimFolderWatcherTest, cancelledOrDroppedWatchesReceiveNothing) {
    int calls = 0, selfCancelling = 0;
    auto cancelled = watcher.watch(dir, [&](unsigned) { ++calls; });
    auto dropped = watcher.watch(dir, [&](unsigned) { ++calls; });
    std::unique_ptr<platform::FolderWatch> own;
    own = watcher.watch(dir, [&](unsigned) {
        ++selfCancelling;
        own->cancel();
    });
    watcher.inject(dir, platform::kFolderWrite);
    cancelled->cancel(); // after the inject, before the loop delivers
    dropped.reset();
    EXPECT_FALSE(cancelled->isActive());
    EXPECT_EQ(watcher.activeWatchCount(dir), 1u);
    loop.runUntilIdle();
    watcher.inject(dir, platform::kFolderWrite);
    loop.runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(selfCancelling, 1);
    cancelled->cancel(); // twice: harmless
}

} // namespace
} // namespace korvane::sim
