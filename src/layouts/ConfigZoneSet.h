// A user layout as stored in its file in the Layouts folder: a named division of a display into
// zones, given as a layout tree, as split lists or as explicit zones.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One explicit zone. Its frame is in fractions of the display's visible frame when the layout
// builder reads it.
struct ConfigZone {
    std::int64_t id = 0;
    std::string displayUUID;
    Rect frame;
    std::optional<std::string> name;

    // Frames compare as the rectangles they cover: a negative width or height counts as the
    // equivalent positive one.
    friend bool operator==(const ConfigZone& a, const ConfigZone& b);

    // {"id", "displayUUID", "frame": [[x, y], [width, height]], "name" when set}.
    nlohmann::ordered_json toJSON() const;
    static ConfigZone fromJSON(const nlohmann::json& json);
};

struct ConfigZoneSet {
    // Per-zone name and id, carried unchanged through reads and writes.
    struct ZoneMetadata {
        std::optional<std::string> name;
        std::optional<std::string> id;

        friend bool operator==(const ZoneMetadata&, const ZoneMetadata&) = default;
    };

    std::string id;
    std::optional<std::string> displayUUID;
    std::string name;
    std::optional<std::string> version;
    std::optional<LayoutNode> layoutTree;
    std::optional<std::vector<double>> xSplits;
    std::optional<std::vector<double>> ySplits;
    std::optional<std::vector<ConfigZone>> zones;
    std::optional<std::map<std::string, ZoneMetadata>> zoneMap;

    friend bool operator==(const ConfigZoneSet&, const ConfigZoneSet&) = default;

    // Keys in the order "id", "displayUUID", "name", "version", "layoutTree", "xSplits", "ySplits",
    // "zones", "zoneMap"; absent fields are left out.
    nlohmann::ordered_json toJSON() const;
    // Throws when "id" or "name" is missing, a value has the wrong type, or the tree cannot be read
    // (DecodingError, a std::runtime_error).
    static ConfigZoneSet fromJSON(const nlohmann::json& json);
};

} // namespace korvane

template <> struct std::hash<korvane::ConfigZone> {
    std::size_t operator()(const korvane::ConfigZone& zone) const noexcept;
};

template <> struct std::hash<korvane::ConfigZoneSet::ZoneMetadata> {
    std::size_t operator()(const korvane::ConfigZoneSet::ZoneMetadata& metadata) const noexcept;
};

template <> struct std::hash<korvane::ConfigZoneSet> {
    std::size_t operator()(const korvane::ConfigZoneSet& set) const noexcept;
};
