// JSON form of saved layout templates.
#include "layouts/LayoutTemplate.h"

#include "core/ISODate.h"
#include "core/JSONFields.h"

namespace korvane {

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
    t.layoutTree = jsonfields::requireMember(json, "layoutTree").get<LayoutNode>();
    t.version = jsonfields::requireString(json, "version");
    t.createdAt = jsonfields::optionalDate(json, "createdAt");
    t.updatedAt = jsonfields::optionalDate(json, "updatedAt");
    return t;
}

} // namespace korvane
