// JSON form of saved layout templates.
#include "layouts/LayoutTemplate.h"

#include "core/ISODate.h"
#include "core/JSONFields.h"

namespace korvane {

namespace {

std::optional<Nanos> decodeDate(const nlohmann::json& json, const char* key) {
    auto text = jsonfields::optionalString(json, key);
    if (!text) return std::nullopt;
    auto date = parseISODate(*text);
    if (!date)
        throw DecodingError(std::string("Expected date string to be ISO8601-formatted for key \"") + key +
                                "\"");
    return date;
}

} // namespace

nlohmann::ordered_json LayoutTemplate::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["id"] = id;
    j["name"] = name;
    j["layoutTree"] = layoutTree;
    j["version"] = version;
    if (createdAt) j["createdAt"] = isoDateString(*createdAt);
    if (updatedAt) j["updatedAt"] = isoDateString(*updatedAt);
    return j;
}

LayoutTemplate LayoutTemplate::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "LayoutTemplate");
    LayoutTemplate t;
    t.id = jsonfields::requireString(json, "id");
    t.name = jsonfields::requireString(json, "name");
    const nlohmann::json* tree = jsonfields::member(json, "layoutTree");
    if (!tree) throw DecodingError("No value associated with key \"layoutTree\"");
    t.layoutTree = tree->get<LayoutNode>();
    t.version = jsonfields::requireString(json, "version");
    t.createdAt = decodeDate(json, "createdAt");
    t.updatedAt = decodeDate(json, "updatedAt");
    return t;
}

} // namespace korvane
