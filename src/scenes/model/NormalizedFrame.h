// A window frame as fractions of a screen's visible frame, so that a scene can place a window
// proportionally on a display of another size.
#pragma once

#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <nlohmann/json.hpp>

#include <cstddef>

namespace korvane {

struct NormalizedFrame {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    NormalizedFrame() = default;
    NormalizedFrame(double x, double y, double width, double height)
        : x(x), y(y), width(width), height(height) {}
    // `frame` is in the coordinate space of the screen's visible frame. Each value is clamped to 0…1;
    // a visible frame without area gives (0, 0, 1, 1).
    NormalizedFrame(const Rect& frame, const platform::ScreenInfo& screen);

    friend bool operator==(const NormalizedFrame&, const NormalizedFrame&) = default;

    nlohmann::ordered_json toJSON() const;
    // Throws DecodingError unless all four numbers are there.
    static NormalizedFrame fromJSON(const nlohmann::json& json);
};

} // namespace korvane

template <> struct std::hash<korvane::NormalizedFrame> {
    std::size_t operator()(const korvane::NormalizedFrame& f) const noexcept;
};
