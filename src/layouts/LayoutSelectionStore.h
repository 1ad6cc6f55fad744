// The layout last chosen for each display, kept in "layout-selection.json" in the application-support
// folder.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>

namespace korvane {

struct LayoutSelection {
    std::map<std::string, std::string> lastByDisplay; // display UUID -> layout id

    friend bool operator==(const LayoutSelection&, const LayoutSelection&) = default;

    // {"lastByDisplay": {...}}; the key is required when reading (throws DecodingError).
    nlohmann::ordered_json toJSON() const;
    static LayoutSelection fromJSON(const nlohmann::json& json);
};

// Main thread only; holds nothing between calls.
class LayoutSelectionStore {
  public:
    LayoutSelectionStore() = delete;

    // The file in the application-support folder (created when missing). Throws
    // std::filesystem::filesystem_error when the folder cannot be had.
    static std::filesystem::path fileURL();
    // The stored selection; an empty one when the folder or file cannot be had or read, the file is
    // empty, or it does not decode. Logs nothing.
    static LayoutSelection load();
    // Writes the selection compactly and atomically. A failure leaves the old file and is logged, naming
    // the file and why, once per cause; a file in place that cannot be read is kept beside it first (and
    // nothing is written when that fails).
    static void save(const LayoutSelection& selection);

    static constexpr const char* kFileName = "layout-selection.json";
};

} // namespace korvane
