// The first scene made from the layouts remembered per display.
#include "scenes/SceneMigration.h"

#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "core/AppSupport.h"
#include "core/Log.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/AtomicFile.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"

#include <cstdint>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

void writeMarker(const std::optional<fs::path>& path, const char* outcome) {
    if (!path) return;
    try {
        writeFileAtomically(*path, outcome);
    } catch (const fs::filesystem_error&) {
        // The next start-up asks again; finding the scene then, it records "migrated".
    }
}

} // namespace

SceneMigration::SceneMigration(platform::Platform& platform, ScreenContext screens)
    : platform_(platform), screens_(std::move(screens)) {}

std::optional<fs::path> SceneMigration::markerLocation(const std::optional<fs::path>& given) const {
    if (given) return given;
    try {
        return appSupportDirectory() / kMarkerFileName;
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
}

void SceneMigration::runIfNeeded(SceneStore& store) {
    if (!needsMigration(store)) return;
    try {
        migrate(store);
    } catch (const std::exception& e) {
        Log::sceneManager.error("Scene migration failed: %s", e.what());
    }
}

bool SceneMigration::needsMigration(SceneStore& store, const std::optional<fs::path>& markerPath) {
    const auto marker = markerLocation(markerPath);
    if (!marker) return false;
    std::error_code ec;
    if (fs::exists(*marker, ec) || ec) return false;
    if (!store.loadAllScenes(screens_).empty()) {
        writeMarker(marker, "migrated");
        return false;
    }
    try {
        appSupportDirectory();
    } catch (const fs::filesystem_error&) {
        return false;
    }
    if (!fs::exists(store.scenesDirectory, ec)) return true;
    // Scene files that no scene loaded from are the user's to repair; a new scene beside them would
    // only hide them.
    try {
        for (const auto& entry : fs::directory_iterator(store.scenesDirectory)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("scene-") && name.ends_with(".json")) {
                writeMarker(marker, "skipped");
                return false;
            }
        }
    } catch (const fs::filesystem_error&) {
        return true;
    }
    return true;
}

void SceneMigration::migrate(SceneStore& store, const std::optional<fs::path>& markerPath) {
    // Read as stored, so that start-up hands over nothing but the store and the screens.
    const LayoutSelection selection = LayoutSelectionStore::load();
    const DisplayWorkbenchSet workbenches = DisplayWorkbenchSet::load();
    // A display's selection wins over its workbench; of two workbenches for one display the first wins.
    WMScene::LayoutRefMap refs;
    for (const auto& [display, layoutID] : selection.lastByDisplay)
        if (!layoutID.empty()) refs[display] = layoutID;
    for (const auto& [key, workbench] : workbenches.workbenches)
        if (!workbench.activeTemplateID.empty())
            refs.try_emplace(workbench.displayUUID, workbench.activeTemplateID);
    // A connected display that nothing names shows the 50:50 template, the layout a display without
    // records is given; left out, the scene would leave it unconfigured at every restore.
    for (const auto& screen : screens_.screens)
        refs.try_emplace(DisplayUtil::displayUUID(screen), kBuiltinSplit5050ID);
    const auto displays = static_cast<std::int64_t>(refs.size());

    WMScene scene;
    scene.id = platform_.processInfo().makeUUID();
    scene.name = kSceneName;
    scene.createdAt = platform_.runLoop().wallClock();
    scene.updatedAt = platform_.runLoop().wallClock();
    scene.layoutRefsByDisplay = WMScene::sanitizedLayoutRefs(refs);
    scene.windowHints = WMScene::sanitizedWindowHints({});

    store.save(scene, screens_);
    store.setActiveScene(scene.id);
    writeMarker(markerLocation(markerPath), "done");
    Log::sceneManager.info("Scene migration complete: '%s' with %ld displays", scene.name, displays);
}

} // namespace korvane
