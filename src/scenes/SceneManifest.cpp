// JSON form of the scene manifest.
#include "scenes/SceneManifest.h"

#include "core/ISODate.h"
#include "core/JSONFields.h"
#include "scenes/model/WMScene.h"

#include <algorithm>

namespace korvane {

SceneManifestEntry SceneManifestEntry::from(const WMScene& scene) {
    SceneManifestEntry entry;
    entry.id = scene.id;
    entry.name = scene.name;
    entry.hotkeySlot = scene.hotkeySlot;
    const auto count = static_cast<std::int64_t>(scene.layoutRefsByDisplay.size());
    entry.displayCount = std::max<std::int64_t>(count, 1);
    entry.hasGeometry = count != 0;
    entry.updatedAt = scene.updatedAt;
    return entry;
}

nlohmann::ordered_json SceneManifestEntry::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["id"] = id;
    j["name"] = name;
    if (hotkeySlot) j["hotkeySlot"] = *hotkeySlot;
    j["displayCount"] = displayCount;
    j["hasGeometry"] = hasGeometry;
    j["updatedAt"] = isoDateString(updatedAt);
    return j;
}

SceneManifestEntry SceneManifestEntry::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "entries");
    SceneManifestEntry entry;
    entry.id = jsonfields::requireUUID(json, "id");
    entry.name = jsonfields::requireString(json, "name");
    entry.hotkeySlot = jsonfields::optionalInteger(json, "hotkeySlot");
    entry.displayCount = jsonfields::requireInteger(json, "displayCount");
    const nlohmann::json& geometry = jsonfields::requireMember(json, "hasGeometry");
    if (!geometry.is_boolean())
        throw DecodingError(DecodingError::Kind::typeMismatch, "hasGeometry",
                            "Expected a boolean for key \"hasGeometry\"");
    entry.hasGeometry = geometry.get<bool>();
    auto updated = jsonfields::optionalDate(json, "updatedAt");
    if (!updated) throw DecodingError("No value associated with key \"updatedAt\"");
    entry.updatedAt = *updated;
    return entry;
}

nlohmann::ordered_json SceneManifest::toJSON() const {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& entry : entries)
        list.push_back(entry.toJSON());
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["version"] = version;
    j["entries"] = std::move(list);
    return j;
}

SceneManifest SceneManifest::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "manifest");
    SceneManifest manifest;
    manifest.version = jsonfields::requireString(json, "version");
    for (const auto& entry : jsonfields::requireArray(json, "entries"))
        manifest.entries.push_back(SceneManifestEntry::fromJSON(entry));
    return manifest;
}

} // namespace korvane
