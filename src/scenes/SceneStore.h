// The saved scenes on disk: one JSON file per scene, the manifest that orders them and the record of
// the active scene, all in the "scenes" folder of the application-support folder.
#pragma once

#include "platform/Time.h"
#include "scenes/SceneManifest.h"
#include "scenes/model/ActiveSceneState.h"
#include "scenes/model/ScreenContext.h"
#include "scenes/model/WMScene.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Platform;
}

// Holds nothing between calls: every operation reads or writes the files as they are at that moment,
// so any number of stores and background readers see the same scenes. Writes come from the main thread;
// the loads may also run on background queues. Every file is written whole and atomically, and the
// bytes of a file that cannot be read are kept beside it ("NAME.unreadable-<stamp>") before anything
// is written over it or removes it.
//
// Scene files that hold a "default" display key fold it into one of the connected screens while they
// are decoded, so every operation that reads scene files takes those screens.
class SceneStore {
  public:
    // The JSON settings of every file of the store: pretty-printed, the keys of every object sorted,
    // dates as ISO 8601 UTC text with whole seconds (which the records write themselves).
    struct Encoder {
        // Text that is not valid UTF-8 is written with U+FFFD in place of each bad byte.
        std::string encode(const nlohmann::ordered_json& value) const;
    };

    static constexpr const char* kManifestFileName = "manifest.json";
    static constexpr const char* kActiveSceneFileName = "active-scene.json";
    static constexpr const char* kBackupFolderName = "backup-v7-migration";

    // Ensures the scenes folder and runs the schema upgrade; neither of them fails the creation. Throws
    // std::filesystem::filesystem_error only when the application-support folder cannot be had.
    SceneStore(platform::Platform& platform, const ScreenContext& screens);
    SceneStore(const SceneStore&) = delete;
    SceneStore& operator=(const SceneStore&) = delete;

    // The application's instance, made on first use with the screens connected then; setShared()
    // installs another (nullptr lets the next shared() make a fresh one).
    static std::shared_ptr<SceneStore> shared();
    static void setShared(std::shared_ptr<SceneStore> instance);

    const std::filesystem::path scenesDirectory;
    const std::string migrationMarkerFileName = "scene-migration-v7-done";

    // Every scene in manifest order. Without a readable manifest: the scene files in file-name order,
    // and a fresh manifest is written; a manifest that is not there yet (a first start) is no error, one
    // that is there and cannot be read is. A listed scene whose file is missing, does not decode or fails
    // the schema check is logged ("Scene file missing: …", "Scene file corrupted: …", "Scene schema
    // invalid: …") and skipped. Never throws.
    std::vector<WMScene> loadAllScenes(const ScreenContext& screens);
    // The scene in "scene-<id>.json"; nothing, silently, for any failure.
    std::optional<WMScene> loadScene(const std::string& id, const ScreenContext& screens) const;
    // The scene named by "active-scene.json"; nothing when there is none or it cannot be loaded.
    std::optional<WMScene> loadActiveScene(const ScreenContext& screens) const;

    // The active scene, or why there is none. A folder without a record, or with one that names no
    // scene or a scene whose file is gone, has no active scene; a record that cannot be read, or that
    // names a scene whose file is there but cannot be loaded, leaves the active scene unreadable, which
    // the user must hear of rather than see nothing restored or updated. Logs nothing.
    struct ActiveSceneLookup {
        std::optional<WMScene> scene;
        // The file that could not be read (the record, or the named scene's file).
        std::optional<std::filesystem::path> unreadableFile;
        // Why, in words for a log line ("does not decode", ...).
        std::string reason;
        // The scene's name as the manifest still lists it, when the manifest names the scene.
        std::optional<std::string> listedName;
    };
    ActiveSceneLookup lookUpActiveScene(const ScreenContext& screens) const;
    // The record of "active-scene.json" itself; nothing, silently, when it cannot be read or decoded.
    std::optional<ActiveSceneState> readActiveState() const;
    // "manifest.json" itself; nothing, silently, when it is missing or cannot be read or decoded.
    std::optional<SceneManifest> readManifest() const;

