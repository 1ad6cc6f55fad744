// Display identity and screen lookups over the platform's screen list.
#include "app/DisplayUtil.h"

#include "core/Log.h"
#include "core/ScreenSpace.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace korvane::DisplayUtil {

using platform::ScreenInfo;

std::string displayUUID(const ScreenInfo& screen) {
    if (!screen.displayUUID.empty()) return screen.displayUUID;
    return screen.localizedName + "-" + std::to_string(screen.displayNumber);
}

std::string displayUUID(platform::Screens& screens, const Rect& rect) {
    const Point middle = rect.center();
    const auto list = screens.screens();
    for (const auto& s : list)
        if (s.frame.contains(middle)) return displayUUID(s);
    if (auto main = screens.mainScreen()) return displayUUID(*main);
    if (!list.empty()) return displayUUID(list.front());
    return "";
}

std::vector<std::string> availableDisplayUUIDs(platform::Screens& screens) {
    std::set<std::string> unique;
    for (const auto& screen : screens.screens())
        unique.insert(displayUUID(screen));
    std::vector<std::string> uuids(unique.begin(), unique.end());
    if (uuids.empty()) {
        Log::app.error("availableDisplayUUIDs: no screens detected");
        return uuids;
    }
    Log::app.debug("availableDisplayUUIDs: %s", platform::describeList(uuids));
    return uuids;
}

bool isAmong(const ScreenInfo& screen, const std::vector<std::string>& displayUUIDs) {
    return std::find(displayUUIDs.begin(), displayUUIDs.end(), displayUUID(screen)) != displayUUIDs.end();
}

std::optional<ScreenInfo> screenUnderMouse(platform::Screens& screens) {
    const Point mouse = screens.mouseLocation();
    for (const auto& s : screens.screens())
        if (s.frame.contains(mouse)) return s;
    return screens.mainScreen();
}

std::optional<ScreenInfo> screen(platform::Screens& screens, const Rect& rect) {
    const auto list = screens.screens();
    if (list.empty()) return screens.mainScreen();

    const ScreenInfo* best = nullptr;
    double bestArea = 0;
    for (const auto& s : list) {
        if (!s.visibleFrame.intersects(rect)) continue; // an edge contact has no area
        const double area = s.visibleFrame.intersection(rect).area();
        if (area > bestArea) {
            best = &s;
            bestArea = area;
        }
    }
    if (best) return *best;

    const Point p = rect.center();
    auto distance = [&](const Rect& v) {
        const double dx = p.x < v.minX() ? v.minX() - p.x : (p.x > v.maxX() ? p.x - v.maxX() : 0);
        const double dy = p.y < v.minY() ? v.minY() - p.y : (p.y > v.maxY() ? p.y - v.maxY() : 0);
        return dx * dx + dy * dy;
    };
    std::size_t nearest = 0;
    double nearestDistance = distance(list.front().visibleFrame);
    for (std::size_t i = 1; i < list.size(); ++i) {
        const double d = distance(list[i].visibleFrame);
        if (d < nearestDistance) {
            nearest = i;
            nearestDistance = d;
        }
    }
    return list[nearest];
}

std::string displayName(platform::Screens& screens, const std::string& identifier) {
    const std::string base = identifier.substr(0, identifier.find('#'));
    for (const auto& s : screens.screens()) {
        const std::string uuid = displayUUID(s);
        if (uuid == identifier || uuid == base) return s.localizedName;
    }
    // Six characters, not bytes: a name-based identifier may hold any UTF-8 text.
    std::size_t end = 0;
    for (int characters = 0; characters < 6 && end < identifier.size(); ++characters) {
        ++end;
        while (end < identifier.size() && (static_cast<unsigned char>(identifier[end]) & 0xC0) == 0x80)
            ++end;
    }
    return "Display " + identifier.substr(0, end);
}

Point flipPoint(platform::Screens& screens, const Point& point) {
    // The system-wide flip height, so that points and the rectangles flipped elsewhere agree.
    const double height = primaryScreenHeight(screens).value_or(0);
    return flipRect(Rect{point, Size{}}, height).origin;
}

} // namespace korvane::DisplayUtil
