// How the stores turn a JSON value into the bytes of their files: compact or pretty-printed, and the
// form that dates take in them.
#pragma once

#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace korvane {

struct JSONEncoder {
    enum class DateEncoding {
        secondsSinceReferenceDate, // a number: seconds since 2001-01-01T00:00:00Z
        iso8601,                   // text in UTC with whole seconds and "Z"
    };

    bool prettyPrinted = false; // two-space indentation, one member per line
    DateEncoding dateEncoding = DateEncoding::secondsSinceReferenceDate;

    // Members stay in the order the record gave them. Text that is not valid UTF-8 is written with
    // U+FFFD in place of each bad byte: one bad string must not make the whole record unsavable.
    std::string encode(const nlohmann::ordered_json& value) const;
    // A wall-clock instant (ns since 1970 UTC) in this encoder's date form.
    nlohmann::ordered_json encodeDate(Nanos wallClock) const;

    // Pretty-printed with ISO 8601 dates: the form of "display-workbenches.json" and
    // "layout-templates.json".
    static JSONEncoder prettyISO8601();
};

// Seconds since 2001-01-01T00:00:00Z, the date form of a record whose store sets no other.
double secondsSinceReferenceDate(Nanos wallClock);
// The wall-clock instant of such a number, to the nearest nanosecond; nothing when it is not finite or
// lies outside what 64-bit nanoseconds since 1970 hold.
std::optional<Nanos> wallClockFromReferenceDate(double seconds);

} // namespace korvane
