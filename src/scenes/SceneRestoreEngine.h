// Applies a saved scene to the displays connected now: checks each display's layout reference, records
// the scene as the active one and lets the application apply the layouts; and restores the active scene
// shortly after launch.
#pragma once

#include "core/ZoneModel.h"
#include "platform/Screens.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class AXUtil;
class SceneStore;
struct WMScene;

namespace platform {
class Platform;
}

// What a restore did, for the restore heads-up display.
struct SceneRestoreResult {
    std::string sceneName{};
    int totalWindows = 0; // the displays considered
    int matchedCount = 0; // = appliedDisplays
    int movedCount = 0;   // = appliedDisplays
    int failedCount = 0;  // the unresolved displays; 1 when access was denied
    double duration = 0;  // seconds
    int totalDisplays = 0;
    int appliedDisplays = 0;
    std::vector<std::string> unresolvedDisplays{}; // ascending
    bool permissionDenied = false;
    int placedWindows = 0;
    int totalHints = 0;
    int parkedWindows = 0;

    friend bool operator==(const SceneRestoreResult&, const SceneRestoreResult&) = default;
};

// Main thread only. One application-wide engine; its deferred work holds it weakly.
class SceneRestoreEngine : public std::enable_shared_from_this<SceneRestoreEngine> {
  public:
    // Turns a trimmed layout reference into a layout for the screen; nothing when it cannot.
    using LayoutResolver = std::function<std::optional<Layout>(const std::string& layoutRef,
                                                               const platform::ScreenInfo& screen)>;

    static std::shared_ptr<SceneRestoreEngine> create(platform::Platform& platform,
                                                      std::shared_ptr<SceneStore> store,
                                                      std::shared_ptr<AXUtil> ax,
                                                      LayoutResolver layoutResolver);

    // Without accessibility trust: the denied result and nothing else. Otherwise every connected display
    // whose reference is missing, blank, a "scene-restore-" or "scene-apply-" placeholder or unknown to
    // the resolver counts as unresolved; the scene is recorded as active (a failed write is dropped)
    // and handed to onAfterRestore, unresolved displays or not.
    SceneRestoreResult restore(const WMScene& scene);
    // With an active scene, restores it from a one-shot timer 1.0 s later (nothing once the engine is
    // gone); without one, says so.
    void restoreActiveSceneOnLaunch();

    LayoutResolver layoutResolver;
    // The application applies the scene's layouts here, once per restore.
    std::function<void(const WMScene&)> onAfterRestore;

    static constexpr double kLaunchRestoreDelay = 1.0; // seconds

  private:
    SceneRestoreEngine(platform::Platform& platform, std::shared_ptr<SceneStore> store,
                       std::shared_ptr<AXUtil> ax, LayoutResolver layoutResolver);

    platform::Platform& platform_;
    std::shared_ptr<SceneStore> store_;
    std::shared_ptr<AXUtil> ax_;
};

} // namespace korvane
