// The user layout files in the Layouts folder: reading them all, rewriting the display UUIDs inside
// them, and the one-time move of layouts with legacy ids to new ids.
#pragma once

#include "layouts/ConfigZoneSet.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// Holds nothing between calls: every operation starts from what is on disk. Main thread only.
// Failures are thrown as std::runtime_error subclasses (file system errors and decoding errors).
class ZoneSetStore {
  public:
    using Transform = std::function<std::string(const std::string&)>;
    // Old layout id -> new layout id.
    using IDMapping = std::map<std::string, std::string>;

    struct Remapped {
        ConfigZoneSet set;
        bool changed = false;
    };

    ZoneSetStore() = delete;

    // "Layouts" in the application-support folder; the application-support folder is created when
    // missing, the Layouts folder is not.
    static std::filesystem::path layoutsDirectoryURL();
    // "layout." and the first 8 characters of a fresh UUID, lower-cased; drawn again while the id is in
    // `taken` or already names a file in `folder`, so a new layout never lands on another's file.
    static std::string makeLayoutID(const std::filesystem::path& folder,
                                    const std::set<std::string>& taken = {});

    // Every zone set of every readable layout file ("*.json", not hidden), in file-name order and in
    // file order within a file. Unreadable files are skipped silently. Throws only when the folder
    // cannot be had or listed.
    static std::vector<ConfigZoneSet> loadAll();

    // Applies `transform` to the display UUIDs of every layout file and writes back, compactly, each
    // file that changed. Returns whether any file was written. A file that cannot be read or decoded
    // stops the rewrite with its error; files written before it stay written.
    static bool rewriteAll(const Transform& transform);
    // The layout's own display UUID (when present and not empty) and every zone's display UUID.
    static Remapped remapDisplayUUIDs(const ConfigZoneSet& set, const Transform& transform);

    // Gives every single-object layout file whose id begins "user.new.", "user.copy." or
    // "scene-layout-" a new id "layout.<8 hex digits>", writes it under that name and removes the old
    // file. Returns old id -> new id, for the caller to carry to whatever else names those ids.
    static IDMapping migrateLegacyLayoutIDs();

    static constexpr const char* kLayoutsFolderName = "Layouts";
};

} // namespace korvane
