// Cancellation sources, tokens and registrations: callbacks run once, in order, and registrations may
// leave early or outlive their source.
#include "platform/Cancellation.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvane::platform {
namespace {

TEST(Cancellation, callbacksRunOnceInOrderAndRegistrationsCanLeaveOrOutliveTheirSource) {
    CancellationSource source;
    CancellationToken token = source.token();
    std::vector<int> calls;
    auto a = token.onCancel([&] { calls.push_back(1); });
    auto b = token.onCancel([&] { calls.push_back(2); });
    auto c = token.onCancel([&] { calls.push_back(3); });
    b.reset();
    {
        auto scoped = token.onCancel([&] { calls.push_back(9); });
    }
    EXPECT_FALSE(token.isCancelled());
    source.cancel();
    source.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_EQ(calls, (std::vector<int>{1, 3}));

    auto late = token.onCancel([&] { calls.push_back(4); });
    EXPECT_EQ(calls.back(), 4) << "an already cancelled token calls back at once";
    auto none = CancellationToken{}.onCancel([&] { calls.push_back(5); });
    EXPECT_EQ(calls.size(), 3u);

    CancellationRegistration kept;
    {
        CancellationSource gone;
        kept = gone.token().onCancel([&] { calls.push_back(6); });
        CancellationRegistration moved = std::move(kept);
        kept = std::move(moved);
    }
    kept.reset();
    kept.reset();
    EXPECT_EQ(calls.size(), 3u);
}

} // namespace
} // namespace korvane::platform
