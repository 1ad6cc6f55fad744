// The simulated notification centre: which observers run during a post and which through the loop, and
// that cancelling stops deliveries that have not begun.
#include "platform/sim/SimNotificationCenter.h"
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <thread>

namespace korvane::sim {
namespace {

using Delivery = platform::NotificationCenter::Delivery;
using Token = std::unique_ptr<platform::ObserverToken>;
using Lines = std::vector<std::string>;

struct SimNotificationCenterTest : ::testing::Test {
    platform::NotificationCenter::Handler handler(const std::string& tag) {
        return [this, tag](const std::string& name, const nlohmann::json& info) {
            got.push_back(tag + ":" + name + (info.contains("k") ? "=" + info["k"].dump() : ""));
        };
    }
    SimRunLoop loop;
    SimNotificationCenter center{loop};
    Lines got;
};

TEST_F(SimNotificationCenterTest, mainQueueObserversRunDuringAPostOnTheMainThreadAndThroughTheLoopElsewhere) {
    auto main = center.addObserver("N", Delivery::mainQueue, handler("main"));
    auto posting = center.addObserver("N", Delivery::posting, handler("posting"));
    auto other = center.addObserver("Other", Delivery::posting, handler("other"));
    center.post("N", {{"k", 1}});
    EXPECT_EQ(got, (Lines{"main:N=1", "posting:N=1"}));
    EXPECT_EQ(loop.pendingCount(), 0u);

    got.clear();
    Lines seenDuringPost;
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] {
        center.post("N", {{"k", "bg"}});
        seenDuringPost = got;
    });
    loop.runUntilIdle();
    EXPECT_EQ(seenDuringPost, (Lines{"posting:N=\"bg\""}));
    EXPECT_EQ(got, (Lines{"posting:N=\"bg\"", "main:N=\"bg\""}));

    got.clear();
    std::thread([&] { center.post("N"); }).join();
    EXPECT_EQ(got, (Lines{"posting:N"}));
    loop.runUntilIdle();
    EXPECT_EQ(got, (Lines{"posting:N", "main:N"}));
}

TEST_F(SimNotificationCenterTest, cancellingStopsDeliveriesThatHaveNotBegun) {
    Token first, second;
    first = center.addObserver("N", Delivery::posting, [&](const std::string&, const nlohmann::json&) {
        got.push_back("first");
        second->cancel();
        first->cancel(); // its own token, while its handler runs
    });
    second = center.addObserver("N", Delivery::posting, handler("second"));
    center.post("N");
    center.post("N");
    EXPECT_EQ(got, (Lines{"first"}));
    EXPECT_EQ(center.observerCount("N"), 0u);

    // Queued for the loop, then cancelled before the loop runs.
    auto queued = center.addObserver("N", Delivery::mainQueue, handler("main"));
    loop.dispatchGlobal(platform::QueueQoS::Background, [&] {
        center.post("N");
        queued->cancel();
    });
    loop.runUntilIdle();
    EXPECT_EQ(got, (Lines{"first"}));

    // A token that outlives its centre cancels safely (ASan reports a use after free otherwise).
    Token orphan;
    {
        SimNotificationCenter gone(loop);
        orphan = gone.addObserver("N", Delivery::posting, handler("orphan"));
    }
    orphan->cancel();
}

TEST_F(SimNotificationCenterTest, anObserverAddedDuringADeliveryWaitsForTheNextPost) {
    std::vector<Token> added;
    auto adder = center.addObserver("N", Delivery::posting, [&](const std::string&, const nlohmann::json&) {
        got.push_back("adder");
        if (added.empty()) added.push_back(center.addObserver("N", Delivery::posting, handler("late")));
    });
    center.post("N");
    EXPECT_EQ(got, (Lines{"adder"}));
    center.post("N");
    EXPECT_EQ(got, (Lines{"adder", "adder", "late:N"}));
}

} // namespace
} // namespace korvane::sim
