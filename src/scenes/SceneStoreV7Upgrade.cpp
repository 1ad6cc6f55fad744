// The one-time upgrade of a scenes folder written by earlier versions: backups of its scene files and a
// manifest rebuilt from them. Scene files are read in every older form as they are, so none is rewritten.
#include "scenes/SceneStore.h"

#include "core/FileUtil.h"
#include "core/Log.h"
#include "platform/AtomicFile.h"

#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

void writeMarker(const fs::path& path) {
    try {
        writeFileAtomically(path, "done");
    } catch (const fs::filesystem_error&) {
        // Without the marker the next store creation runs the upgrade again, which changes nothing.
    }
}

} // namespace

void SceneStore::migrateToV7IfNeeded(const ScreenContext& screens) {
    const fs::path marker = scenesDirectory / migrationMarkerFileName;
    std::error_code ec;
    if (fs::exists(marker, ec) || ec) return;

    std::vector<fs::path> files;
    try {
        files = sceneFiles();
    } catch (const fs::filesystem_error&) {
        return; // no marker: the next creation tries again
    }
    if (files.empty()) {
        writeMarker(marker);
        return;
    }

    const fs::path backups = scenesDirectory / kBackupFolderName;
    fs::create_directories(backups, ec);
    for (const auto& path : files) {
        auto bytes = readFileIfPresent(path);
        if (!bytes || !decodeScene(*bytes, screens)) continue;
        // A copy left by an interrupted earlier pass is the older one, and stays.
        const fs::path backup = backups / path.filename();
        if (fs::exists(backup, ec) || ec) continue;
        try {
            writeFileAtomically(backup, *bytes);
        } catch (const fs::filesystem_error&) {
        }
    }
    try {
        rebuildManifest(screens);
    } catch (const std::exception&) {
    }
    writeMarker(marker);
    Log::sceneManager.info("Scene migration to v7 complete");
}

} // namespace korvane
