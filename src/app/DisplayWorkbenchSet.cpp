// Reading, writing and re-keying the display workbenches.
#include "app/DisplayWorkbenchSet.h"

#include "core/AppSupport.h"
#include "core/DecodingError.h"
#include "core/FileUtil.h"
#include "core/ISODate.h"
#include "core/JSONFields.h"
#include "platform/TextTrim.h"

#include <limits>

namespace korvane {

namespace fs = std::filesystem;

namespace {

std::optional<DisplayWorkbenchSet> decode(const std::string& bytes) {
    try {
        return DisplayWorkbenchSet::fromJSON(nlohmann::json::parse(bytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

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
    return trimmed.substr(0, trimmed.find('#'));
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
    try {
        auto bytes = readFileIfPresent(appSupportDirectory() / kFileName);
        if (!bytes || bytes->empty()) return {};
        return decode(*bytes).value_or(DisplayWorkbenchSet{});
    } catch (const std::exception&) {
        return {};
    }
}

void DisplayWorkbenchSet::save() const {
    try {
        const fs::path path = appSupportDirectory() / kFileName;
        const std::string bytes = makeEncoder().encode(toJSON(makeEncoder()));
        keepUnreadableFileBeforeWriting(
            path, [](const std::string& existing) { return decode(existing).has_value(); });
        writeFileAtomically(path, bytes);
    } catch (const std::exception&) {
        // Dropped: the old file stays whole and the next change writes the whole set again.
    }
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
