// Points, sizes and rectangles in screen coordinates, with the few operations every layer needs.
#pragma once

#include <algorithm>
#include <cmath>

namespace korvane {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle is an origin and a size; the coordinate system is the caller's to know.
struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    Point center() const { return {midX(), midY()}; }
    double area() const { return width() * height(); }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }

    // Half-open on the far edges, so that two rectangles sharing an edge never both contain a point.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

    // The common part, or nothing when the two do not overlap with a positive area.
    bool intersects(const Rect& o) const {
        return std::max(minX(), o.minX()) < std::min(maxX(), o.maxX()) &&
               std::max(minY(), o.minY()) < std::min(maxY(), o.maxY());
    }
    Rect intersection(const Rect& o) const {
        if (!intersects(o)) return Rect{};
        double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
        double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
        return Rect{x0, y0, x1 - x0, y1 - y0};
    }
    // Origin rounded down, far edges rounded up.
    Rect integral() const {
        double x0 = std::floor(minX()), y0 = std::floor(minY());
        double x1 = std::ceil(maxX()), y1 = std::ceil(maxY());
        return Rect{x0, y0, x1 - x0, y1 - y0};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace korvane
