// The Layouts folder on disk: bulk reads, single layouts stored and removed where they are kept,
// display-UUID rewrites and the legacy layout id migration.
#include "layouts/ZoneSetStore.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONEncoder.h"
#include "core/JSONFields.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/StoredJSON.h"
#include "platform/TextCase.h"
#include "platform/UTF8.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <stdexcept>
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

// `decode` of the file's bytes as JSON.
template <class Decode> auto decodeJSON(std::string bytes, Decode&& decode) {
    try {
        return decodeStoredJSON(std::move(bytes), std::forward<Decode>(decode));
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
LayoutFile decodeLayoutFile(std::string bytes) {
    return decodeJSON(std::move(bytes), [](const nlohmann::json& json) {
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
    });
}

// Layout ids come from files and scenes; one that is not a plain file name must not reach the disk,
// and one beginning with "." would make a hidden file that no reader lists.
class UnsafeLayoutIDError : public std::runtime_error {
  public:
    explicit UnsafeLayoutIDError(const std::string& id)
        : std::runtime_error("The layout id " + platform::quoted(id) +
                             " cannot name a file in the Layouts folder") {}
};

void requireSafeLayoutID(const std::string& id) {
    if (!isSafeFileIdentifier(id) || id.starts_with(".")) throw UnsafeLayoutIDError(id);
}

class NoFreeLayoutIDError : public std::runtime_error {
  public:
    explicit NoFreeLayoutIDError(int draws)
        : std::runtime_error("No free layout id after " + std::to_string(draws) + " draws") {}
};

// The file that holds a layout, decoded, and where in it the layout is.
struct HeldLayout {
    fs::path path;
    LayoutFile file;
    std::size_t index = 0;
};

// The first readable layout file, in loadAll's order, holding a layout with this id.
std::optional<HeldLayout> findHolder(const fs::path& folder, const std::string& id) {
    if (!existsAt(folder)) return std::nullopt;
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        LayoutFile file;
        try {
            file = decodeLayoutFile(readStoreFileBytes(path));
        } catch (const std::exception&) {
            continue; // loadAll skips it too, so it holds nothing the application shows
        }
        for (std::size_t i = 0; i < file.sets.size(); ++i)
            if (file.sets[i].id == id) return HeldLayout{path, std::move(file), i};
    }
    return std::nullopt;
}

// Compact, in the form the file was found in.
std::string encodeLayoutFile(const LayoutFile& file) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& set : file.sets)
        out.push_back(set.toJSON());
    return JSONEncoder{}.encode(file.isArray ? out : out.front());
}

bool hasLegacyID(const std::string& id) {
    return id.starts_with("user.new.") || id.starts_with("user.copy.") || id.starts_with("scene-layout-");
}

} // namespace

// "layout." and the first 8 characters of a fresh UUID, lower-cased. An id that is already taken in
// the folder or in this run is drawn again, so a migrated layout never lands on another's file.
std::string ZoneSetStore::makeLayoutID(const fs::path& folder, const std::set<std::string>& taken) {
    auto& process = platform::Platform::current().processInfo();
    constexpr int kDraws = 64;
    for (int attempt = 0; attempt < kDraws; ++attempt) {
        std::string uuid = process.makeUUID();
        std::string id = "layout." + asciiLowercased(uuid.substr(0, 8));
        std::error_code ec;
        if (!taken.count(id) && !fs::exists(folder / (id + ".json"), ec)) return id;
    }
    // Handing back a taken id would have its caller write over another layout's file.
    throw NoFreeLayoutIDError(kDraws);
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
            LayoutFile file = decodeLayoutFile(readStoreFileBytes(path));
            result.insert(result.end(), file.sets.begin(), file.sets.end());
        } catch (const std::exception&) {
            // Skipped without a trace: the folder watcher reloads once the file is whole again.
        }
    }
    return result;
}

