// The process-wide restore heads-up display.
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include "platform/ProcessWide.h"
#include "scenes/SceneRestoreEngine.h"

namespace korvane {

namespace {

platform::ProcessWide<SceneRestoreHUDController> gShared;

} // namespace

SceneRestoreHUDController::SceneRestoreHUDController(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<SceneRestoreHUDController> SceneRestoreHUDController::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<SceneRestoreHUDController>(platform); });
}

void SceneRestoreHUDController::setShared(std::shared_ptr<SceneRestoreHUDController> instance) {
    gShared.set(std::move(instance));
}

void SceneRestoreHUDController::show(const SceneRestoreResult&, const std::optional<platform::ScreenInfo>&) {}

} // namespace korvane
