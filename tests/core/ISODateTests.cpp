// ISO 8601 dates as the stores write and read them: whole seconds in UTC out, fractions and offsets in.
#include "core/ISODate.h"

#include <gtest/gtest.h>

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
