// ISO 8601 dates as the stores write and read them: whole seconds in UTC out, fractions and offsets in.
#include "core/ISODate.h"

#include <gtest/gtest.h>

#include <limits>

using namespace korvane;

TEST(ISODate, readsFractionsAndOffsetsAndWritesWholeSecondsInUTC) {
    const Nanos base = *parseISODate("2026-05-28T09:05:00Z");
    EXPECT_EQ(isoDateString(base), "2026-05-28T09:05:00Z");
    const std::pair<const char*, Nanos> rows[] = {
        {"2026-05-28T09:05:00.250Z", base + 250'000'000},
        {"2026-05-28T09:05:00.123456789123Z", base + 123'456'789},
        {"2026-05-28T11:05:00+02:00", base},
        {"2026-05-28T04:35:00-0430", base},
        {"2026-05-28T10:05:00+01", base},
        {"2026-05-28t09:05:00z", base},
        {"2024-02-29T00:00:00Z", 1'709'164'800 * kNanosPerSecond},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(parseISODate(text), expected) << text;
    // No zone, no "T", 2026 not a leap year, month 13, hour 24, an empty fraction, trailing text, beyond
    // 64-bit nanoseconds.
    for (const char* text : {"2026-05-28T09:05:00", "2026-05-28 09:05:00Z", "2026-02-29T00:00:00Z",
                             "2026-13-01T00:00:00Z", "2026-05-28T24:00:00Z", "2026-05-28T09:05:00.Z",
                             "2026-05-28T09:05:00Zjunk", "9999-01-01T00:00:00Z", ""})
        EXPECT_EQ(parseISODate(text), std::nullopt) << text;

    EXPECT_EQ(isoDateString(-1), "1969-12-31T23:59:59Z"); // fractions round towards the past
}

TEST(ISODate, theEndsOfTheInstantRangeReadToTheNanosecond) {
    constexpr Nanos kLast = std::numeric_limits<Nanos>::max();
    constexpr Nanos kFirst = std::numeric_limits<Nanos>::min();
    const std::pair<const char*, std::optional<Nanos>> rows[] = {
        {"2262-04-11T23:47:16Z", 9'223'372'036 * kNanosPerSecond},
        {"2262-04-11T23:47:16.854775807Z", kLast},
        {"2262-04-11T23:47:16.854775808Z", std::nullopt},
        {"2262-04-12T01:47:16.5+02:00", 9'223'372'036 * kNanosPerSecond + 500'000'000},
        {"1677-09-21T00:12:43.145224192Z", kFirst},
        {"1677-09-21T00:12:43.145224191Z", std::nullopt},
        {"1677-09-21T00:12:44Z", -9'223'372'036 * kNanosPerSecond},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(parseISODate(text), expected) << text;
    // What is written of the last instant reads back as its whole second.
    EXPECT_EQ(parseISODate(isoDateString(kLast)), 9'223'372'036 * kNanosPerSecond);
}
