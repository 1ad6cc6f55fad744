// Reading, reporting and expiring the version-3 migration postponement.
#include "app/V3MigrationCheck.h"

#include "core/ISODate.h"
#include "core/Log.h"
#include "platform/Platform.h"

#include <cmath>
#include <optional>
#include <string>

namespace korvane {

namespace {

// The stored date as a wall-clock instant; nothing for a value that is no date, or one too far from
// 1970 to name an instant.
std::optional<Nanos> postponementDate(platform::UserDefaults& defaults) {
    const std::optional<double> secondsSince1970 = defaults.numberValue(kV3MigrationPostponedUntilKey);
    if (!secondsSince1970 || !std::isfinite(*secondsSince1970)) return std::nullopt;
    const double nanos = *secondsSince1970 * 1e9;
    // 2^63 as a double, exactly: anything at or beyond it has no Nanos.
    constexpr double kLimit = 9223372036854775808.0;
    if (nanos >= kLimit || nanos < -kLimit) return std::nullopt;
    return static_cast<Nanos>(std::floor(nanos));
}

// "2026-05-28 09:05:00 +0000": the date's standard text, in UTC.
std::string standardText(Nanos date) {
    std::string text = isoDateString(date); // "2026-05-28T09:05:00Z"
    text[10] = ' ';
    text.pop_back();
    return text + " +0000";
}

} // namespace

void checkV3MigrationPostponement(platform::Platform& platform) {
    auto& defaults = platform.userDefaults();
    const std::optional<Nanos> until = postponementDate(defaults);
    if (!until) {
        logNoV3MigrationNeeded();
        return;
    }
    if (platform.runLoop().wallClock() < *until) {
        Log::app.info("Migration postponed until %{private}s", standardText(*until));
        return;
    }
    defaults.remove(kV3MigrationPostponedUntilKey);
    logNoV3MigrationNeeded();
}

void logNoV3MigrationNeeded() {
    Log::app.info("Migration: No v3 migration needed");
}

} // namespace korvane
