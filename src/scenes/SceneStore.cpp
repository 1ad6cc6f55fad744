// Reading, saving and deleting scene files and the active-scene record.
#include "scenes/SceneStore.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/Log.h"
#include "platform/AtomicFile.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"
#include "platform/StoredJSON.h"
#include "platform/UTF8.h"
#include "scenes/SceneSchemaError.h"
#include "scenes/model/SceneFileRewriter.h"

#include <algorithm>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

platform::ProcessWide<SceneStore> gShared;

} // namespace

std::string SceneStore::Encoder::encode(const nlohmann::ordered_json& value) const {
    // nlohmann::json keeps object members in a sorted map, so the conversion alone sorts every level.
    return jsonText(nlohmann::json(value), 2);
}

SceneStore::SceneStore(platform::Platform& platform, const ScreenContext& screens)
    : scenesDirectory(appSupportDirectory() / kScenesFolderName), platform_(platform) {
    ensureScenesDirectory();
    migrateToV7IfNeeded(screens);
}

std::shared_ptr<SceneStore> SceneStore::shared() {
    return gShared.get([](platform::Platform& platform) {
        return std::make_shared<SceneStore>(platform, ScreenContext::capture(platform.screens()));
    });
}

void SceneStore::setShared(std::shared_ptr<SceneStore> instance) {
    gShared.set(std::move(instance));
}

std::string SceneStore::sceneFileName(const std::string& id) {
    return "scene-" + sceneFileID(id) + ".json";
}

bool SceneStore::isSceneFileName(const std::string& fileName) {
    return fileName.starts_with("scene-") && fs::path(fileName).extension() == ".json";
}

void SceneStore::ensureScenesDirectory() const {
    // A failure shows up in the first write instead, with the reason of that write.
    std::error_code ec;
    if (!fs::exists(scenesDirectory, ec)) fs::create_directories(scenesDirectory, ec);
}

std::vector<fs::path> SceneStore::sceneFiles() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(scenesDirectory)) {
        const std::string name = entry.path().filename().string();
        // Hidden files, temporary files of atomic writes among them, never start with "scene-".
        if (isSceneFileName(name)) files.push_back(entry.path());
    }
    // The file system lists in no particular order; file names make every scan and rebuild repeatable.
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<WMScene> SceneStore::decodeScene(std::string bytes, const ScreenContext& screens,
                                               ReadFailure* failure) const {
    WMScene scene;
    try {
        scene = decodeStoredJSON(std::move(bytes), [&](const nlohmann::json& json) {
            return WMScene::fromJSON(json, screens, platform_.runLoop().wallClock());
        });
    } catch (const std::exception&) {
        if (failure) *failure = ReadFailure::corrupted;
        return std::nullopt;
    }
    try {
        checkSceneSchema(scene);
    } catch (const SceneSchemaError&) {
        if (failure) *failure = ReadFailure::schemaInvalid;
        return std::nullopt;
    }
    return scene;
}

std::optional<WMScene> SceneStore::readSceneFile(const fs::path& path, const ScreenContext& screens,
                                                 ReadFailure* failure) const {
    auto bytes = readFileIfPresent(path);
    if (!bytes) {
        if (failure) *failure = ReadFailure::missing;
        return std::nullopt;
    }
    return decodeScene(std::move(*bytes), screens, failure);
}

std::optional<WMScene> SceneStore::loadScene(const std::string& id, const ScreenContext& screens) const {
    std::string fileName;
    try {
        fileName = sceneFileName(id);
    } catch (const SceneSchemaError&) {
        return std::nullopt;
    }
    return readSceneFile(scenesDirectory / fileName, screens);
}

const char* SceneStore::describe(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::missing:
        return "is not a readable file";
    case ReadFailure::corrupted:
        return "does not decode";
    case ReadFailure::schemaInvalid:
        return "fails the schema check";
    }
    return "cannot be read";
}

