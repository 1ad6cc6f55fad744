// The user layout files in the Layouts folder: reading them all, storing and removing one layout in
// the file that holds it, rewriting the display UUIDs inside them, and the one-time move of layouts
// with legacy ids to new ids.
#pragma once

#include "layouts/ConfigZoneSet.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
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
    // Throws when 64 draws found no free id.
    static std::string makeLayoutID(const std::filesystem::path& folder,
                                    const std::set<std::string>& taken = {});

    // Writes the layout, compactly, into the file that holds a layout with its id (the first in
    // file-name order, as loadAll lists it), replacing that entry alone. A layout no file holds goes to
    // "<id>.json": a new file, or added to the layouts a readable file there holds; the bytes of an
    // unreadable one are kept aside first. Creates the folder. Returns the file's path. Throws for an
    // id that cannot name a file, a tree too deep to be read back, and on any failure to write, which
    // leaves the file as it was.
    static std::filesystem::path storeLayout(const ConfigZoneSet& set);

    struct Removal {
        std::filesystem::path file;
        bool fileRemoved = false; // false: the file stays with the other layouts it holds
    };
    // Takes the layout out of the file that holds it, as storeLayout finds it; the file goes when it
    // held nothing else. Nothing when no readable file holds the layout. Throws as storeLayout does.
    static std::optional<Removal> removeLayout(const std::string& id);

    // Every zone set of every readable layout file ("*.json", not hidden), in file-name order and in
    // file order within a file. Unreadable files are skipped silently. Throws only when the folder
    // cannot be had or listed.
    static std::vector<ConfigZoneSet> loadAll();

    struct Rewrite {
        bool wroteAny = false;
        // The files that could not be read or decoded, in file-name order, each with the reason; they
        // are left as they are and the others are rewritten all the same.
        std::vector<std::pair<std::filesystem::path, std::string>> skipped;
    };
    // Applies `transform` to the display UUIDs of every layout file and writes back, compactly, each
    // file that changed. Throws only when the folder cannot be listed or a changed file cannot be
    // written; files written before that stay written.
    static Rewrite rewriteAll(const Transform& transform);
    // The layout's own display UUID (when present and not empty) and every zone's display UUID.
    static Remapped remapDisplayUUIDs(const ConfigZoneSet& set, const Transform& transform);

    // Gives every single-object layout file whose id begins "user.new.", "user.copy." or
    // "scene-layout-" a new id "layout.<8 hex digits>", writes it under that name and removes the old
    // file. Returns old id -> new id, for the caller to carry to whatever else names those ids.
    static IDMapping migrateLegacyLayoutIDs();

    static constexpr const char* kLayoutsFolderName = "Layouts";
};

} // namespace korvane
