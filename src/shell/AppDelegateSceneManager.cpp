// The scene manager as the application opens it: one window at a time, its model made over the
// application-wide scene store and the layout library, and the callbacks it is given, each holding the
// application weakly.
#include "shell/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "layouts/LayoutLibrary.h"
#include "platform/Platform.h"
#include "ui/scene_manager/SceneManagerPanelController.h"
#include "ui/scene_manager/SceneManagerViewModel.h"

namespace korvane {

void AppDelegate::showSceneManager(const std::optional<std::string>& sceneID,
                                   const std::optional<std::string>& displayUUID) {
    if (sceneManagerPanelController_) {
        sceneManagerPanelController_->show(sceneID, displayUUID);
        return;
    }

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    platform::Platform& platform = platform_;
    SceneManagerViewModel::Services services;
    // Without a store the window still opens; it lists nothing and its actions do nothing.
    services.store = sceneStore();
    services.layoutTemplateResolver = layoutLibrary_;
    services.onRestore = [weak](const WMScene& scene) {
        if (auto self = weak.lock()) self->restoreAndReport(scene, "SceneManagerPanel.onRestore");
    };
    services.onOpenEditor = [weak](const std::string& sceneID, const std::string& displayUUID) {
        if (auto self = weak.lock()) self->showSceneEditor(sceneID, displayUUID);
    };
    services.availableDisplaysProvider = [weak, &platform] {
        std::vector<SceneManagerDisplay> displays;
        if (auto self = weak.lock())
            for (const auto& uuid : self->availableDisplayUUIDs())
                displays.push_back({uuid, DisplayUtil::displayName(platform.screens(), uuid)});
        return displays;
    };
    services.onSaveAsUserLayout = userLayoutSaver();
    services.onSceneLayoutChanged = sceneLayoutListener();
    services.onSceneDeleted = [weak](const std::string&) {
        // The record no longer names a deleted scene: a prompt still offering it is withdrawn.
        if (auto self = weak.lock()) self->activeSceneMayHaveChanged();
    };

    auto controller = std::make_shared<SceneManagerPanelController>(
        platform_, SceneManagerViewModel::make(platform_, std::move(services)));
    // Inside the window's close: the controller goes now, its window on a later turn of the loop.
    controller->onDidClose = [weak] {
        if (auto self = weak.lock()) self->sceneManagerPanelController_.reset();
    };
    Log::category("SceneManagerPanel").debug("SceneManagerPanelController initialized");
    sceneManagerPanelController_ = controller;
    controller->show(sceneID, displayUUID);
}

void AppDelegate::reloadOpenSceneManager() {
    if (sceneManagerPanelController_) sceneManagerPanelController_->viewModel->reload();
}

std::function<std::optional<std::string>(const ConfigZoneSet&)> AppDelegate::userLayoutSaver() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    return [weak](const ConfigZoneSet& layout) -> std::optional<std::string> {
        auto self = weak.lock();
        if (!self) return std::nullopt;
        return self->layoutLibrary_->storeUserLayout(layout);
    };
}

std::function<void(const std::string&, const std::string&)> AppDelegate::sceneLayoutListener() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    return [weak](const std::string& sceneID, const std::string& displayUUID) {
        if (auto self = weak.lock()) self->sceneLayoutChanged(sceneID, displayUUID);
    };
}

} // namespace korvane
