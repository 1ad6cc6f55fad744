// What the restore engine asks of the application: a scene's layout reference as a layout for a screen,
// applying the scene's layouts, the frame of a zone, recording a placed window in its zone, taking a
// parked window out of its zone, launching or activating an application that has no window so that a
// window of it lands in the hint's zone, and the sweep's summary. It makes the one application-wide engine
// with these as its callbacks.
#pragma once

#include "core/ZoneModel.h"
#include "platform/Accessibility.h"
#include "platform/Screens.h"
#include "platform/WindowServer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>

namespace korvane {

class AXUtil;
class DisplayLayouts;
class LayoutTemplateResolver;
class MappingTransactionCoordinator;
class MultiDisplayState;
class SceneLaunchQueue;
class SceneRestoreEngine;
class SceneStore;
struct WMScene;
struct WindowHint;

namespace platform {
class Platform;
}

// Main thread only. The engine's callbacks hold it weakly and do nothing once it is gone, except the
// sweep's summary, which needs nothing of it.
class SceneRestoreServices : public std::enable_shared_from_this<SceneRestoreServices> {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<DisplayLayouts> displayLayouts;
        std::shared_ptr<const LayoutTemplateResolver> layouts;
        std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
    };

    static std::shared_ptr<SceneRestoreServices> create(platform::Platform& platform,
                                                        Dependencies dependencies);

    // The engine over `store` and `ax` with every callback set, once, to the members below.
    std::shared_ptr<SceneRestoreEngine> makeEngine(std::shared_ptr<SceneStore> store,
                                                   std::shared_ptr<AXUtil> ax);

    // The layout with that id (built-in templates and their older ids first, then the user layouts) as
    // zones on the screen's visible frame; nothing for an unknown id or a layout without zones.
    std::optional<Layout> resolveSceneLayout(const std::string& ref,
                                             const platform::ScreenInfo& screen) const;
    void sceneDidRestore(const WMScene& scene);
    std::optional<Rect> sceneZoneFrame(const std::string& displayUUID, std::int64_t zoneID) const;
    // The window becomes the top of the zone's stack; a display without zone state records nothing.
    void sceneWindowPlaced(const std::string& displayUUID, WindowID wid, pid_t pid,
                           const platform::AXElement& element, std::int64_t zoneID);
    // Asks the launch queue for a window of the hint's application in its zone: the application is
    // started (or activated) once per zone, one start at a time. False when it cannot be started.
    bool sceneAppLaunchNeeded(const std::string& displayUUID, const WindowHint& hint);
    // The window leaves the zone of whichever display holds it.
    void sceneWindowParked(WindowID wid);
    // Opens an automatic-launch intent for the zone (it lives 8.0 s, for the application's next new
    // window) and answers its id. Then a running application is brought forward where that makes it open
    // a window, or started once more where only a start makes one; one not running is opened in the
    // background. Nothing, the intent cancelled, when the application cannot be started; the log then
    // names it and says why.
    std::optional<std::string> launchAndPlaceApp(const std::string& bundleID, std::int64_t zoneID,
                                                 const std::string& displayUUID);
    static void sceneSweepCompleted(const std::set<WindowID>& placed,
                                    const std::set<std::string>& sceneBundleIDs,
                                    const std::map<pid_t, std::string>& bundleByPID,
                                    const std::set<std::string>& parkedBundleIDs);

    // Whether the latest restore still awaits windows of applications it started.
    bool awaitsLaunchedWindows() const;

    // News of the latest restore's launches, after the restore reported: a window launched for it has
    // been placed in its zone; an application it started ended, or brought no window before its intent
    // ran out; it awaits no more windows.
    std::function<void()> onLaunchedWindowPlaced;
    std::function<void(const std::string& bundleID)> onLaunchedAppNotStarted;
    std::function<void()> onLaunchesEnded;

    static constexpr double kAutoLaunchIntentLifetime = 8.0; // seconds
    static constexpr const char* kAutoLaunchNote = "scene-restore-autolaunch";

  private:
    SceneRestoreServices(platform::Platform& platform, Dependencies dependencies);

    platform::Platform& platform_;
    Dependencies deps_;
    std::shared_ptr<SceneLaunchQueue> launches_;
};

} // namespace korvane
