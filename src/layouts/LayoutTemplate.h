// A saved layout template: a named layout tree with a version and the dates it was stored.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace korvane {

struct LayoutTemplate {
    std::string id;
    std::string name;
    LayoutNode layoutTree;
    std::string version;
    std::optional<Nanos> createdAt; // wall clock, ns since 1970 UTC
    std::optional<Nanos> updatedAt;

    friend bool operator==(const LayoutTemplate&, const LayoutTemplate&) = default;

    // Keys "id", "name", "layoutTree", "version", then the dates as ISO 8601 text when set.
    nlohmann::ordered_json toJSON() const;
    // Throws (a std::runtime_error) when a required key is missing or a value cannot be read,
    // including a date in another form than ISO 8601 text.
    static LayoutTemplate fromJSON(const nlohmann::json& json);
};

} // namespace korvane
