// The index of the scenes folder, "manifest.json": the scenes in the order every list of scenes shows
// them, with what a list needs of each without opening its file.
#pragma once

#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct WMScene;

struct SceneManifestEntry {
    std::string id; // the id inside the scene file, canonical upper-case UUID text
    std::string name;
    std::optional<std::int64_t> hotkeySlot;
    std::int64_t displayCount = 1; // layout references of the scene, but at least 1
    bool hasGeometry = false;      // the scene has at least one layout reference
    Nanos updatedAt = 0;           // wall clock, ns since 1970 UTC

    friend bool operator==(const SceneManifestEntry&, const SceneManifestEntry&) = default;

    static SceneManifestEntry from(const WMScene& scene);

    // "hotkeySlot" only when set; the date as ISO 8601 UTC text.
    nlohmann::ordered_json toJSON() const;
    // Every key but "hotkeySlot" is required. Throws DecodingError.
    static SceneManifestEntry fromJSON(const nlohmann::json& json);
};

struct SceneManifest {
    static constexpr const char* kCurrentVersion = "4.0";

    std::string version = kCurrentVersion; // any text is accepted when read
    std::vector<SceneManifestEntry> entries;

    friend bool operator==(const SceneManifest&, const SceneManifest&) = default;

    nlohmann::ordered_json toJSON() const;
    // Both keys are required, and one bad entry refuses the whole manifest. Throws DecodingError.
    static SceneManifest fromJSON(const nlohmann::json& json);
};

} // namespace korvane
