// The start-up report on a postponed version-3 migration: what it says for each stored value, and which
// postponements stay in the user defaults for the next start.
#include "app/V3MigrationCheck.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <optional>

using namespace korvane;
using Strings = std::vector<std::string>;

namespace {

TEST(V3MigrationCheck, eachStoredValueGivesOneLineAndOnlyAPostponementStillToComeStays) {
    constexpr double kNow = 1'780'000'000; // the simulated wall clock at its start
    const std::string noMigration = "[app] Migration: No v3 migration needed";
    struct Row {
        const char* what;
        std::optional<nlohmann::json> stored;
        std::string line;
        bool stays;
    };
    const Row rows[] = {
        {"nothing stored", std::nullopt, noMigration, false},
        {"text is no date", "2099-01-01", noMigration, true},
        {"a flag is no date", true, noMigration, true},
        {"a date beyond any clock", 1e300, noMigration, true},
        {"one day ahead", kNow + 86400, "[app] Migration postponed until 2026-05-29 20:26:40 +0000", true},
        {"half a second ahead", kNow + 0.5, "[app] Migration postponed until 2026-05-28 20:26:40 +0000",
         true},
        {"exactly now", kNow, noMigration, false},
        {"one second past", kNow - 1, noMigration, false},
    };
    for (const Row& row : rows) {
        sim::ScopedSimDesktop desktop;
        sim::ScopedLogCapture capture;
        if (row.stored) desktop->defaults().set(kV3MigrationPostponedUntilKey, *row.stored);
        checkV3MigrationPostponement(*desktop);
        EXPECT_EQ(capture.log().lines(), Strings{row.line}) << row.what;
        EXPECT_EQ(capture.log().records().at(0).level, platform::LogLevel::info) << row.what;
        const auto after = desktop->defaults().object(kV3MigrationPostponedUntilKey);
        EXPECT_EQ(after.has_value(), row.stays) << row.what;
        if (row.stays) {
            EXPECT_EQ(*after, *row.stored) << row.what;
        }
    }
}

TEST(V3MigrationCheck, aPostponementIsReportedAtEveryStartUntilItsDateHasPassed) {
    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    desktop->defaults().set(kV3MigrationPostponedUntilKey, 1'780'000'000.0 + 2 * 86400);
    for (int start = 0; start < 3; ++start) {
        checkV3MigrationPostponement(*desktop);
        desktop->loop().advance(seconds(86400));
    }
    EXPECT_EQ(capture.log().count("Migration postponed until 2026-05-30 20:26:40 +0000"), 2u);
    EXPECT_EQ(capture.log().count("Migration: No v3 migration needed"), 1u);
    EXPECT_FALSE(desktop->defaults().object(kV3MigrationPostponedUntilKey));
}

} // namespace
