// Struts and strips measured against monitors, and rounding kept inside them.
#include "platform/x11/X11WorkArea.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::x11 {

bool liesOn(double a0, double a1, double b0, double b1) {
    const double overlap = std::min(a1, b1) - std::max(a0, b0);
    return overlap > 1 || (overlap > 0 && overlap >= a1 - a0);
}

Rect visibleArea(const Rect& monitor, const std::vector<Strut>& struts, const std::vector<Rect>& ownStrips,
                 double rootWidth, double rootHeight) {
    double x0 = monitor.minX(), x1 = monitor.maxX(), y0 = monitor.minY(), y1 = monitor.maxY();
    for (const Strut& s : struts) {
        const double left = s[0], right = rootWidth - s[1], top = s[2], bottom = rootHeight - s[3];
        if (s[0] > 0 && left > monitor.minX() && left < monitor.maxX() && liesOn(s[4], s[5] + 1.0, y0, y1))
            x0 = std::max(x0, left);
        if (s[1] > 0 && right > monitor.minX() && right < monitor.maxX() && liesOn(s[6], s[7] + 1.0, y0, y1))
            x1 = std::min(x1, right);
        if (s[2] > 0 && top > monitor.minY() && top < monitor.maxY() && liesOn(s[8], s[9] + 1.0, x0, x1))
            y0 = std::max(y0, top);
        if (s[3] > 0 && bottom > monitor.minY() && bottom < monitor.maxY() &&
            liesOn(s[10], s[11] + 1.0, x0, x1))
            y1 = std::min(y1, bottom);
    }
    // Counted as laid out whether or not the window manager keeps them: where it cannot, the program's own
    // placements still leave them free.
    for (const Rect& strip : ownStrips)
        if (strip.minY() <= monitor.minY() && strip.maxY() > monitor.minY() &&
            strip.maxY() < monitor.maxY() && liesOn(strip.minX(), strip.maxX(), x0, x1))
            y0 = std::max(y0, strip.maxY());
    return Rect{x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0)};
}

namespace {

double distance(const Rect& r, Point p) {
    const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
    return std::hypot(dx, dy);
}

// The edge at the nearest whole pixel; one that lay within [low, high], or less than a pixel past it as
// a size rounded up from another scale does, stays within it.
double roundWithin(double edge, double low, double high) {
    const double rounded = std::round(edge);
    return edge > low - 1 && edge < high + 1 ? std::clamp(rounded, std::ceil(low), std::floor(high))
                                             : rounded;
}

} // namespace

Rect wholePixelsInside(const Rect& r, const std::vector<Rect>& monitors) {
    const Rect* home = nullptr;
    double nearest = std::numeric_limits<double>::infinity();
    for (const Rect& monitor : monitors) {
        const double d = monitor.contains(r.center()) ? -1 : distance(monitor, r.center());
        if (d < nearest) {
            home = &monitor;
            nearest = d;
        }
    }
    if (!home) {
        const double x0 = std::round(r.minX()), y0 = std::round(r.minY());
        return Rect{x0, y0, std::round(r.maxX()) - x0, std::round(r.maxY()) - y0};
    }
    const Rect& area = *home;
    const double x0 = roundWithin(r.minX(), area.minX(), area.maxX());
    const double x1 = roundWithin(r.maxX(), area.minX(), area.maxX());
    const double y0 = roundWithin(r.minY(), area.minY(), area.maxY());
    const double y1 = roundWithin(r.maxY(), area.minY(), area.maxY());
    return Rect{x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0)};
}

Strut topStrut(const Rect& strip) {
    Strut strut{};
    strut[2] = static_cast<std::uint32_t>(std::lround(strip.maxY()));
    strut[8] = static_cast<std::uint32_t>(std::lround(strip.minX()));
    strut[9] = static_cast<std::uint32_t>(std::lround(strip.maxX()) - 1);
    return strut;
}

} // namespace korvane::x11
