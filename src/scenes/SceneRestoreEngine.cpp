// Restoring a scene on the connected displays, the launch restore of the active scene, and serving one
// newly connected display.
#include "scenes/SceneRestoreEngine.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "scenes/model/WMScene.h"

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

bool isPlaceholderRef(std::string_view ref) {
    return ref.starts_with("scene-restore-") || ref.starts_with("scene-apply-");
}

// The scene's hints for connected displays it gives no layout: the sweep serves none of them, there being
// no zone for them there, yet they are the scene's applications all the same.
int hintsWithoutLayout(const WMScene& scene, const SceneDisplayResolution& resolution) {
    int count = 0;
    for (const auto& uuid : resolution.orderedDisplayUUIDs)
        if (!resolution.layoutRefs.contains(uuid))
            if (auto hints = scene.windowHints.find(uuid); hints != scene.windowHints.end())
                count += static_cast<int>(hints->second.size());
    return count;
}

} // namespace

std::shared_ptr<SceneRestoreEngine> SceneRestoreEngine::create(platform::Platform& platform,
                                                               std::shared_ptr<SceneStore> store,
                                                               std::shared_ptr<AXUtil> ax,
                                                               LayoutResolver layoutResolver) {
    return std::shared_ptr<SceneRestoreEngine>(
        new SceneRestoreEngine(platform, std::move(store), std::move(ax), std::move(layoutResolver)));
}

SceneRestoreEngine::SceneRestoreEngine(platform::Platform& platform, std::shared_ptr<SceneStore> store,
                                       std::shared_ptr<AXUtil> ax, LayoutResolver layoutResolver)
    : layoutResolver(std::move(layoutResolver)), platform_(platform), store_(std::move(store)),
      ax_(std::move(ax)) {}

SceneRestoreEngine::~SceneRestoreEngine() {
    if (sweep_) sweep_->givenUp.cancel();
}

void SceneRestoreEngine::restore(const WMScene& scene, RestoreReport reported,
                                 const std::optional<platform::ScreenInfo>& screen) {
    auto& clock = platform_.runLoop();
    const Nanos start = clock.now();
    SceneRestoreResult result;
    result.sceneName = scene.name;
    if (!platform_.accessibility().isProcessTrusted()) {
        result.duration = toSeconds(clock.now() - start);
        Log::sceneManager.error("Scene Restore denied: no EWMH window manager running");
        result.failedCount = 1;
        result.permissionDenied = true;
        if (reported) reported(result);
        return;
    }

    auto& screens = platform_.screens();
    ScreenContext considered = ScreenContext::capture(screens);
    if (considered.screens.empty()) {
        // Without any screen there is no fallback either: nothing is considered, and the sweep, finding
        // no display, touches no window.
        std::optional<platform::ScreenInfo> fallback = screen ? screen : screens.mainScreen();
        if (fallback) considered.screens.push_back(*fallback);
    }
    if (considered.screens.empty())
        Log::sceneManager.error("Scene Restore: no screen connected; '%s' places no window", scene.name);
    const SceneDisplayResolution resolution = scene.resolveDisplays(considered);

    std::vector<std::string> unresolved;
    for (const auto& candidate : considered.screens) {
        const std::string uuid = DisplayUtil::displayUUID(candidate);
        auto ref = resolution.layoutRefs.find(uuid);
        const std::string trimmed =
            ref == resolution.layoutRefs.end() ? std::string() : trimmingWhitespaceAndNewlines(ref->second);
        const bool resolved = !trimmed.empty() && !isPlaceholderRef(trimmed) && layoutResolver &&
                              layoutResolver(trimmed, candidate).has_value();
        if (!resolved) unresolved.push_back(uuid);
    }

    try {
        store_->setActiveScene(scene.id);
    } catch (const std::exception&) {
        // The layouts still apply; only the record of the active scene is missing.
    }
    if (onAfterRestore) onAfterRestore(scene);

    const int displays = static_cast<int>(considered.screens.size());
    const int withoutLayout = hintsWithoutLayout(scene, resolution);
    sweepWindows(considered.screens, resolution, ParkingScope::everyDisplay,
                 [&clock, start, result, displays, withoutLayout, unresolved = std::move(unresolved),
                  reported = std::move(reported)](const SweepCounts& swept) mutable {
                     // The time the user waited for the windows: the moves included.
                     result.duration = toSeconds(clock.now() - start);
                     const int distinctUnresolved =
                         static_cast<int>(std::set(unresolved.begin(), unresolved.end()).size());
                     result.totalDisplays = displays;
                     result.totalWindows = displays;
                     result.appliedDisplays = std::max(0, displays - distinctUnresolved);
                     result.matchedCount = result.appliedDisplays;
                     result.movedCount = result.appliedDisplays;
                     result.failedCount = static_cast<int>(unresolved.size());
                     result.placedWindows = swept.placed;
                     result.totalHints = swept.totalHints + withoutLayout;
                     result.parkedWindows = swept.parked;
                     result.unstartedApps.assign(swept.unstartedApps.begin(), swept.unstartedApps.end());
                     result.appsWithoutZone = swept.appsWithoutZone + withoutLayout;
                     Log::sceneManager.info(
                         "Scene Restore complete (layout-only): '%s' displays=%ld/%ld unresolved=%ld time=%s",
                         result.sceneName, result.appliedDisplays, displays, unresolved.size(),
                         platform::format("%.0fms", result.duration * 1000));
                     std::sort(unresolved.begin(), unresolved.end());
                     result.unresolvedDisplays = unresolved;
                     if (reported) reported(result);
                 });
}

