// The small simulated services: notification delivery rules, folder-watch events through the loop,
// hermetic process facts and repeatable UUIDs, and in-memory user defaults.
#include "platform/sim/SimFolderWatcher.h"
#include "platform/sim/SimNotificationCenter.h"
#include "platform/sim/SimProcessInfo.h"
#include "platform/sim/SimRunLoop.h"
#include "platform/sim/SimUserDefaults.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>

using namespace korvane;
using namespace korvane::sim;
using platform::NotificationCenter;
using Delivery = NotificationCenter::Delivery;

namespace {

struct Received {
    std::vector<std::string> entries;
    NotificationCenter::Handler handler(const std::string& tag) {
        return [this, tag](const std::string& name, const nlohmann::json& info) {
            entries.push_back(tag + ":" + name + (info.contains("k") ? "=" + info["k"].dump() : ""));
        };
    }
};

// The simulated watcher only needs the folder to exist.
struct TempFolder : korvane::testing::TempFolder {
    std::string str() const { return path().string(); }
};

} // namespace

struct SimNotificationCenterTest : ::testing::Test {
    SimRunLoop loop;
    SimNotificationCenter center{loop};
    Received got;
};

TEST_F(SimNotificationCenterTest, mainQueueDeliveryIsImmediateOnTheMainThreadAndQueuedElsewhere) {
    auto main = center.addObserver("N", Delivery::mainQueue, got.handler("main"));
    auto sync = center.addObserver("N", Delivery::posting, got.handler("posting"));
    auto other = center.addObserver("Other", Delivery::posting, got.handler("o"));

    center.post("N", {{"k", 1}});
    EXPECT_EQ(got.entries, (std::vector<std::string>{"main:N=1", "posting:N=1"}));
    EXPECT_EQ(loop.pendingCount(), 0u);

    got.entries.clear();
    std::vector<std::string> seenInsideBackground;
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] {
        center.post("N", {{"k", "bg"}});
        seenInsideBackground = got.entries;
    });
    loop.runUntilIdle();
    // Off the main thread only the posting-thread observer runs during post; the other follows on the loop.
    EXPECT_EQ(seenInsideBackground, (std::vector<std::string>{"posting:N=\"bg\""}));
    EXPECT_EQ(got.entries, (std::vector<std::string>{"posting:N=\"bg\"", "main:N=\"bg\""}));

    got.entries.clear();
    std::thread([&] { center.post("N"); }).join();
    EXPECT_EQ(got.entries, (std::vector<std::string>{"posting:N"}));
    loop.runUntilIdle();
    EXPECT_EQ(got.entries, (std::vector<std::string>{"posting:N", "main:N"}));
}

TEST_F(SimNotificationCenterTest, cancellingStopsDeliveriesThatHaveNotBegun) {
    std::unique_ptr<platform::ObserverToken> second;
    std::unique_ptr<platform::ObserverToken> first;
    first = center.addObserver("N", Delivery::posting, [&](const std::string&, const nlohmann::json&) {
        got.entries.push_back("first");
        second->cancel();
        first->cancel(); // its own token, while its handler runs
    });
    second = center.addObserver("N", Delivery::posting, got.handler("second"));
    center.post("N");
    center.post("N");
    EXPECT_EQ(got.entries, (std::vector<std::string>{"first"}));
    first->cancel();
    second.reset();
    EXPECT_EQ(center.observerCount("N"), 0u);

    // Queued for the loop, then cancelled before the loop runs.
    auto queued = center.addObserver("N", Delivery::mainQueue, got.handler("main"));
    loop.dispatchGlobal(platform::QueueQoS::Background, [&] {
        center.post("N");
        queued->cancel();
    });
    loop.runUntilIdle();
    EXPECT_EQ(got.entries, (std::vector<std::string>{"first"}));

    // A token that outlives its centre cancels safely (ASan reports a use after free otherwise).
    std::unique_ptr<platform::ObserverToken> orphan;
    {
        SimNotificationCenter gone(loop);
        orphan = gone.addObserver("N", Delivery::posting, got.handler("orphan"));
    }
    orphan->cancel();
}

TEST_F(SimNotificationCenterTest, observerAddedDuringDeliveryWaitsForTheNextPost) {
    std::vector<std::unique_ptr<platform::ObserverToken>> added;
    auto adder = center.addObserver("N", Delivery::posting, [&](const std::string&, const nlohmann::json&) {
        got.entries.push_back("adder");
        if (added.empty()) added.push_back(center.addObserver("N", Delivery::posting, got.handler("late")));
    });
    center.post("N");
    EXPECT_EQ(got.entries, (std::vector<std::string>{"adder"}));
    center.post("N");
    EXPECT_EQ(got.entries, (std::vector<std::string>{"adder", "adder", "late:N"}));
}

