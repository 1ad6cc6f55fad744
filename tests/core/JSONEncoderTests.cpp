// Dates stored as numbers of seconds since 2001-01-01T00:00:00Z, both ways, at the edges of what
// 64-bit nanoseconds hold.
#include "core/JSONEncoder.h"

#include <gtest/gtest.h>

#include <limits>

using namespace korvane;

TEST(JSONEncoder, referenceDateConversionBoundaries) {
    constexpr Nanos kReference = 978'307'200LL * kNanosPerSecond;
    constexpr Nanos kStart = 1'780'000'000LL * kNanosPerSecond; // 2026-05-28T20:26:40Z
    EXPECT_EQ(secondsSinceReferenceDate(kReference), 0.0);
    EXPECT_EQ(secondsSinceReferenceDate(kStart), 801692800.0);
    EXPECT_EQ(secondsSinceReferenceDate(0), -978307200.0);
    EXPECT_EQ(wallClockFromReferenceDate(-1.5), kReference - 1'500'000'000LL);
    EXPECT_EQ(wallClockFromReferenceDate(801692800.25), kStart + milliseconds(250));
    EXPECT_FALSE(wallClockFromReferenceDate(1e300));
    EXPECT_FALSE(wallClockFromReferenceDate(-1e300));
    EXPECT_FALSE(wallClockFromReferenceDate(std::numeric_limits<double>::quiet_NaN()));
}
