// Zone and window lookups at a point for the mouse gestures.
#include "input/GestureGeometry.h"

#include "app/DisplayUtil.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"

#include <cmath>

namespace korvane {

namespace {
constexpr double kPositionTolerance = 5.0;
}

std::optional<int> zoneContaining(const WMState& state, Point bottomLeft) {
    for (const auto& [id, zone] : state.layout.zones)
        if (zone.frame.contains(bottomLeft)) return id;
    return std::nullopt;
}

std::optional<ZoneAtPoint> zoneAtPoint(platform::Screens& screens, const MultiDisplayState& multiState,
                                       Point bottomLeft) {
    for (const auto& screen : screens.screens()) {
        if (!screen.frame.contains(bottomLeft)) continue;
        const std::string uuid = DisplayUtil::displayUUID(screen);
        auto it = multiState.states.find(uuid);
        if (it == multiState.states.end() || !it->second) return std::nullopt;
        const auto id = zoneContaining(*it->second, bottomLeft);
        if (!id) return std::nullopt;
        return ZoneAtPoint{uuid, *id, it->second->layout.zones.at(*id).frame};
    }
    return std::nullopt;
}

std::optional<Rect> boundsOf(const platform::WindowInfo& entry) {
    namespace K = platform::BoundsKey;
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(platform::WindowKey::bounds);
    if (it == entry.end() || !it->is_object()) return std::nullopt;
    const auto& b = *it;
    for (const char* key : {K::x, K::y, K::width, K::height})
        if (!b.contains(key) || !b[key].is_number()) return std::nullopt;
    return Rect{b[K::x].get<double>(), b[K::y].get<double>(), b[K::width].get<double>(),
                b[K::height].get<double>()};
}

std::optional<WindowAtPoint> windowAtPoint(platform::Platform& platform, Point topLeft, WindowHit hit,
                                           bool& listUnavailable) {
    const auto list =
        platform.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    listUnavailable = !list.has_value();
    if (!list) return std::nullopt;
    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        const auto bounds = boundsOf(entry);
        if (!bounds || !bounds->contains(topLeft)) continue;
        auto pid = windowinfo::ownerPID(entry);
        if (pid && (*pid <= 0 || isOwnProcess(platform, *pid))) pid.reset();
        if (hit == WindowHit::pressed) {
            // The window in front at the point is the one pressed on, whatever it is.
            if (windowinfo::integerValue(entry, platform::WindowKey::layer) != 0 || !pid) return std::nullopt;
        } else if (!pid) {
            continue;
        }
        WindowID number = 0;
        if (auto n = entry.find(platform::WindowKey::number); n != entry.end() && n->is_number_unsigned())
            number = n->get<WindowID>();
        return WindowAtPoint{number, *pid, *bounds};
    }
    return std::nullopt;
}

bool positionMatches(Point axPosition, const Rect& bounds) {
    return std::abs(axPosition.x - bounds.minX()) <= kPositionTolerance &&
           std::abs(axPosition.y - bounds.minY()) <= kPositionTolerance;
}

} // namespace korvane