TEST(SimFolderWatcher, injectedEventsArriveThroughTheLoopForTheWatchedFolderOnly) {
    SimRunLoop loop;
    SimFolderWatcher watcher(loop);
    TempFolder dir;
    EXPECT_EQ(watcher.watch(dir.str() + "/absent", [](unsigned) {}), nullptr);
    EXPECT_EQ(watcher.watch("", [](unsigned) {}), nullptr);
    std::vector<unsigned> a, b;
    auto wa = watcher.watch(dir.str(), [&](unsigned e) { a.push_back(e); });
    auto wb = watcher.watch(dir.str() + "/", [&](unsigned e) { b.push_back(e); });
    ASSERT_TRUE(wa && wb);
    EXPECT_EQ(watcher.activeWatchCount(dir.str()), 2u);

    watcher.inject(dir.str() + "/.", platform::kFolderWrite | platform::kFolderExtend);
    watcher.inject(dir.str() + "/elsewhere", platform::kFolderDelete);
    EXPECT_TRUE(a.empty() && b.empty()) << "never delivered inside inject";
    loop.runUntilIdle();
    EXPECT_EQ(a, (std::vector<unsigned>{platform::kFolderWrite | platform::kFolderExtend}));
    EXPECT_EQ(b, a);
}

TEST(SimFolderWatcher, cancelledOrDestroyedWatchesReceiveNothing) {
    SimRunLoop loop;
    SimFolderWatcher watcher(loop);
    TempFolder dir;
    int calls = 0, selfCancelling = 0;
    auto w = watcher.watch(dir.str(), [&](unsigned) { ++calls; });
    auto w2 = watcher.watch(dir.str(), [&](unsigned) { ++calls; });
    std::unique_ptr<platform::FolderWatch> own;
    own = watcher.watch(dir.str(), [&](unsigned) {
        ++selfCancelling;
        own->cancel();
    });
    watcher.inject(dir.str(), platform::kFolderWrite);
    w->cancel(); // after the inject, before the loop delivers
    EXPECT_FALSE(w->isActive());
    w2.reset();
    EXPECT_EQ(watcher.activeWatchCount(dir.str()), 1u);
    loop.runUntilIdle();
    watcher.inject(dir.str(), platform::kFolderWrite);
    loop.runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(selfCancelling, 1);
    w->cancel();
}

TEST(SimProcessInfo, environmentHoldsOnlyWhatTheTestSet) {
    SimProcessInfo info;
    ASSERT_NE(std::getenv("PATH"), nullptr);
    EXPECT_EQ(info.environment("PATH"), std::nullopt);
    info.setEnvironment("KORVANE_HOME", "/tmp/k");
    EXPECT_EQ(info.environment("KORVANE_HOME"), "/tmp/k");
    info.unsetEnvironment("KORVANE_HOME");
    EXPECT_EQ(info.environment("KORVANE_HOME"), std::nullopt);
}

TEST(SimProcessInfo, uuidsAreUpperCaseRandomFormRepeatPerSeedAndCanBeScripted) {
    SimProcessInfo one, two;
    one.setUUIDSeed(42);
    two.setUUIDSeed(42);
    std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    std::vector<std::string> firstRun;
    for (int i = 0; i < 50; ++i) {
        std::string u = one.makeUUID();
        EXPECT_TRUE(std::regex_match(u, form)) << u;
        EXPECT_EQ(u, two.makeUUID());
        seen.insert(u);
        firstRun.push_back(u);
    }
    EXPECT_EQ(seen.size(), 50u);
    one.setUUIDSeed(42);
    EXPECT_EQ(one.makeUUID(), firstRun[0]);
    one.setUUIDSeed(43);
    EXPECT_NE(one.makeUUID(), firstRun[0]);

    // Scripted values come first, in order, and do not advance the generated sequence.
    two.setUUIDSeed(42);
    two.enqueueUUID("00000000-0000-0000-0000-000000000001");
    two.enqueueUUID("00000000-0000-0000-0000-000000000002");
    EXPECT_EQ(two.makeUUID(), "00000000-0000-0000-0000-000000000001");
    EXPECT_EQ(two.makeUUID(), "00000000-0000-0000-0000-000000000002");
    EXPECT_EQ(two.makeUUID(), firstRun[0]);
}

TEST(SimUserDefaults, typedReadsAndRemoval) {
    SimUserDefaults d;
    d.set("flag", true);
    d.set("count", 3);
    d.set("names", nlohmann::json::array({"a", 1, "b"}));
    EXPECT_EQ(d.boolValue("flag"), true);
    EXPECT_EQ(d.numberValue("count"), 3.0);
    EXPECT_EQ(d.stringValue("count"), std::nullopt);
    EXPECT_EQ(d.stringList("names"), (std::vector<std::string>{"a", "b"}));
    d.set("flag", nullptr);
    EXPECT_EQ(d.object("flag"), std::nullopt);
    d.remove("count");
    EXPECT_EQ(d.object("count"), std::nullopt);
    EXPECT_EQ(SimUserDefaults().object("names"), std::nullopt);
}
