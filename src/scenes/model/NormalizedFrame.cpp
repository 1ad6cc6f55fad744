// Normalised window frames of scene hints.
#include "scenes/model/NormalizedFrame.h"

#include "core/JSONFields.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace korvane {

namespace {
// A frame read from another application can hold NaN; JSON cannot, and a scene holding one would
// not read back, so NaN becomes 0.
double clampUnit(double v) {
    return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}
} // namespace

NormalizedFrame::NormalizedFrame(const Rect& frame, const platform::ScreenInfo& screen) {
    const Rect& v = screen.visibleFrame;
    if (v.size.width > 0 && v.size.height > 0) {
        x = clampUnit((frame.origin.x - v.origin.x) / v.size.width);
        y = clampUnit((frame.origin.y - v.origin.y) / v.size.height);
        width = clampUnit(frame.size.width / v.size.width);
        height = clampUnit(frame.size.height / v.size.height);
    } else {
        x = 0;
        y = 0;
        width = 1;
        height = 1;
    }
}

nlohmann::ordered_json NormalizedFrame::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["x"] = x;
    j["y"] = y;
    j["width"] = width;
    j["height"] = height;
    return j;
}

NormalizedFrame NormalizedFrame::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "normalizedFrame");
    return NormalizedFrame(jsonfields::requireNumber(json, "x"), jsonfields::requireNumber(json, "y"),
                           jsonfields::requireNumber(json, "width"),
                           jsonfields::requireNumber(json, "height"));
}

} // namespace korvane

std::size_t
std::hash<korvane::NormalizedFrame>::operator()(const korvane::NormalizedFrame& f) const noexcept {
    // Adding 0.0 turns -0.0 into +0.0, so that values that compare equal hash alike.
    std::size_t h = 0;
    for (double v : {f.x, f.y, f.width, f.height}) {
        std::size_t e = std::hash<double>{}(v + 0.0);
        h ^= e + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return h;
}
