// Loading, saving and updating the saved layout templates.
#include "layouts/LayoutTemplateSet.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/Log.h"
#include "platform/Platform.h"
#include "core/JSONFields.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// Pretty-printed, keys in the order the records give them, dates already ISO 8601 text: the form the
// display workbenches are written in, which this file shares.
std::string encodeForStore(const nlohmann::ordered_json& json) {
    return json.dump(2);
}

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return bytes.str();
}

std::optional<LayoutTemplateSet> decodeSet(const std::string& bytes) {
    try {
        return LayoutTemplateSet::fromJSON(nlohmann::json::parse(bytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

nlohmann::ordered_json LayoutTemplateSet::toJSON() const {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& t : templates)
        list.push_back(t.toJSON());
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["templates"] = std::move(list);
    return j;
}

LayoutTemplateSet LayoutTemplateSet::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "LayoutTemplateSet");
    const nlohmann::json& list = jsonfields::requireArray(json, "templates");
    LayoutTemplateSet set;
    for (const auto& t : list)
        set.templates.push_back(LayoutTemplate::fromJSON(t));
    return set;
}

LayoutTemplateSet LayoutTemplateSet::load() {
    try {
        auto bytes = readWholeFile(appSupportDirectory() / kFileName);
        if (!bytes || bytes->empty()) return {};
        return decodeSet(*bytes).value_or(LayoutTemplateSet{});
    } catch (const std::exception&) {
        return {};
    }
}

void LayoutTemplateSet::save() const {
    try {
        const fs::path path = appSupportDirectory() / kFileName;
        // The set read at start-up is empty when the file could not be read; writing it back must
        // not take the user's templates with it.
        if (auto existing = readWholeFile(path); existing && !existing->empty() && !decodeSet(*existing)) {
            fs::path kept = preserveUnreadableFile(path);
            Log::app.error("Kept unreadable %{public}s as %{public}s before writing it again", path.string(),
                           kept.string());
        }
        writeFileAtomically(path, encodeForStore(toJSON()));
    } catch (const std::exception&) {
        // Dropped: the next successful write replaces the file whole.
    }
}

void LayoutTemplateSet::upsert(LayoutTemplate tmpl) {
    const Nanos now = platform::Platform::current().runLoop().wallClock();
    if (!tmpl.createdAt) tmpl.createdAt = now;
    tmpl.updatedAt = now;
    for (auto& existing : templates) {
        if (existing.id == tmpl.id) {
            existing = std::move(tmpl);
            return;
        }
    }
    templates.push_back(std::move(tmpl));
}

std::optional<LayoutTemplate> LayoutTemplateSet::templateWithID(const std::string& id) const {
    for (const auto& t : templates)
        if (t.id == id) return t;
    return std::nullopt;
}

} // namespace korvane
