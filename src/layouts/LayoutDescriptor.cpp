// Reading and writing the older per-display layout descriptors.
#include "layouts/LayoutDescriptor.h"

#include "core/JSONFields.h"
#include "core/JSONFileStore.h"

namespace korvane {

std::string_view toString(LayoutDescriptor::Kind kind) {
    switch (kind) {
    case LayoutDescriptor::Kind::builtinGrid2x2:
        return "builtinGrid2x2";
    case LayoutDescriptor::Kind::builtinAsym2x1:
        return "builtinAsym2x1";
    case LayoutDescriptor::Kind::builtin:
        return "builtin";
    case LayoutDescriptor::Kind::userConfig:
        return "userConfig";
    }
    return "builtin";
}

std::optional<LayoutDescriptor::Kind> layoutDescriptorKindFrom(std::string_view text) {
    for (auto kind : {LayoutDescriptor::Kind::builtinGrid2x2, LayoutDescriptor::Kind::builtinAsym2x1,
                      LayoutDescriptor::Kind::builtin, LayoutDescriptor::Kind::userConfig})
        if (toString(kind) == text) return kind;
    return std::nullopt;
}

nlohmann::ordered_json LayoutDescriptor::toJSON() const {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["displayUUID"] = displayUUID;
    out["kind"] = toString(kind);
    out["layoutID"] = layoutID;
    return out;
}

LayoutDescriptor LayoutDescriptor::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "LayoutDescriptor");
    LayoutDescriptor d;
    d.displayUUID = jsonfields::requireString(json, "displayUUID");
    const std::string kind = jsonfields::requireString(json, "kind");
    auto parsed = layoutDescriptorKindFrom(kind);
    if (!parsed)
        throw DecodingError(DecodingError::Kind::dataCorrupted, "kind",
                            "Cannot initialize Kind from invalid String value " + kind);
    d.kind = *parsed;
    d.layoutID = jsonfields::requireString(json, "layoutID");
    return d;
}

nlohmann::ordered_json LayoutDescriptorSet::toJSON() const {
    nlohmann::ordered_json displays = nlohmann::ordered_json::object();
    for (const auto& [display, descriptor] : byDisplay)
        displays[display] = descriptor.toJSON();
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["byDisplay"] = std::move(displays);
    return out;
}

LayoutDescriptorSet LayoutDescriptorSet::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "LayoutDescriptorSet");
    const nlohmann::json* displays = jsonfields::member(json, "byDisplay");
    if (!displays) throw DecodingError("No value associated with key \"byDisplay\"");
    jsonfields::requireObject(*displays, "byDisplay");
    LayoutDescriptorSet set;
    for (const auto& [display, descriptor] : displays->items())
        set.byDisplay[display] = LayoutDescriptor::fromJSON(descriptor);
    return set;
}

LayoutDescriptorSet LayoutDescriptorSet::load() {
    return JSONFileStore<LayoutDescriptorSet>::loadFromAppSupport(kFileName);
}

void LayoutDescriptorSet::save() const {
    JSONFileStore<LayoutDescriptorSet>::saveToAppSupport(kFileName, *this, JSONEncoder{});
}

} // namespace korvane
