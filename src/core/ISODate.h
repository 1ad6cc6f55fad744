// Dates as ISO 8601 text, the form every store that keeps dates as text uses: written in UTC with
// whole seconds and "Z", read also with fractional seconds and with offsets from UTC.
#pragma once

#include "platform/Time.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A wall-clock instant (nanoseconds since 1970-01-01 UTC) as "2026-05-28T09:05:00Z"; the fraction of
// a second is dropped (rounded towards the past).
std::string isoDateString(Nanos wallClock);

// "YYYY-MM-DDTHH:MM:SS", optionally ".fraction", then "Z" or an offset "+HH:MM", "+HHMM" or "+HH".
// Nothing for any other text, an impossible date, or a date outside what 64-bit nanoseconds hold.
std::optional<Nanos> parseISODate(std::string_view text);

} // namespace korvane
