// Reading, writing and re-keying the display workbenches.
#include "app/DisplayWorkbenchSet.h"

#include "core/DecodingError.h"
#include "core/ISODate.h"
#include "core/JSONFields.h"
#include "core/JSONFileStore.h"
#include "platform/TextTrim.h"

#include <limits>

namespace korvane {

nlohmann::ordered_json DisplayWorkbench::toJSON(const JSONEncoder& encoder) const {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["displayUUID"] = displayUUID;
    out["activeTemplateID"] = activeTemplateID;
    if (updatedAt) out["updatedAt"] = encoder.encodeDate(*updatedAt);
    return out;
}

DisplayWorkbench DisplayWorkbench::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "DisplayWorkbench");
    DisplayWorkbench w;
    w.displayUUID = jsonfields::requireString(json, "displayUUID");
    w.activeTemplateID = jsonfields::requireString(json, "activeTemplateID");
    if (auto text = jsonfields::optionalString(json, "updatedAt")) {
        w.updatedAt = parseISODate(*text);
        if (!w.updatedAt)
            throw DecodingError(DecodingError::Kind::dataCorrupted, "updatedAt",
                                "Expected date string to be ISO8601-formatted for key \"updatedAt\"");
    }
    return w;
}

std::string canonicalDisplayKey(std::string_view key) {
    std::string trimmed = trimmingWhitespaceAndNewlines(key);
    if (trimmed == "__ALL_DISPLAYS__" || trimmed == "DISPLAY-UUID-PLACEHOLDER") return trimmed;
    const auto suffix = trimmed.find('#');
    if (suffix == std::string::npos) return trimmed;
    // What stands before the suffix is trimmed again: "UUID #2" must give the bare UUID, and a canonical
    // key must stay as it is when canonicalised again, or every launch would move it once more.
    return trimmingWhitespaceAndNewlines(std::string_view(trimmed).substr(0, suffix));
}

nlohmann::ordered_json DisplayWorkbenchSet::toJSON(const JSONEncoder& encoder) const {
    nlohmann::ordered_json records = nlohmann::ordered_json::object();
    for (const auto& [key, workbench] : workbenches)
        records[key] = workbench.toJSON(encoder);
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["workbenches"] = std::move(records);
    return out;
}

DisplayWorkbenchSet DisplayWorkbenchSet::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "DisplayWorkbenchSet");
    const nlohmann::json* records = jsonfields::member(json, "workbenches");
    if (!records) throw DecodingError("No value associated with key \"workbenches\"");
    jsonfields::requireObject(*records, "workbenches");
    DisplayWorkbenchSet set;
    for (const auto& [key, record] : records->items())
        set.workbenches[key] = DisplayWorkbench::fromJSON(record);
    return set;
}

JSONEncoder DisplayWorkbenchSet::makeEncoder() {
    return JSONEncoder::prettyISO8601();
}

DisplayWorkbenchSet DisplayWorkbenchSet::load() {
    return JSONFileStore<DisplayWorkbenchSet>::loadFromAppSupport(kFileName);
}

void DisplayWorkbenchSet::save() const {
    JSONFileStore<DisplayWorkbenchSet>::saveToAppSupport(kFileName, *this, makeEncoder());
}

std::vector<std::pair<std::string, std::string>> DisplayWorkbenchSet::canonicalizeDisplayKeys() {
    std::vector<std::pair<std::string, std::string>> moves;
    if (workbenches.empty()) return moves;
    constexpr Nanos kDistantPast = std::numeric_limits<Nanos>::min();
    std::map<std::string, DisplayWorkbench> result;
    for (const auto& [key, workbench] : workbenches) {
        std::string canonical = canonicalDisplayKey(key);
        if (canonical != key) moves.emplace_back(key, canonical);
        DisplayWorkbench copy = workbench;
        copy.displayUUID = canonical;
        auto held = result.find(canonical);
        if (held == result.end()) {
            result.emplace(canonical, std::move(copy));
        } else if (copy.updatedAt.value_or(kDistantPast) >= held->second.updatedAt.value_or(kDistantPast)) {
            held->second = std::move(copy);
        }
    }
    workbenches = std::move(result);
    return moves;
}

} // namespace korvane
