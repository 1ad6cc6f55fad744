// The answer to "which zone of a display does this window frame belong to": the zone, how it was found
// and how sure the match is. The scene capture and the save sheet read it as well as the controller.
#pragma once

#include <optional>

namespace korvane {

enum class ZoneMatchMethod {
    centerInside,  // the frame's centre lies in the zone
    overlap,       // the zone shares the largest area with the frame
    nearestCenter, // no zone touches the frame; the zone whose centre is nearest
    fallback,      // the display has no zones to match against
    none,          // nothing could be matched; callers skip such a match
};

struct ZoneMatch {
    int zoneID = 0;
    float confidence = 0; // 0...1
    ZoneMatchMethod method = ZoneMatchMethod::none;
    std::optional<float> overlapRatio; // only for `overlap`
    double centerDistance = 0;         // points; only for `nearestCenter`
    bool isConfident = false;

    friend bool operator==(const ZoneMatch&, const ZoneMatch&) = default;
};

} // namespace korvane
