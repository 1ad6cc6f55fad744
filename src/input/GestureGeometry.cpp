// Zone and window lookups at a point for the mouse gestures.
#include "input/GestureGeometry.h"

#include "app/DisplayUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "platform/Platform.h"

#include <cmath>
#include <unistd.h>

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

std::optional<WindowAtPoint> windowAtPoint(platform::Platform& platform, Point topLeft,
                                           bool applicationLayerOnly, bool& listUnavailable) {
    const auto list =
        platform.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    listUnavailable = !list.has_value();
    if (!list) return std::nullopt;
    const pid_t own = ::getpid();
    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        if (applicationLayerOnly) {
            auto layer = entry.find(platform::WindowKey::layer);
            if (layer == entry.end() || !layer->is_number_integer() || layer->get<long long>() != 0) continue;
        }
        auto owner = entry.find(platform::WindowKey::ownerPID);
        if (owner == entry.end() || !owner->is_number_integer()) continue;
        const auto pid = static_cast<pid_t>(owner->get<long long>());
        if (pid == own) continue;
        const auto bounds = boundsOf(entry);
        if (!bounds || !bounds->contains(topLeft)) continue;
        WindowID number = 0;
        if (auto n = entry.find(platform::WindowKey::number); n != entry.end() && n->is_number_unsigned())
            number = n->get<WindowID>();
        return WindowAtPoint{number, pid, *bounds};
    }
    return std::nullopt;
}

bool positionMatches(Point axPosition, const Rect& bounds) {
    return std::abs(axPosition.x - bounds.minX()) <= kPositionTolerance &&
           std::abs(axPosition.y - bounds.minY()) <= kPositionTolerance;
}

} // namespace korvane
