// The one-time conversion of the layouts remembered per display (the layout selection and the display
// workbenches) into the first scene, "My Workspace", made the active scene. A marker file in the
// application-support folder records that it has decided, so that it never runs again.
#pragma once

#include "scenes/model/ScreenContext.h"

#include <filesystem>
#include <optional>

namespace korvane {

class SceneStore;

namespace platform {
class Platform;
}

// Main thread only; runs once at start-up, after the scene store is made and before the active scene's
// layouts are applied. The marker holds "done" (converted), "migrated" (scenes existed) or "skipped"
// (scene files existed that did not load); only its existence is tested.
class SceneMigration {
  public:
    static constexpr const char* kMarkerFileName = "scene-migration-d7-done";
    static constexpr const char* kSceneName = "My Workspace";

    // `screens` are the screens connected now: the store folds scene files against them, and each of
    // them that has no layout remembered gets the 50:50 template in the scene.
    SceneMigration(platform::Platform& platform, ScreenContext screens);

    // needsMigration(), then migrate(); a failure of the store is logged ("Scene migration failed: …").
    void runIfNeeded(SceneStore& store);
    // Whether the conversion is to run. Writes the marker when the store holds scenes or scene files.
    // `markerPath` replaces the marker in the application-support folder. Never throws.
    bool needsMigration(SceneStore& store,
                        const std::optional<std::filesystem::path>& markerPath = std::nullopt);
    // Saves "My Workspace" from the layouts as stored now ("layout-selection.json", then
    // "display-workbenches.json"; a file that cannot be read counts as empty): a display's selected layout,
    // else its workbench's template, else, for a connected display, the 50:50 template. Makes it active
    // and writes the marker. Throws what the store throws; a scene saved before a failed activation stays
    // saved, and no marker is written.
    void migrate(SceneStore& store, const std::optional<std::filesystem::path>& markerPath = std::nullopt);

  private:
    std::optional<std::filesystem::path>
    markerLocation(const std::optional<std::filesystem::path>& given) const;

    platform::Platform& platform_;
    ScreenContext screens_;
};

} // namespace korvane
