// Typed reads of window-list entries.
#include "core/WindowInfoFields.h"

#include <array>
#include <cmath>
#include <limits>

namespace korvane::windowinfo {

namespace WK = platform::WindowKey;
namespace BK = platform::BoundsKey;
using platform::WindowInfo;

std::optional<std::int64_t> integerValue(const WindowInfo& entry, const char* key) {
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(key);
    if (it == entry.end()) return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto u = it->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (it->is_number_integer()) return it->get<std::int64_t>();
    if (it->is_number_float()) {
        const double d = it->get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e18)
            return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<std::string> stringValue(const WindowInfo& entry, const char* key) {
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(key);
    if (it == entry.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<pid_t> ownerPID(const WindowInfo& entry) {
    auto v = integerValue(entry, WK::ownerPID);
    if (!v || *v < std::numeric_limits<pid_t>::min() || *v > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    return static_cast<pid_t>(*v);
}

std::optional<WindowID> windowNumber(const WindowInfo& entry) {
    if (auto v = integerValue(entry, WK::number)) return static_cast<WindowID>(*v);
    return std::nullopt;
}

std::optional<Rect> bounds(const WindowInfo& entry) {
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(WK::bounds);
    if (it == entry.end() || !it->is_object()) return std::nullopt;
    const std::array<const char*, 4> keys = {BK::x, BK::y, BK::width, BK::height};
    std::array<double, 4> v{};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        auto k = it->find(keys[i]);
        if (k == it->end() || !k->is_number()) return std::nullopt;
        v[i] = k->get<double>();
    }
    return Rect{v[0], v[1], v[2], v[3]};
}

Rect boundsOrZero(const WindowInfo& entry) {
    if (!entry.is_object()) return Rect{};
    auto it = entry.find(WK::bounds);
    if (it == entry.end() || !it->is_object()) return Rect{};
    auto number = [&](const char* key) {
        auto k = it->find(key);
        return k != it->end() && k->is_number() ? k->get<double>() : 0.0;
    };
    return Rect{number(BK::x), number(BK::y), number(BK::width), number(BK::height)};
}

} // namespace korvane::windowinfo
