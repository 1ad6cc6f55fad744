// Loading, saving and updating the saved layout templates.
#include "layouts/LayoutTemplateSet.h"

#include "core/JSONFields.h"
#include "core/JSONFileStore.h"
#include "platform/Platform.h"

namespace korvane {

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
    // Nothing rewrites the file at a start once the templates were migrated, so a damaged one would be
    // passed over in silence for good.
    return JSONFileStore<LayoutTemplateSet>::loadFromAppSupport(kFileName,
                                                                "no saved template is read from it");
}

void LayoutTemplateSet::save() const {
    // The display workbenches' form: pretty-printed, ISO 8601 dates.
    JSONFileStore<LayoutTemplateSet>::saveToAppSupport(kFileName, *this, JSONEncoder::prettyISO8601());
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
