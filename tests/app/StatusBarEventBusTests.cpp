// The status-bar event bus: numbering, snapshots, cancellation and delivery from other threads.
#include "app/StatusBarEventBus.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class StatusBarEventBusTest : public ::testing::Test {
  protected:
    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<StatusBarEventBus> bus = StatusBarEventBus::create(*desktop);

    std::size_t count(std::string_view needle) { return capture.log().count(needle); }
};

const auto kRefresh = StatusBarInvalidationEvent::refreshRequested(
    StatusBarInvalidationReason::externalStateChanged, "Test.source");

} // namespace

TEST_F(StatusBarEventBusTest, oneCounterNumbersBothKindsAndCancellingOneKindLeavesTheOther) {
    int actions = 0;
    std::vector<std::string> seen;
    auto a = bus->subscribeActions([&](StatusBarActionEvent) { ++actions; });
    auto i = bus->subscribeInvalidations(
        [&](const StatusBarInvalidationEvent& e) { seen.push_back(e.description()); });
    a->cancel();
    a->cancel(); // harmless, and silent
    EXPECT_EQ(count("unsubscribe action token="), 1u);
    bus->publish(StatusBarActionEvent::saveScene);
    bus->publish(kRefresh);
    EXPECT_EQ(count("[StatusBarEventBus] publish[1] action=saveScene subscribers=0"), 1u);
    EXPECT_EQ(
        count("[StatusBarEventBus] publish[2] invalidation=refreshRequested(reason=external.state-changed,"
              "source=Test.source) subscribers=1"),
        1u);
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(seen, (std::vector<std::string>{kRefresh.description()}));

    i.reset(); // dropping the handle cancels it
    bus->publish(kRefresh);
    EXPECT_EQ(seen.size(), 1u);
}

// A topology change is logged with how many displays came and went, never their identifiers.
TEST_F(StatusBarEventBusTest, aTopologyChangeIsLoggedWithItsAddedAndRemovedCounts) {
    bus->publish(StatusBarInvalidationEvent::displayTopologyChanged({"A", "B"}, {"C"}, "Test.topology"));
    EXPECT_EQ(count("[StatusBarEventBus] publish[1] invalidation=displayTopologyChanged(added=2,removed=1,"
                    "source=Test.topology) subscribers=0"),
              1u);
}

TEST(StatusBarInvalidationReason, readsOnlyItsExactStringValues) {
    const std::pair<const char*, std::optional<StatusBarInvalidationReason>> rows[] = {
        {"legacy.refresh-menu-call", StatusBarInvalidationReason::legacyRefreshMenuCall},
        {"external.state-changed", StatusBarInvalidationReason::externalStateChanged},
        {"External.state-changed", std::nullopt},
        {"external.state-changed ", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [text, reason] : rows)
        EXPECT_EQ(statusBarInvalidationReasonFrom(text), reason) << text;
}

TEST_F(StatusBarEventBusTest, aHandlerRemovedDuringDeliveryStillGetsThatEvent) {
    std::unique_ptr<StatusBarEventSubscription> first;
    std::unique_ptr<StatusBarEventSubscription> second;
    std::vector<std::string> calls;
    // Tokens order the handlers; whichever runs first cancels the other.
    first = bus->subscribeActions([&](StatusBarActionEvent) {
        calls.push_back("first");
        if (second) second->cancel();
    });
    second = bus->subscribeActions([&](StatusBarActionEvent) {
        calls.push_back("second");
        if (first) first->cancel();
    });
    bus->publish(StatusBarActionEvent::openSettings);
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));

    calls.clear();
    bus->publish(StatusBarActionEvent::openSettings);
    EXPECT_TRUE(calls.empty());
}

TEST_F(StatusBarEventBusTest, workFromOtherThreadsArrivesThroughTheMainQueue) {
    auto& loop = desktop->loop();
    std::vector<std::pair<std::string, bool>> delivered; // event, on the main thread
    std::unique_ptr<StatusBarEventSubscription> sub;
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] {
        sub = bus->subscribeInvalidations([&](const StatusBarInvalidationEvent& e) {
            delivered.emplace_back(e.description(), loop.isMainThread());
        });
        bus->publish(kRefresh);
    });
    bus->publish(StatusBarActionEvent::quit); // on the main thread: numbered now
    EXPECT_EQ(count("publish[1] action=quit"), 1u);
    EXPECT_EQ(count("subscribe invalidation"), 0u);

    loop.runUntilIdle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_TRUE(delivered[0].second);
    EXPECT_EQ(count("publish[2] invalidation=refreshRequested"), 1u);

    // A cancel from another thread removes the handler later, on the main thread.
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] { sub->cancel(); });
    loop.runUntilIdle();
    EXPECT_EQ(count("unsubscribe invalidation token="), 1u);
}

TEST_F(StatusBarEventBusTest, deferredStepsOfAGoneBusAreDropped) {
    auto& loop = desktop->loop();
    int calls = 0;
    auto sub = bus->subscribeActions([&](StatusBarActionEvent) { ++calls; });
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] {
        bus->publish(StatusBarActionEvent::quit); // posts the delivery to the main queue
        bus.reset();
    });
    loop.runUntilIdle();
    EXPECT_EQ(calls, 0);
    sub.reset(); // cancelling after the bus is gone does nothing
    EXPECT_EQ(count("unsubscribe"), 0u);
}
