// The record of which scene is active and since when.
#pragma once

#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace korvane {

struct ActiveSceneState {
    std::optional<std::string> activeSceneID; // canonical upper-case UUID text
    std::optional<Nanos> lastSwitchedAt;      // wall clock, ns since 1970 UTC

    friend bool operator==(const ActiveSceneState&, const ActiveSceneState&) = default;

    // Each key only when set; a record with neither is the empty object.
    nlohmann::ordered_json toJSON() const;
    // Missing keys read as no value. Throws DecodingError for a malformed UUID or date.
    static ActiveSceneState fromJSON(const nlohmann::json& json);
};

} // namespace korvane
