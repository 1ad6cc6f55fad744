// The activation queue: one request at a time, in order, each raced against its own time-out; and the
// process-wide activation services made anew for each platform.
#include "ActivationFixture.h"

#include <limits>

namespace korvane::testing {

using platform::CancellationToken;
using platform::Task;
using Events = std::vector<std::pair<std::string, Nanos>>; // what happened, when

class ActivationQueueTest : public ActivationTest {
  protected:
    void note(const std::string& what) {
        EXPECT_TRUE(loop().isMainThread()) << what;
        events.emplace_back(what, loop().now());
    }

    // An operation that ignores cancellation, as window activation's inner waits do, unless it yields:
    // then its pause ends as soon as it is cancelled.
    static Task<bool> operation(ActivationQueueTest& test, std::string name, Nanos duration, bool result,
                                CancellationToken token, bool yields = false) {
        test.note(name + " start");
        auto registration = token.onCancel([&test, name] { test.note(name + " cancelled"); });
        if (yields)
            co_await platform::sleepFor(test.loop(), duration, token);
        else
            co_await platform::sleepFor(test.loop(), duration);
        test.note(name + " end");
        co_return result;
    }

    ActivationTask request(const std::string& name, double timeout, Nanos duration, bool result,
                           bool yields = false) {
        return {0,
                {},
                name,
                timeout,
                [=, this](CancellationToken token) {
                    return operation(*this, name, duration, result, std::move(token), yields);
                },
                [this, name](bool r) { note(name + (r ? " -> true" : " -> false")); },
                {}};
    }

    Events events;
};

TEST_F(ActivationQueueTest, requestsRunOneAtATimeInOrderEachTimedFromItsOwnStart) {
    for (auto task : {request("A", 1.0, milliseconds(300), true), request("B", 0.5, milliseconds(400), true),
                      request("C", 1.0, 0, false)})
        ActivationQueue::shared()->enqueue(std::move(task));
    loop().advance(seconds(3));
    // Enqueued together, each request but the last is superseded by the next one: told as it starts.
    // These operations do not give up for it.
    const Events expected{
        {"A start", 0},
        {"A cancelled", 0},
        {"A end", milliseconds(300)},
        {"A -> true", milliseconds(300)},
        {"B start", milliseconds(300)},
        {"B cancelled", milliseconds(300)},
        {"B end", milliseconds(700)}, // 0.4 s of its own 0.5 s: not timed out
        {"B -> true", milliseconds(700)},
        {"C start", milliseconds(700)},
        {"C end", milliseconds(700)},
        {"C -> false", milliseconds(700)}, // a false result does not wait for the time-out
    };
    EXPECT_EQ(events, expected);
}

TEST_F(ActivationQueueTest, whenTheTimeoutWinsTheNextRequestStillWaitsForTheOperation) {
    ActivationQueue::shared()->enqueue(request("A", 1.0, milliseconds(1500), true));
    loop().advance(milliseconds(1200));
    ActivationQueue::shared()->enqueue(request("B", 1.0, milliseconds(100), true));
    loop().advance(seconds(5));
    const Events expected{{"A start", 0},
                          {"A cancelled", seconds(1.0)},
                          {"A end", seconds(1.5)},
                          {"A -> false", seconds(1.5)},
                          {"B start", seconds(1.5)},
                          {"B end", seconds(1.6)},
                          {"B -> true", seconds(1.6)}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(loop().pendingCount(), 0u);
}

TEST_F(ActivationQueueTest, timeoutsBelowTheMinimumAreRaisedToIt) {
    // the time-out asked for, when the request ends (whole nanoseconds, truncated)
    const std::pair<double, Nanos> rows[] = {
        {0.0, milliseconds(50)},
        {0.01, milliseconds(50)},
        {0.05, milliseconds(50)},
        {-3.0, milliseconds(50)},
        {std::numeric_limits<double>::quiet_NaN(), milliseconds(50)},
        {0.2, milliseconds(200)},
        {0.0500000011, milliseconds(50) + 1},
    };
    for (const auto& [timeout, endsAt] : rows) {
        events.clear();
        const Nanos start = loop().now();
        ActivationQueue::shared()->enqueue(request("op", timeout, seconds(10), true, true));
        loop().advance(seconds(1));
        EXPECT_EQ(events.back(), (std::pair<std::string, Nanos>{"op -> false", start + endsAt})) << timeout;
    }
}

TEST_F(ActivationQueueTest, aQueueThatIsGoneEndsItsStartedRequestWithFalse) {
    auto own = std::make_shared<ActivationQueue>(*desktop);
    own->enqueue(request("A", 1.0, milliseconds(10), true));
    own.reset(); // the block that enqueues holds it until the request is taken off the list
    loop().advance(seconds(1));
    EXPECT_EQ(events, (Events{{"A -> false", 0}}));
}

// A desktop made at the address of a freed one is still another platform: the services of the old one
// (whose queue hangs off the old run loop) must not be handed out again.
TEST_F(ActivationQueueTest, processWideServicesAreMadeAnewForEachCurrentPlatform) {
    const auto queueBefore = ActivationQueue::shared();
    const auto activatorBefore = AppleScriptActivator::shared();
    const auto storeBefore = FocusWhitelistStore::shared();
    EXPECT_EQ(ActivationQueue::shared(), queueBefore);
    EXPECT_EQ(AppleScriptActivator::shared(), activatorBefore);
    EXPECT_EQ(FocusWhitelistStore::shared(), storeBefore);

    platform::Platform::setCurrent(&desktop.get());
    EXPECT_NE(ActivationQueue::shared(), queueBefore);
    EXPECT_NE(AppleScriptActivator::shared(), activatorBefore);
    EXPECT_NE(FocusWhitelistStore::shared(), storeBefore);
}

} // namespace korvane::testing
