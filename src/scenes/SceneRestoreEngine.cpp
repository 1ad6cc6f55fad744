// Restoring a scene's layouts and the launch restore of the active scene.
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
#include <set>
#include <utility>

namespace korvane {

namespace {

bool isPlaceholderRef(std::string_view ref) {
    return ref.starts_with("scene-restore-") || ref.starts_with("scene-apply-");
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

SceneRestoreResult SceneRestoreEngine::restore(const WMScene& scene) {
    auto& clock = platform_.runLoop();
    const Nanos start = clock.now();
    SceneRestoreResult result;
    result.sceneName = scene.name;
    if (!platform_.accessibility().isProcessTrusted()) {
        result.duration = toSeconds(clock.now() - start);
        Log::sceneManager.error("Scene Restore denied: Accessibility permission not granted");
        result.failedCount = 1;
        result.permissionDenied = true;
        return result;
    }

    auto& screens = platform_.screens();
    std::vector<platform::ScreenInfo> considered = screens.screens();
    if (considered.empty())
        if (auto main = screens.mainScreen()) considered.push_back(*main);
    const auto resolution = scene.resolveDisplays(ScreenContext::capture(screens));

    std::vector<std::string> unresolved;
    for (const auto& screen : considered) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        auto ref = resolution.layoutRefs.find(uuid);
        const std::string trimmed =
            ref == resolution.layoutRefs.end() ? std::string() : trimmingWhitespaceAndNewlines(ref->second);
        const bool resolved = !trimmed.empty() && !isPlaceholderRef(trimmed) && layoutResolver &&
                              layoutResolver(trimmed, screen).has_value();
        if (!resolved) unresolved.push_back(uuid);
    }

    try {
        store_->setActiveScene(scene.id);
    } catch (const std::exception&) {
        // The layouts still apply; only the record of the active scene is missing.
    }
    if (onAfterRestore) onAfterRestore(scene);

    result.duration = toSeconds(clock.now() - start);
    const int displays = static_cast<int>(considered.size());
    const int distinctUnresolved = static_cast<int>(std::set(unresolved.begin(), unresolved.end()).size());
    result.totalDisplays = displays;
    result.totalWindows = displays;
    result.appliedDisplays = std::max(0, displays - distinctUnresolved);
    result.matchedCount = result.appliedDisplays;
    result.movedCount = result.appliedDisplays;
    result.failedCount = static_cast<int>(unresolved.size());
    Log::sceneManager.info(
        "Scene Restore complete (layout-only): '%s' displays=%ld/%ld unresolved=%ld time=%s", scene.name,
        result.appliedDisplays, displays, unresolved.size(),
        platform::format("%.0fms", result.duration * 1000));
    std::sort(unresolved.begin(), unresolved.end());
    result.unresolvedDisplays = std::move(unresolved);
    return result;
}

void SceneRestoreEngine::restoreActiveSceneOnLaunch() {
    auto scene = store_->loadActiveScene(ScreenContext::capture(platform_.screens()));
    if (!scene) {
        Log::sceneManager.info("No active scene to restore on launch");
        return;
    }
    Log::sceneManager.info("Will restore scene '%s' on launch (after delay)", scene->name);
    platform_.runLoop().scheduleTimer(seconds(kLaunchRestoreDelay), false, platform::RunLoopMode::Default,
                                      [weak = weak_from_this(), scene = *scene](platform::Timer&) {
                                          // The launch restore shows no heads-up display; its result is
                                          // dropped.
                                          if (auto engine = weak.lock()) engine->restore(scene);
                                      });
}

} // namespace korvane