void SceneRestoreEngine::restoreActiveSceneOnLaunch(const std::optional<platform::ScreenInfo>& screen) {
    auto active = store_->lookUpActiveScene(ScreenContext::capture(platform_.screens()));
    if (active.unreadableFile) {
        Log::sceneManager.error("Active scene cannot be restored on launch: %s %s",
                                active.unreadableFile->string(), active.reason);
        SceneRestoreResult result;
        result.sceneName = active.listedName.value_or("");
        result.failedCount = 1;
        result.sceneUnreadable = true;
        // Reported when the restore would have run, once the desktop has settled after the start.
        platform_.runLoop().scheduleTimer(seconds(kLaunchRestoreDelay), false, platform::RunLoopMode::Default,
                                          [weak = weak_from_this(), result](platform::Timer&) {
                                              auto engine = weak.lock();
                                              if (engine && engine->onLaunchRestoreFailed)
                                                  engine->onLaunchRestoreFailed(result);
                                          });
        return;
    }
    if (!active.scene) {
        Log::sceneManager.info("No active scene to restore on launch");
        return;
    }
    Log::sceneManager.info("Will restore scene '%s' on launch (after delay)", active.scene->name);
    // A launch restore that runs shows no heads-up display; its result is dropped. It restores the scene
    // active when it runs: one the user saved or switched to within the delay is not taken back.
    platform_.runLoop().scheduleTimer(
        seconds(kLaunchRestoreDelay), false, platform::RunLoopMode::Default,
        [weak = weak_from_this(), screen](platform::Timer&) {
            auto engine = weak.lock();
            if (!engine) return;
            if (engine->sweep_ && engine->sweep_->ofRestore) {
                // Taking over would give up the user's restore and the card it is to show, for the
                // same scene once more: that restore made its scene the active one.
                Log::sceneManager.info("Launch restore left out: a restore is under way");
                return;
            }
            if (auto scene =
                    engine->store_->loadActiveScene(ScreenContext::capture(engine->platform_.screens())))
                engine->restore(*scene, {}, screen);
        });
}

void SceneRestoreEngine::applyDisplay(const std::string& displayUUID, const WMScene& scene) {
    if (!platform_.accessibility().isProcessTrusted()) return;
    auto& screens = platform_.screens();
    const auto connected = screens.screens();
    auto found = std::find_if(connected.begin(), connected.end(), [&](const platform::ScreenInfo& s) {
        return DisplayUtil::displayUUID(s) == displayUUID;
    });
    if (found == connected.end()) return;
    const SceneDisplayResolution resolution = scene.resolveDisplays(ScreenContext::capture(screens));
    // Said once the sweep's moves are asked for; their ends are watched as a restore's are.
    sweepWindows({*found}, resolution, ParkingScope::sweptScreens);
    Log::sceneManager.info("Scene restore: applied display '%s' for scene '%s'", displayUUID, scene.name);
}

} // namespace korvane
