// The saved layout templates, kept in "layout-templates.json" in the application-support folder.
#pragma once

#include "layouts/LayoutTemplate.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct LayoutTemplateSet {
    std::vector<LayoutTemplate> templates; // in insertion order

    friend bool operator==(const LayoutTemplateSet&, const LayoutTemplateSet&) = default;

    // The stored set; an empty set when the folder cannot be had or the file is missing, empty or
    // unreadable. Never fails; a file that is there but cannot be read or does not decode is named in an
    // error line with why, once per cause.
    static LayoutTemplateSet load();
    // Writes the set whole and atomically, pretty-printed. A failure leaves the old file and is logged,
    // naming the file and why, once per cause. A file in place that cannot be read is kept beside it
    // first (and nothing is written when that fails).
    void save() const;

    // Sets the template's missing `createdAt` and its `updatedAt` to the platform's wall clock now,
    // then replaces the first template with its id in place, or appends it.
    void upsert(LayoutTemplate tmpl);
    // The first template with exactly this id.
    std::optional<LayoutTemplate> templateWithID(const std::string& id) const;

    // {"templates": [...]}.
    nlohmann::ordered_json toJSON() const;
    // Throws when "templates" is missing or any template cannot be read.
    static LayoutTemplateSet fromJSON(const nlohmann::json& json);

    static constexpr const char* kFileName = "layout-templates.json";
};

} // namespace korvane
