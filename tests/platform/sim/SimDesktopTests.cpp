// The simulated desktop as the current platform.
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace korvane::sim {
namespace {

TEST(ScopedSimDesktop, isTheCurrentPlatformForItsLifetimeAndPutsThePreviousOneBack) {
    auto current = [] { return platform::Platform::hasCurrent() ? &platform::Platform::current() : nullptr; };
    platform::Platform* before = current();
    {
        ScopedSimDesktop desk;
        EXPECT_EQ(current(), &desk.get());
        {
            ScopedSimDesktop inner;
            EXPECT_EQ(current(), &inner.get());
        }
        EXPECT_EQ(current(), &desk.get());
    }
    EXPECT_EQ(current(), before);
}

} // namespace
} // namespace korvane::sim
