// The activation queue: one request at a time, in order, each raced against its own time-out; and the
// process-wide activation services made anew for each platform.
#include "ActivationFixture.h"

#include <limits>
#include <utility>
#include <vector>

namespace korvane::testing {
namespace {

using platform::CancellationToken;
using platform::Task;

struct Event {
    std::string what;
    Nanos at;
    bool mainThread;
    friend bool operator==(const Event&, const Event&) = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << e.what << " @" << e.at / 1'000'000 << "ms";
}

class ActivationQueueTest : public ActivationTest {
  protected:
    void note(const std::string& what) { events.push_back({what, loop().now(), loop().isMainThread()}); }

    // An operation that ignores cancellation, as window activation's inner waits do.
    static Task<bool> stubborn(ActivationQueueTest& test, std::string name, Nanos duration, bool result,
                               CancellationToken token) {
        test.note(name + " start");
        auto registration = token.onCancel([&test, name] { test.note(name + " cancelled"); });
        co_await platform::sleepFor(test.loop(), duration);
        test.note(name + " end");
        co_return result;
    }

    // An operation whose pause ends as soon as it is cancelled.
    static Task<bool> yielding(ActivationQueueTest& test, std::string name, Nanos duration,
                               CancellationToken token) {
        test.note(name + " start");
        co_await platform::sleepFor(test.loop(), duration, token);
        test.note(name + " end");
        co_return true;
    }

    ActivationTask request(const std::string& name, double timeout, Nanos duration, bool result) {
        ActivationTask task;
        task.reason = name;
        task.timeout = timeout;
        task.operation = [this, name, duration, result](CancellationToken token) {
            return stubborn(*this, name, duration, result, std::move(token));
        };
        task.completion = [this, name](bool r) { note(name + (r ? " -> true" : " -> false")); };
        return task;
    }

    std::shared_ptr<ActivationQueue> queue() { return ActivationQueue::shared(); }

    std::vector<Event> events;
};

TEST_F(ActivationQueueTest, requestsRunOneAtATimeInOrderEachTimedFromItsOwnStart) {
    queue()->enqueue(request("A", 1.0, milliseconds(300), true));
    queue()->enqueue(request("B", 0.5, milliseconds(400), true));
    queue()->enqueue(request("C", 1.0, 0, false));
    loop().advance(seconds(3));
    const std::vector<Event> expected{
        {"A start", 0, true},
        {"A end", milliseconds(300), true},
        {"A -> true", milliseconds(300), true},
        {"B start", milliseconds(300), true},
        {"B end", milliseconds(700), true}, // 0.4 s of its own 0.5 s: not timed out
        {"B -> true", milliseconds(700), true},
        {"C start", milliseconds(700), true},
        {"C end", milliseconds(700), true},
        {"C -> false", milliseconds(700), true}, // a false result does not wait for the time-out
    };
    EXPECT_EQ(events, expected);
}

TEST_F(ActivationQueueTest, whenTheTimeoutWinsTheNextRequestStillWaitsForTheOperation) {
    queue()->enqueue(request("A", 1.0, milliseconds(1500), true));
    queue()->enqueue(request("B", 1.0, milliseconds(100), true));
    loop().advance(seconds(5));
    const std::vector<Event> expected{
        {"A start", 0, true},
        {"A cancelled", seconds(1.0), true},
        {"A end", seconds(1.5), true},
        {"A -> false", seconds(1.5), true},
        {"B start", seconds(1.5), true},
        {"B end", seconds(1.6), true},
        {"B -> true", seconds(1.6), true},
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(loop().pendingCount(), 0u);
}

TEST_F(ActivationQueueTest, timeoutsBelowTheMinimumAreRaisedToIt) {
    struct Row {
        double timeout;
        Nanos endsAt;
    };
    const std::vector<Row> rows{
        {0.0, milliseconds(50)},
        {0.01, milliseconds(50)},
        {0.05, milliseconds(50)},
        {-3.0, milliseconds(50)},
        {std::numeric_limits<double>::quiet_NaN(), milliseconds(50)},
        {0.2, milliseconds(200)},
        {0.0500000011, milliseconds(50) + 1}, // whole nanoseconds, truncated
    };
    for (const auto& row : rows) {
        events.clear();
        const Nanos start = loop().now();
        ActivationTask task;
        task.timeout = row.timeout;
        task.operation = [this](CancellationToken token) {
            return yielding(*this, "op", seconds(10), token);
        };
        task.completion = [this](bool r) { note(r ? "true" : "false"); };
        queue()->enqueue(std::move(task));
        loop().advance(seconds(1));
        ASSERT_EQ(events.size(), 3u) << row.timeout;
        EXPECT_EQ(events.back(), (Event{"false", start + row.endsAt, true})) << row.timeout;
    }
}

TEST_F(ActivationQueueTest, aQueueThatIsGoneEndsItsStartedRequestWithFalse) {
    auto own = std::make_shared<ActivationQueue>(*desktop);
    own->enqueue(request("A", 1.0, milliseconds(10), true));
    own.reset(); // the block that enqueues holds it until the request is taken off the list
    loop().advance(seconds(1));
    const std::vector<Event> expected{{"A -> false", 0, true}};
    EXPECT_EQ(events, expected);
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

} // namespace
} // namespace korvane::testing
