// The start-up report on the version-3 data migration: stored data of an earlier version may carry a
// postponement date; the report says whether one still holds and removes one whose date has passed. No
// migration runs here and nothing of the system writes the postponement.
#pragma once

namespace korvane {

namespace platform {
class Platform;
}

// The user default holding the postponement: a date (seconds since 1970), or absent. Any other value
// counts as absent and is left where it is.
inline constexpr const char* kV3MigrationPostponedUntilKey = "Korvane.V3MigrationPostponedUntil";

// A date still to come: "Migration postponed until <date>" and the key stays. A date that has come (the
// same instant included): the key is removed, then logNoV3MigrationNeeded(). No date: only the latter.
// Main thread; start-up calls it once.
void checkV3MigrationPostponement(platform::Platform& platform);
// "Migration: No v3 migration needed".
void logNoV3MigrationNeeded();

} // namespace korvane
