// The active layout template of every display the system has seen, kept in "display-workbenches.json"
// in the application-support folder.
#pragma once

#include "core/JSONEncoder.h"
#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

struct DisplayWorkbench {
    std::string displayUUID;
    std::string activeTemplateID;   // "builtin." or "layout." id
    std::optional<Nanos> updatedAt; // wall clock, ns since 1970 UTC

    friend bool operator==(const DisplayWorkbench&, const DisplayWorkbench&) = default;

    // {"displayUUID", "activeTemplateID", "updatedAt" when set, in the encoder's date form}.
    nlohmann::ordered_json toJSON(const JSONEncoder& encoder) const;
    // Reads ISO 8601 dates; throws DecodingError for a missing member or an unreadable date.
    static DisplayWorkbench fromJSON(const nlohmann::json& json);
};

// The canonical form of a stored display key: trimmed of white space and line breaks; the placeholders
// "__ALL_DISPLAYS__" and "DISPLAY-UUID-PLACEHOLDER" stay themselves; otherwise cut at the first "#" and
// trimmed again. Canonicalising a canonical key gives it back unchanged.
std::string canonicalDisplayKey(std::string_view key);

struct DisplayWorkbenchSet {
    std::map<std::string, DisplayWorkbench> workbenches; // display identifier -> its workbench

    friend bool operator==(const DisplayWorkbenchSet&, const DisplayWorkbenchSet&) = default;

    // The stored set; an empty set when the folder or file cannot be had or read, the file is empty, or
    // it does not decode (one bad record loses the whole file). Logs nothing.
    static DisplayWorkbenchSet load();
    // Writes the whole set atomically with makeEncoder(). A failure leaves the old file and is logged,
    // naming the file and why, once per cause; a file in place that cannot be read is kept beside it
    // first (and nothing is written when that fails).
    void save() const;
    // Pretty-printed, ISO 8601 dates. The layout templates are written in the same form.
    static JSONEncoder makeEncoder();

    // Brings every key to its canonical form; of records that meet on one key the later `updatedAt`
    // stays (absent counts as earliest, a tie goes to the one visited later). Returns (old, new) for
    // every key that changed.
    std::vector<std::pair<std::string, std::string>> canonicalizeDisplayKeys();

    nlohmann::ordered_json toJSON(const JSONEncoder& encoder) const;
    static DisplayWorkbenchSet fromJSON(const nlohmann::json& json);

    static constexpr const char* kFileName = "display-workbenches.json";
};

} // namespace korvane
