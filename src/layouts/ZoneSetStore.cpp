// The Layouts folder on disk: bulk reads, display-UUID rewrites and the legacy layout id migration.
#include "layouts/ZoneSetStore.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONFields.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// A layout file as it was found: the older form holds an array of zone sets.
struct LayoutFile {
    bool isArray = false;
    std::vector<ConfigZoneSet> sets;
};

bool isHidden(const fs::path& p) {
    return p.filename().string().starts_with(".");
}

// The extension must be exactly "json": "X.JSON" and "a.json.bak" are not layout files.
bool hasJSONExtension(const fs::path& p) {
    return p.extension() == ".json";
}

// The folder's entries without hidden ones, in file-name order so that every run sees the same order.
std::vector<fs::path> listFolder(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!isHidden(entry.path())) entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return entries;
}

bool existsAt(const fs::path& p) {
    std::error_code ec;
    bool exists = fs::exists(p, ec);
    if (ec) throw fs::filesystem_error("cannot look at the folder", p, ec);
    return exists;
}

// The whole file; a file that cannot be read is an error here, since the caller is walking the folder.
std::string readFile(const fs::path& path) {
    if (auto bytes = readFileIfPresent(path)) return *bytes;
    throw fs::filesystem_error("cannot read the file", path, std::make_error_code(std::errc::io_error));
}

nlohmann::json parseJSON(const std::string& bytes) {
    try {
        return nlohmann::json::parse(bytes);
    } catch (const nlohmann::json::exception& e) {
        throw DecodingError(std::string("The data is not valid JSON: ") + e.what());
    }
}

ConfigZoneSet decodeZoneSet(const nlohmann::json& json) {
    try {
        return ConfigZoneSet::fromJSON(json);
    } catch (const nlohmann::json::exception& e) {
        throw DecodingError(e.what());
    }
}

// An array of zone sets, else one zone set; the error of the single-object attempt otherwise.
LayoutFile decodeLayoutFile(const std::string& bytes) {
    nlohmann::json json = parseJSON(bytes);
    if (json.is_array()) {
        try {
            LayoutFile file{true, {}};
            for (const auto& element : json)
                file.sets.push_back(decodeZoneSet(element));
            return file;
        } catch (const std::runtime_error&) {
            // Not an array of zone sets; try the single form below, which names the error.
        }
    }
    return LayoutFile{false, {decodeZoneSet(json)}};
}

bool hasLegacyID(const std::string& id) {
    return id.starts_with("user.new.") || id.starts_with("user.copy.") || id.starts_with("scene-layout-");
}

} // namespace

// "layout." and the first 8 characters of a fresh UUID, lower-cased. An id that is already taken in
// the folder or in this run is drawn again, so a migrated layout never lands on another's file.
std::string ZoneSetStore::makeLayoutID(const fs::path& folder, const std::set<std::string>& taken) {
    auto& process = platform::Platform::current().processInfo();
    std::string id;
    for (int attempt = 0; attempt < 64; ++attempt) {
        std::string uuid = process.makeUUID();
        std::string hex = uuid.substr(0, 8);
        std::transform(hex.begin(), hex.end(), hex.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        id = "layout." + hex;
        std::error_code ec;
        if (!taken.count(id) && !fs::exists(folder / (id + ".json"), ec)) break;
    }
    return id;
}

fs::path ZoneSetStore::layoutsDirectoryURL() {
    return appSupportDirectory() / kLayoutsFolderName;
}

std::vector<ConfigZoneSet> ZoneSetStore::loadAll() {
    const fs::path folder = layoutsDirectoryURL();
    if (!existsAt(folder)) return {};
    std::vector<ConfigZoneSet> result;
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        try {
            LayoutFile file = decodeLayoutFile(readFile(path));
            result.insert(result.end(), file.sets.begin(), file.sets.end());
        } catch (const std::exception&) {
            // Skipped without a trace: the folder watcher reloads once the file is whole again.
        }
    }
    return result;
}

ZoneSetStore::Remapped ZoneSetStore::remapDisplayUUIDs(const ConfigZoneSet& set, const Transform& transform) {
    Remapped out{set, false};
    if (out.set.displayUUID && !out.set.displayUUID->empty()) {
        std::string mapped = transform(*out.set.displayUUID);
        if (mapped != *out.set.displayUUID) {
            out.set.displayUUID = std::move(mapped);
            out.changed = true;
        }
    }
    if (out.set.zones) {
        for (auto& zone : *out.set.zones) {
            std::string mapped = transform(zone.displayUUID);
            if (mapped != zone.displayUUID) {
                zone.displayUUID = std::move(mapped);
                out.changed = true;
            }
        }
    }
    return out;
}

bool ZoneSetStore::rewriteAll(const Transform& transform) {
    const fs::path folder = layoutsDirectoryURL();
    if (!existsAt(folder)) return false;
    bool wroteAny = false;
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        LayoutFile file = decodeLayoutFile(readFile(path));
        bool changed = false;
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& set : file.sets) {
            Remapped r = remapDisplayUUIDs(set, transform);
            changed = changed || r.changed;
            out.push_back(r.set.toJSON());
        }
        if (!changed) continue;
        writeFileAtomically(path, file.isArray ? out.dump() : out.front().dump());
        wroteAny = true;
    }
    return wroteAny;
}

ZoneSetStore::IDMapping ZoneSetStore::migrateLegacyLayoutIDs() {
    const fs::path folder = layoutsDirectoryURL();
    IDMapping mapping;
    if (!existsAt(folder)) return mapping;
    std::set<std::string> taken;
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        std::string bytes = readFile(path);
        ConfigZoneSet set;
        try {
            set = decodeZoneSet(parseJSON(bytes));
        } catch (const std::exception&) {
            continue; // undecodable, or the older array form: either keeps its ids
        }
        if (!hasLegacyID(set.id)) continue;

        std::string newID = makeLayoutID(folder, taken);
        taken.insert(newID);
        mapping[set.id] = newID;
        set.id = newID;
        const std::string newName = newID + ".json";
        writeFileAtomically(folder / newName, set.toJSON().dump(2));
        if (path.filename() != newName) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    return mapping;
}

} // namespace korvane
