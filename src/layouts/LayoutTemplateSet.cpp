// Loading, saving and updating the saved layout templates.
#include "layouts/LayoutTemplateSet.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONEncoder.h"
#include "platform/Platform.h"
#include "core/JSONFields.h"

#include <filesystem>

namespace korvane {

namespace fs = std::filesystem;

namespace {

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
        auto bytes = readFileIfPresent(appSupportDirectory() / kFileName);
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
        keepUnreadableFileBeforeWriting(path,
                                        [](const std::string& bytes) { return decodeSet(bytes).has_value(); });
        // The display workbenches' form: pretty-printed, ISO 8601 dates.
        writeFileAtomically(path, JSONEncoder::prettyISO8601().encode(toJSON()));
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
