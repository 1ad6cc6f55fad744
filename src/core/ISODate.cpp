// ISO 8601 date text for the stores: strict on the calendar, lenient on fractions and offsets.
#include "core/ISODate.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace korvane {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back, by the well-known era arithmetic.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool isLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits at `pos`.
bool readDigits(std::string_view s, std::size_t& pos, std::size_t count, int& out) {
    if (pos + count > s.size()) return false;
    int v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = s[pos + i];
        if (!isDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    pos += count;
    out = v;
    return true;
}

bool expect(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

} // namespace

std::string isoDateString(Nanos wallClock) {
    std::int64_t secs = wallClock / kNanosPerSecond;
    if (wallClock % kNanosPerSecond < 0) --secs;
    std::int64_t days = secs / 86400;
    std::int64_t rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  static_cast<int>(rem / 3600), static_cast<int>(rem % 3600 / 60),
                  static_cast<int>(rem % 60));
    return buf;
}

std::optional<Nanos> parseISODate(std::string_view s) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readDigits(s, pos, 4, year) || !expect(s, pos, '-') || !readDigits(s, pos, 2, month) ||
        !expect(s, pos, '-') || !readDigits(s, pos, 2, day))
        return std::nullopt;
    if (pos >= s.size() || (s[pos] != 'T' && s[pos] != 't')) return std::nullopt;
    ++pos;
    if (!readDigits(s, pos, 2, hour) || !expect(s, pos, ':') || !readDigits(s, pos, 2, minute) ||
        !expect(s, pos, ':') || !readDigits(s, pos, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    // Digits beyond nanoseconds are read and ignored.
    std::int64_t fraction = 0;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        std::size_t digits = 0;
        while (pos < s.size() && isDigit(s[pos])) {
            if (digits < 9) fraction = fraction * 10 + (s[pos] - '0');
            ++digits;
            ++pos;
        }
        if (digits == 0) return std::nullopt;
        for (std::size_t i = digits; i < 9; ++i)
            fraction *= 10;
    }

    std::int64_t offsetSeconds = 0;
    if (pos >= s.size()) return std::nullopt;
    if (s[pos] == 'Z' || s[pos] == 'z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int sign = s[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(s, pos, 2, oh)) return std::nullopt;
        if (pos < s.size()) {
            if (s[pos] == ':') ++pos;
            if (!readDigits(s, pos, 2, om)) return std::nullopt;
        }
        if (oh > 23 || om > 59) return std::nullopt;
        offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;

    std::int64_t secs =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
        minute * 60 + second - offsetSeconds;
    // 64-bit nanoseconds reach from 1677-09-21T00:12:43.145224192Z to 2262-04-11T23:47:16.854775807Z;
    // checked to the nanosecond, so that every date written from an instant reads back.
    const __int128 ns = static_cast<__int128>(secs) * kNanosPerSecond + fraction;
    if (ns > std::numeric_limits<Nanos>::max() || ns < std::numeric_limits<Nanos>::min()) return std::nullopt;
    return static_cast<Nanos>(ns);
}

} // namespace korvane
