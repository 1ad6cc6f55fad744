// The stores' JSON output forms and the reference-date conversion of dates stored as numbers.
#include "core/JSONEncoder.h"

#include "core/ISODate.h"
#include "platform/UTF8.h"

#include <cmath>

namespace korvane {

namespace {

// 2001-01-01T00:00:00Z in seconds since 1970.
constexpr Nanos kReferenceDate = 978'307'200LL * kNanosPerSecond;

} // namespace

std::string JSONEncoder::encode(const nlohmann::ordered_json& value) const {
    return jsonText(value, prettyPrinted ? 2 : -1);
}

nlohmann::ordered_json JSONEncoder::encodeDate(Nanos wallClock) const {
    if (dateEncoding == DateEncoding::iso8601) return isoDateString(wallClock);
    return secondsSinceReferenceDate(wallClock);
}

JSONEncoder JSONEncoder::prettyISO8601() {
    return JSONEncoder{true, DateEncoding::iso8601};
}

double secondsSinceReferenceDate(Nanos wallClock) {
    // Whole seconds and the fraction apart, so that the whole part stays exact.
    Nanos since = wallClock - kReferenceDate;
    Nanos whole = since / kNanosPerSecond;
    Nanos fraction = since % kNanosPerSecond;
    return static_cast<double>(whole) + static_cast<double>(fraction) / 1e9;
}

std::optional<Nanos> wallClockFromReferenceDate(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    double whole = std::floor(seconds);
    double fraction = seconds - whole;
    // 64-bit nanoseconds hold about ±292 years around 1970; the reference date lies 31 years after it.
    constexpr double kLimit = 8.0e9;
    if (whole < -kLimit || whole > kLimit) return std::nullopt;
    Nanos ns = static_cast<Nanos>(whole) * kNanosPerSecond + std::llround(fraction * 1e9);
    return ns + kReferenceDate;
}

} // namespace korvane