std::vector<WMScene> SceneStore::loadAllScenes(const ScreenContext& screens) {
    auto manifest = readManifest();
    if (!manifest) {
        // Before the first scene is saved there is no manifest at all: the scan writes the first one.
        std::error_code ec;
        if (fs::exists(scenesDirectory / kManifestFileName, ec) || ec)
            Log::sceneManager.error("Failed to load manifest, scanning directory");
        else
            Log::sceneManager.info("No manifest yet, scanning directory");
        return scanSceneFiles(screens);
    }
    std::vector<WMScene> scenes;
    for (const auto& entry : manifest->entries) {
        ReadFailure failure = ReadFailure::missing;
        auto scene = readSceneFile(scenesDirectory / sceneFileName(entry.id), screens, &failure);
        if (scene) {
            scenes.push_back(std::move(*scene));
        } else if (failure == ReadFailure::missing) {
            Log::sceneManager.error("Scene file missing: %s", entry.id);
        } else if (failure == ReadFailure::corrupted) {
            Log::sceneManager.error("Scene file corrupted: %s", entry.id);
        } else {
            Log::sceneManager.error("Scene schema invalid: %s", entry.id);
        }
    }
    return scenes;
}

std::vector<WMScene> SceneStore::scanSceneFiles(const ScreenContext& screens) {
    std::vector<WMScene> scenes;
    try {
        for (const auto& path : sceneFiles())
            if (auto scene = readSceneFile(path, screens)) scenes.push_back(std::move(*scene));
    } catch (const fs::filesystem_error&) {
        return {};
    }
    try {
        rebuildManifest(screens);
    } catch (const std::exception&) {
        // The scenes were read; a manifest that cannot be written is tried again by the next write.
    }
    return scenes;
}

std::optional<WMScene> SceneStore::loadActiveScene(const ScreenContext& screens) const {
    auto state = readActiveState();
    if (!state || !state->activeSceneID) return std::nullopt;
    return loadScene(*state->activeSceneID, screens);
}

SceneStore::ActiveSceneLookup SceneStore::lookUpActiveScene(const ScreenContext& screens) const {
    ActiveSceneLookup lookup;
    const fs::path record = scenesDirectory / kActiveSceneFileName;
    std::error_code ec;
    const bool recorded = fs::exists(record, ec) || ec;
    auto bytes = readFileIfPresent(record);
    const bool read = bytes.has_value(), empty = bytes && bytes->empty();
    std::optional<ActiveSceneState> state = bytes ? decodeActiveState(std::move(*bytes)) : std::nullopt;
    if (!state) {
        // An empty file holds nothing to lose, as every store treats one: no scene is recorded in it.
        if (recorded && !empty) {
            lookup.unreadableFile = record;
            lookup.reason = read ? "does not decode" : "is not a readable file";
        }
        return lookup;
    }
    if (!state->activeSceneID) return lookup;
    const std::string id = *state->activeSceneID; // UUID text, as the record's decoding requires
    const fs::path path = scenesDirectory / sceneFileName(id);
    ReadFailure failure = ReadFailure::missing;
    lookup.scene = readSceneFile(path, screens, &failure);
    // A scene whose file is gone altogether was deleted: there is nothing left to read.
    if (lookup.scene || (failure == ReadFailure::missing && !fs::exists(path, ec) && !ec)) return lookup;
    lookup.unreadableFile = path;
    lookup.reason = describe(failure);
    if (auto manifest = readManifest())
        for (const auto& entry : manifest->entries)
            if (entry.id == id) {
                lookup.listedName = entry.name;
                break;
            }
    return lookup;
}

