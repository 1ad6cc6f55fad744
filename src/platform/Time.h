// Instants and durations are 64-bit nanoseconds; seconds appear only when printing or storing.
#pragma once

#include <cmath>
#include <cstdint>

namespace korvane {

using Nanos = std::int64_t;

constexpr Nanos kNanosPerSecond = 1'000'000'000;

constexpr Nanos milliseconds(std::int64_t ms) {
    return ms * 1'000'000;
}
inline Nanos seconds(double s) {
    return static_cast<Nanos>(std::llround(s * 1e9));
}
constexpr double toSeconds(Nanos n) {
    return static_cast<double>(n) / 1e9;
}

} // namespace korvane
