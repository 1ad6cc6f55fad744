// JSON form, equality and hashing of user layout records.
#include "layouts/ConfigZoneSet.h"

#include "core/JSONFields.h"

#include <functional>
#include <string_view>

namespace korvane {

namespace {

namespace jf = jsonfields;

// The same rectangle with a non-negative width and height.
Rect standardized(const Rect& r) {
    return Rect{r.minX(), r.minY(), r.width(), r.height()};
}

void hashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Adding 0.0 makes -0.0 hash like 0.0, as the two compare equal.
std::size_t hashDouble(double v) {
    return std::hash<double>{}(v + 0.0);
}

template <class T> std::size_t hashOptional(const std::optional<T>& v) {
    return v ? std::hash<T>{}(*v) * 31 + 1 : 0;
}

const nlohmann::json& requireArray(const nlohmann::json& value, std::string_view key) {
    if (!value.is_array()) throw DecodingError("Expected an array for key \"" + std::string(key) + "\"");
    return value;
}

std::vector<double> decodeNumbers(const nlohmann::json& value, std::string_view key) {
    std::vector<double> out;
    for (const auto& n : requireArray(value, key))
        out.push_back(jf::asNumber(n, key));
    return out;
}

// [[x, y], [width, height]]; elements after the first two of each array are not read.
Rect decodeFrame(const nlohmann::json& value) {
    const auto& outer = requireArray(value, "frame");
    if (outer.size() < 2) throw DecodingError("Frame needs an origin and a size");
    double numbers[4];
    for (int i = 0; i < 2; ++i) {
        const auto& pair = requireArray(outer[i], "frame");
        if (pair.size() < 2) throw DecodingError("Frame origin and size need two numbers each");
        numbers[2 * i] = jf::asNumber(pair[0], "frame");
        numbers[2 * i + 1] = jf::asNumber(pair[1], "frame");
    }
    return Rect{numbers[0], numbers[1], numbers[2], numbers[3]};
}

} // namespace

bool operator==(const ConfigZone& a, const ConfigZone& b) {
    return a.id == b.id && a.displayUUID == b.displayUUID && standardized(a.frame) == standardized(b.frame) &&
           a.name == b.name;
}

nlohmann::ordered_json ConfigZone::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["id"] = id;
    j["displayUUID"] = displayUUID;
    j["frame"] = {{frame.origin.x, frame.origin.y}, {frame.size.width, frame.size.height}};
    if (name) j["name"] = *name;
    return j;
}

ConfigZone ConfigZone::fromJSON(const nlohmann::json& json) {
    jf::requireObject(json, "zones");
    ConfigZone zone;
    zone.id = jf::requireInteger(json, "id");
    zone.displayUUID = jf::requireString(json, "displayUUID");
    zone.frame = decodeFrame(jf::requireMember(json, "frame"));
    zone.name = jf::optionalString(json, "name");
    return zone;
}

nlohmann::ordered_json ConfigZoneSet::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["id"] = id;
    if (displayUUID) j["displayUUID"] = *displayUUID;
    j["name"] = name;
    if (version) j["version"] = *version;
    if (layoutTree) j["layoutTree"] = *layoutTree;
    if (xSplits) j["xSplits"] = *xSplits;
    if (ySplits) j["ySplits"] = *ySplits;
    if (zones) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& zone : *zones)
            list.push_back(zone.toJSON());
        j["zones"] = std::move(list);
    }
    if (zoneMap) {
        nlohmann::ordered_json map = nlohmann::ordered_json::object();
        for (const auto& [key, metadata] : *zoneMap) {
            nlohmann::ordered_json m = nlohmann::ordered_json::object();
            if (metadata.name) m["name"] = *metadata.name;
            if (metadata.id) m["id"] = *metadata.id;
            map[key] = std::move(m);
        }
        j["zoneMap"] = std::move(map);
    }
    return j;
}

ConfigZoneSet ConfigZoneSet::fromJSON(const nlohmann::json& json) {
    jf::requireObject(json, "ConfigZoneSet");
    ConfigZoneSet set;
    set.id = jf::requireString(json, "id");
    set.displayUUID = jf::optionalString(json, "displayUUID");
    set.name = jf::requireString(json, "name");
    set.version = jf::optionalString(json, "version");
    if (const auto* tree = jf::member(json, "layoutTree")) set.layoutTree = tree->get<LayoutNode>();
    if (const auto* xs = jf::member(json, "xSplits")) set.xSplits = decodeNumbers(*xs, "xSplits");
    if (const auto* ys = jf::member(json, "ySplits")) set.ySplits = decodeNumbers(*ys, "ySplits");
    if (const auto* zones = jf::member(json, "zones")) {
        set.zones.emplace();
        for (const auto& zone : requireArray(*zones, "zones"))
            set.zones->push_back(ConfigZone::fromJSON(zone));
    }
    if (const auto* map = jf::member(json, "zoneMap")) {
        jf::requireObject(*map, "zoneMap");
        set.zoneMap.emplace();
        for (const auto& [key, value] : map->items()) {
            jf::requireObject(value, key);
            (*set.zoneMap)[key] =
                ZoneMetadata{jf::optionalString(value, "name"), jf::optionalString(value, "id")};
        }
    }
    return set;
}

} // namespace korvane

std::size_t std::hash<korvane::ConfigZone>::operator()(const korvane::ConfigZone& zone) const noexcept {
    using namespace korvane;
    std::size_t h = std::hash<std::int64_t>{}(zone.id);
    hashCombine(h, std::hash<std::string>{}(zone.displayUUID));
    const Rect r = standardized(zone.frame);
    for (double v : {r.origin.x, r.origin.y, r.size.width, r.size.height})
        hashCombine(h, hashDouble(v));
    hashCombine(h, hashOptional(zone.name));
    return h;
}

std::size_t std::hash<korvane::ConfigZoneSet::ZoneMetadata>::operator()(
    const korvane::ConfigZoneSet::ZoneMetadata& metadata) const noexcept {
    using namespace korvane;
    std::size_t h = hashOptional(metadata.name);
    hashCombine(h, hashOptional(metadata.id));
    return h;
}

std::size_t std::hash<korvane::ConfigZoneSet>::operator()(const korvane::ConfigZoneSet& set) const noexcept {
    using namespace korvane;
    std::size_t h = std::hash<std::string>{}(set.id);
    hashCombine(h, hashOptional(set.displayUUID));
    hashCombine(h, std::hash<std::string>{}(set.name));
    hashCombine(h, hashOptional(set.version));
    hashCombine(h, set.layoutTree ? set.layoutTree->hashValue() * 31 + 1 : 0);
    for (const auto* splits : {&set.xSplits, &set.ySplits}) {
        std::size_t s = splits->has_value() ? 1 : 0;
        if (*splits)
            for (double v : **splits)
                hashCombine(s, hashDouble(v));
        hashCombine(h, s);
    }
    std::size_t z = set.zones.has_value() ? 1 : 0;
    if (set.zones)
        for (const auto& zone : *set.zones)
            hashCombine(z, std::hash<ConfigZone>{}(zone));
    hashCombine(h, z);
    std::size_t m = set.zoneMap.has_value() ? 1 : 0;
    if (set.zoneMap)
        for (const auto& [key, metadata] : *set.zoneMap) {
            hashCombine(m, std::hash<std::string>{}(key));
            hashCombine(m, std::hash<ConfigZoneSet::ZoneMetadata>{}(metadata));
        }
    hashCombine(h, m);
    return h;
}
