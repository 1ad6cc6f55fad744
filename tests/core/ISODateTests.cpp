// ISO 8601 dates as the stores write and read them: whole seconds in UTC out, fractions and offsets in.
#include "core/ISODate.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(ISODate, readsFractionsAndOffsetsAndWritesWholeSecondsInUTC) {
    const Nanos base = *parseISODate("2026-05-28T09:05:00Z");
    EXPECT_EQ(isoDateString(base), "2026-05-28T09:05:00Z");
    struct Row {
        const char* text;
        std::optional<Nanos> expected;
    };
    const std::vector<Row> rows = {
        {"2026-05-28T09:05:00.250Z", base + 250'000'000},
        {"2026-05-28T09:05:00.123456789123Z", base + 123'456'789},
        {"2026-05-28T11:05:00+02:00", base},
        {"2026-05-28T04:35:00-0430", base},
        {"2026-05-28T10:05:00+01", base},
        {"2026-05-28t09:05:00z", base},
        {"2026-05-28T09:05:00", std::nullopt}, // no zone
        {"2026-05-28 09:05:00Z", std::nullopt},
        {"2026-02-29T00:00:00Z", std::nullopt}, // not a leap year
        {"2026-13-01T00:00:00Z", std::nullopt},
        {"2026-05-28T24:00:00Z", std::nullopt},
        {"2026-05-28T09:05:00.Z", std::nullopt},
        {"2026-05-28T09:05:00Zjunk", std::nullopt},
        {"9999-01-01T00:00:00Z", std::nullopt}, // beyond 64-bit nanoseconds
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parseISODate(row.text), row.expected) << row.text;

    EXPECT_EQ(parseISODate("2024-02-29T00:00:00Z").has_value(), true);
    EXPECT_EQ(isoDateString(-1), "1969-12-31T23:59:59Z"); // fractions round towards the past
    EXPECT_EQ(isoDateString(0), "1970-01-01T00:00:00Z");
}