void SceneStore::save(const WMScene& scene, const ScreenContext& screens) {
    checkSceneSchema(scene);
    WMScene stored = scene;
    stored.id = sceneFileID(scene.id);
    const std::string bytes = makeEncoder().encode(stored.toJSON());
    const fs::path path = scenesDirectory / sceneFileName(stored.id);
    const StoreFile before = readStoreFile(path);
    // The file being replaced may be one that no longer decodes: its bytes are kept, not lost.
    replaceFile(path, bytes,
                [&](std::string existing) { return decodeScene(std::move(existing), screens).has_value(); });
    try {
        rebuildManifest(screens);
    } catch (...) {
        // A scene the manifest cannot list is a save that did not happen: its file would be a scene
        // listed nowhere, and each retry would add another. The file goes back to what it was.
        // What the caller hears of is the manifest's failure, whatever becomes of this.
        std::error_code ec;
        try {
            if (before.state == StoreFile::State::read)
                writeFileAtomically(path, before.bytes);
            else if (before.state == StoreFile::State::missing)
                fs::remove(path, ec);
        } catch (const std::exception& e) {
            Log::sceneManager.error("Could not take back %s: %s", validUTF8(path.string()), e.what());
        }
        throw;
    }
    Log::sceneManager.info("Saved scene: %s (%s)", stored.name, stored.id);
}

void SceneStore::deleteScene(const std::string& id, const ScreenContext& screens) {
    const std::string canonical = sceneFileID(id);
    const fs::path path = scenesDirectory / sceneFileName(canonical);
    std::error_code ec;
    if (fs::exists(path, ec)) {
        // A scene that does not decode is not listed, so its deletion is most likely a mistake.
        keepUnreadableFileBeforeWriting(path, [&](std::string existing) {
            return decodeScene(std::move(existing), screens).has_value();
        });
        fs::remove(path); // throws, and then nothing else happens
    }
    auto state = readActiveState().value_or(ActiveSceneState{});
    if (state.activeSceneID == canonical) writeActiveState(ActiveSceneState{});
    rebuildManifest(screens);
    Log::sceneManager.info("Deleted scene: %s", canonical);
}

void SceneStore::setActiveScene(const std::string& id) {
    ActiveSceneState state;
    state.activeSceneID = sceneFileID(id);
    state.lastSwitchedAt = platform_.runLoop().wallClock();
    writeActiveState(state);
    Log::sceneManager.info("Active scene set: %s", *state.activeSceneID);
}

std::optional<SceneManifest> SceneStore::decodeManifest(std::string bytes) {
    try {
        return decodeStoredJSON(std::move(bytes), SceneManifest::fromJSON);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<ActiveSceneState> SceneStore::decodeActiveState(std::string bytes) {
    try {
        return decodeStoredJSON(std::move(bytes), ActiveSceneState::fromJSON);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<SceneManifest> SceneStore::readManifest() const {
    auto bytes = readFileIfPresent(scenesDirectory / kManifestFileName);
    return bytes ? decodeManifest(std::move(*bytes)) : std::nullopt;
}

std::optional<ActiveSceneState> SceneStore::readActiveState() const {
    auto bytes = readFileIfPresent(scenesDirectory / kActiveSceneFileName);
    return bytes ? decodeActiveState(std::move(*bytes)) : std::nullopt;
}

void SceneStore::writeManifest(const SceneManifest& manifest) {
    replaceFile(scenesDirectory / kManifestFileName, makeEncoder().encode(manifest.toJSON()),
                [](std::string existing) { return decodeManifest(std::move(existing)).has_value(); });
}

void SceneStore::writeActiveState(const ActiveSceneState& state) {
    replaceFile(scenesDirectory / kActiveSceneFileName, makeEncoder().encode(state.toJSON()),
                [](std::string existing) { return decodeActiveState(std::move(existing)).has_value(); });
}

void SceneStore::replaceFile(const fs::path& path, const std::string& bytes,
                             const std::function<bool(std::string bytes)>& readable) {
    // The folder may have been removed while the program ran; writing into it again loses nothing.
    ensureScenesDirectory();
    keepUnreadableFileBeforeWriting(path, readable);
    writeFileAtomically(path, bytes);
}

} // namespace korvane
