// The shared height for flipping between bottom-left and top-left global coordinates.
#include "core/ScreenSpace.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace korvane {

std::optional<double> primaryScreenHeight(platform::Screens& screens) {
    if (auto main = screens.mainScreen()) return main->frame.maxY();
    return std::nullopt;
}

std::optional<double> flipHeight(platform::Screens& screens) {
    if (auto H = primaryScreenHeight(screens)) return H;
    std::optional<double> tallest;
    for (const auto& s : screens.screens())
        tallest = std::max(tallest.value_or(s.frame.maxY()), s.frame.maxY());
    return tallest;
}

Rect nativeRect(platform::Screens& screens, const Rect& bottomLeft) {
    // The primary screen's height, else the tallest screen's: a desktop that names no main screen still
    // has its windows placed from the top of the screens.
    const double H = flipHeight(screens).value_or(bottomLeft.maxY());
    const Rect r = flipRect(bottomLeft, H);
    // The main screen's corner as the platform knows it, not the toolkit's primary screen: the two need
    // not be the same monitor (a primary output under a monitor listed before it), and a window placed
    // from the other one lands a monitor away from what it belongs to.
    const Point origin = screens.nativeOrigin();
    return Rect{origin.x + r.minX(), origin.y + r.minY(), r.width(), r.height()};
}

Rect bottomLeftRect(platform::Screens& screens, const Rect& native) {
    const Point origin = screens.nativeOrigin();
    const Rect r{native.minX() - origin.x, native.minY() - origin.y, native.width(), native.height()};
    // The same height nativeRect flips with; without screens the rectangle's own top serves both ways.
    const double H = flipHeight(screens).value_or(r.maxY());
    return flipRect(r, H);
}

Point centredIn(const Rect& area, const Size& size) {
    return Point{std::max(area.minX(), area.midX() - size.width / 2),
                 std::max(area.minY(), area.midY() - size.height / 2)};
}

namespace {

// How far a point lies outside a rectangle; zero inside it.
double distance(const Rect& r, Point p) {
    const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
    return std::hypot(dx, dy);
}

// The screen whose area (as `areaOf` gives it) holds the point, else the nearest; the first of equals.
template <typename AreaOf>
const ScaledScreen* screenAt(const std::vector<ScaledScreen>& screens, Point p, AreaOf areaOf) {
    const ScaledScreen* best = nullptr;
    double bestDistance = 0;
    for (const auto& screen : screens) {
        const Rect area = areaOf(screen);
        const double d = area.contains(p) ? -1 : distance(area, p);
        if (!best || d < bestDistance) {
            best = &screen;
            bestDistance = d;
        }
    }
    return best;
}

Rect logicalArea(const ScaledScreen& screen) {
    return Rect{screen.logicalOrigin,
                Size{screen.native.width() / screen.ratio, screen.native.height() / screen.ratio}};
}

} // namespace

Rect logicalFromNative(const Rect& native, const std::vector<ScaledScreen>& screens) {
    const ScaledScreen* screen =
        screenAt(screens, native.center(), [](const ScaledScreen& s) { return s.native; });
    if (!screen || screen->ratio <= 0) return native;
    const double r = screen->ratio;
    return Rect{screen->logicalOrigin.x + (native.minX() - screen->native.minX()) / r,
                screen->logicalOrigin.y + (native.minY() - screen->native.minY()) / r, native.width() / r,
                native.height() / r};
}

namespace {

// The edge at the nearest whole pixel; one that lay within [low, high] stays within the whole pixels there.
double roundWithin(double edge, double low, double high) {
    const double rounded = std::round(edge);
    // A hair's leeway, so that an edge a division puts a rounding error past the screen's stays on it.
    constexpr double kLeeway = 1e-6;
    if (edge < low - kLeeway || edge > high + kLeeway) return rounded;
    return std::clamp(rounded, std::ceil(low - kLeeway), std::floor(high + kLeeway));
}

} // namespace

Rect wholeLogicalInside(const Rect& native, const std::vector<ScaledScreen>& screens) {
    const Rect logical = logicalFromNative(native, screens);
    const ScaledScreen* screen =
        screenAt(screens, native.center(), [](const ScaledScreen& s) { return s.native; });
    // Without a screen, rounded alone.
    const Rect area = screen && screen->ratio > 0 ? logicalArea(*screen) : Rect{};
    const auto round = [&](double edge, double low, double high) {
        return area.isEmpty() ? std::round(edge) : roundWithin(edge, low, high);
    };
    const double x0 = round(logical.minX(), area.minX(), area.maxX());
    const double x1 = round(logical.maxX(), area.minX(), area.maxX());
    const double y0 = round(logical.minY(), area.minY(), area.maxY());
    const double y1 = round(logical.maxY(), area.minY(), area.maxY());
    return Rect{x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0)};
}

Rect nativeFromLogical(const Rect& logical, const std::vector<ScaledScreen>& screens) {
    const ScaledScreen* screen = screenAt(screens, logical.center(), logicalArea);
    if (!screen || screen->ratio <= 0) return logical;
    const double r = screen->ratio;
    return Rect{screen->native.minX() + (logical.minX() - screen->logicalOrigin.x) * r,
                screen->native.minY() + (logical.minY() - screen->logicalOrigin.y) * r, logical.width() * r,
                logical.height() * r};
}

std::optional<double> primaryScreenHeight() {
    return primaryScreenHeight(platform::Platform::current().screens());
}

} // namespace korvane