    // Writes the scene's file (replacing one of the same id), then rebuilds the manifest. Throws
    // SceneSchemaError, an encoding error or std::filesystem::filesystem_error, and then the scene's
    // file is as it was: one written before a failed rebuild is taken back. The scene's dates are the
    // caller's.
    void save(const WMScene& scene, const ScreenContext& screens);
    // Removes the scene's file (a missing one is no error), clears the active-scene record when it named
    // the scene, and rebuilds the manifest. Throws SceneSchemaError for an id that is not UUID text, or
    // std::filesystem::filesystem_error.
    void deleteScene(const std::string& id, const ScreenContext& screens);
    // Records the scene as active since now; whether it exists is not checked. Throws as deleteScene.
    void setActiveScene(const std::string& id);

    // Lists every readable scene file in the manifest. Scenes it listed before keep their relative
    // order, new ones follow, newest first, then by name. A scene file that is there but cannot be read,
    // decoded or pass the schema check keeps the entry the manifest had for it, so that it is listed
    // again once it reads; without one it is left out. Either way an error line names it. Throws
    // std::filesystem::filesystem_error when the folder cannot be listed or the manifest cannot be
    // written.
    SceneManifest rebuildManifest(const ScreenContext& screens);
    // Once per scenes folder, told by its marker: keeps a copy of every decodable scene file in the
    // backup folder (never over an existing copy), rebuilds the manifest and writes the marker. Scene
    // files are not rewritten. Never throws.
    void migrateToV7IfNeeded(const ScreenContext& screens);

    static Encoder makeEncoder() { return Encoder{}; }

    // Id -> index in the previous manifest; of an id listed twice, its first index.
    using PreviousIndex = std::map<std::string, std::size_t>;
    // Whether `a` is listed before `b`: by previous position when there is a previous manifest (an id it
    // lacks counts as last), then the later update first, then by name regardless of case.
    static bool manifestOrder(const SceneManifestEntry& a, const SceneManifestEntry& b,
                              const PreviousIndex& previousIndex);
    static void sortManifestEntries(std::vector<SceneManifestEntry>& entries,
                                    const PreviousIndex& previousIndex);

    // "scene-<id>.json" for an id that sceneFileID() accepts.
    static std::string sceneFileName(const std::string& id);
    // A scene file by its name alone: starts with "scene-" and its extension is exactly "json".
    static bool isSceneFileName(const std::string& fileName);

  private:
    enum class ReadFailure { missing, corrupted, schemaInvalid };
    static const char* describe(ReadFailure failure);

    void ensureScenesDirectory() const;
    // The scene files of the folder in file-name order, hidden files skipped. Throws
    // std::filesystem::filesystem_error when the folder cannot be listed.
    std::vector<std::filesystem::path> sceneFiles() const;
    std::optional<WMScene> decodeScene(std::string bytes, const ScreenContext& screens,
                                       ReadFailure* failure = nullptr) const;
    std::optional<WMScene> readSceneFile(const std::filesystem::path& path, const ScreenContext& screens,
                                         ReadFailure* failure = nullptr) const;
    std::vector<WMScene> scanSceneFiles(const ScreenContext& screens);
    static std::optional<SceneManifest> decodeManifest(std::string bytes);
    static std::optional<ActiveSceneState> decodeActiveState(std::string bytes);
    void writeManifest(const SceneManifest& manifest);
    void writeActiveState(const ActiveSceneState& state);
    // Writes `bytes` over `path` atomically, keeping the bytes there aside first when `readable` refuses
    // them.
    void replaceFile(const std::filesystem::path& path, const std::string& bytes,
                     const std::function<bool(std::string bytes)>& readable);

    platform::Platform& platform_;
};

} // namespace korvane