fs::path ZoneSetStore::storeLayout(const ConfigZoneSet& set) {
    requireSafeLayoutID(set.id);
    const fs::path folder = layoutsDirectoryURL();
    if (auto held = findHolder(folder, set.id)) {
        // The older array form keeps every other layout of the file in its place.
        held->file.sets[held->index] = set;
        writeFileAtomically(held->path, encodeLayoutFile(held->file));
        return held->path;
    }
    fs::create_directories(folder);
    const fs::path path = folder / (set.id + ".json");
    LayoutFile file{false, {}};
    if (auto existing = readFileIfPresent(path); existing && !existing->empty()) {
        try {
            file = decodeLayoutFile(std::move(*existing));
            file.isArray = true; // the layouts already there stay beside the new one
        } catch (const std::exception&) {
            file = LayoutFile{false, {}};
        }
    }
    file.sets.push_back(set);
    // Encoded before anything is kept or written, so a layout that cannot be stored changes nothing.
    const std::string bytes = encodeLayoutFile(file);
    keepUnreadableFileBeforeWriting(path, [](std::string existing) {
        try {
            decodeLayoutFile(std::move(existing));
            return true;
        } catch (const std::exception&) {
            return false;
        }
    });
    writeFileAtomically(path, bytes);
    return path;
}

std::optional<ZoneSetStore::Removal> ZoneSetStore::removeLayout(const std::string& id) {
    requireSafeLayoutID(id);
    auto held = findHolder(layoutsDirectoryURL(), id);
    if (!held) return std::nullopt;
    held->file.sets.erase(held->file.sets.begin() + static_cast<std::ptrdiff_t>(held->index));
    if (!held->file.sets.empty()) {
        writeFileAtomically(held->path, encodeLayoutFile(held->file));
        return Removal{held->path, false};
    }
    std::error_code ec;
    fs::remove(held->path, ec);
    if (ec) throw fs::filesystem_error("cannot remove the layout file", held->path, ec);
    return Removal{held->path, true};
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

ZoneSetStore::Rewrite ZoneSetStore::rewriteAll(const Transform& transform) {
    const fs::path folder = layoutsDirectoryURL();
    Rewrite outcome;
    if (!existsAt(folder)) return outcome;
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        LayoutFile file;
        try {
            file = decodeLayoutFile(readStoreFileBytes(path));
        } catch (const std::exception& e) {
            // One damaged file must not keep every other one from its new keys, launch after launch.
            outcome.skipped.emplace_back(path, e.what());
            continue;
        }
        bool changed = false;
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& set : file.sets) {
            Remapped r = remapDisplayUUIDs(set, transform);
            changed = changed || r.changed;
            out.push_back(r.set.toJSON());
        }
        if (!changed) continue;
        writeFileAtomically(path, file.isArray ? jsonText(out) : jsonText(out.front()));
        outcome.wroteAny = true;
    }
    return outcome;
}

ZoneSetStore::IDMapping ZoneSetStore::migrateLegacyLayoutIDs() {
    const fs::path folder = layoutsDirectoryURL();
    IDMapping mapping;
    if (!existsAt(folder)) return mapping;
    // A new id must not be one that a layout in another file already carries.
    std::set<std::string> taken;
    for (const auto& set : loadAll())
        taken.insert(set.id);
    for (const auto& path : listFolder(folder)) {
        if (!hasJSONExtension(path)) continue;
        std::string bytes = readStoreFileBytes(path);
        ConfigZoneSet set;
        try {
            set = decodeJSON(std::move(bytes), decodeZoneSet);
        } catch (const std::exception&) {
            continue; // undecodable, or the older array form: either keeps its ids
        }
        if (!hasLegacyID(set.id)) continue;

        std::string newID = makeLayoutID(folder, taken);
        taken.insert(newID);
        mapping[set.id] = newID;
        set.id = newID;
        const std::string newName = newID + ".json";
        writeFileAtomically(folder / newName, jsonText(set.toJSON(), 2));
        if (path.filename() != newName) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    return mapping;
}

} // namespace korvane
