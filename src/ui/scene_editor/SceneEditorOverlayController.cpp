// The open scene editor's panels: made per display by the owner, raised together, closed together.
#include "ui/scene_editor/SceneEditorOverlayController.h"

#include "platform/Platform.h"
#include "ui/scene_editor/SceneEditorCanvasBridge.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorViewModel.h"

#include <QApplication>

namespace korvane {

SceneEditorOverlayController::SceneEditorOverlayController(platform::Platform& platform)
    : platform_(platform) {}

SceneEditorOverlayController::~SceneEditorOverlayController() {
    if (!QCoreApplication::instance()) return;
    for (auto& [uuid, panel] : overlayPanels)
        if (panel) {
            panel->hide();
            panel->deleteLater();
        }
}

void SceneEditorOverlayController::addPanel(const platform::ScreenInfo& screen,
                                            const std::string& displayUUID, const std::string& displayName) {
    auto bridge = std::make_shared<SceneEditorCanvasBridge>();
    canvasBridges[displayUUID] = bridge;
    // Panels need a widget application; without one the editor is its model and bridges alone.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;

    auto* panel = new SceneEditorOverlayPanel(platform_.screens(), screen.visibleFrame);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    std::weak_ptr<SceneEditorOverlayController> weak = weak_from_this();
    SceneEditorOverlayRootView::Content content{viewModel,
                                                bridge,
                                                displayUUID,
                                                displayName,
                                                [weak] {
                                                    if (auto self = weak.lock()) self->requestClose();
                                                },
                                                [weak] {
                                                    if (auto self = weak.lock()) self->didSave();
                                                }};
    panel->setRootView(new SceneEditorOverlayRootView(std::move(content), panel->blockingView()));
    if (auto old = overlayPanels.find(displayUUID); old != overlayPanels.end() && old->second)
        old->second->deleteLater();
    overlayPanels[displayUUID] = panel;
    panel->show();
}

bool SceneEditorOverlayController::isAnyPanelVisible() const {
    for (const auto& [uuid, panel] : overlayPanels)
        if (panel && panel->isVisible()) return true;
    return false;
}

void SceneEditorOverlayController::openScene(const std::optional<std::string>& sceneID,
                                             const std::optional<std::string>& displayUUID) {
    if (!viewModel) return;
    if (sceneID) viewModel->selectScene(*sceneID);
    if (displayUUID && !displayUUID->empty()) viewModel->selectDisplay(*displayUUID);
}

void SceneEditorOverlayController::bringPanelsToFront() {
    QPointer<SceneEditorOverlayPanel> key;
    for (auto& [uuid, panel] : overlayPanels) {
        if (!panel) continue;
        panel->show();
        panel->raise();
        if (!key || (viewModel && uuid == viewModel->selectedDisplayUUID())) key = panel;
    }
    if (key) key->activateWindow();
}

void SceneEditorOverlayController::requestClose() {
    if (closed_) return;
    closed_ = true;
    for (auto& [uuid, panel] : overlayPanels)
        if (panel) {
            panel->hide();
            // Later: the Done button that asked is a child of one of them.
            panel->deleteLater();
        }
    overlayPanels.clear();
    if (auto closed = onDidClose) closed();
}

void SceneEditorOverlayController::didSave() {
    if (auto saved = onSave) saved();
}

} // namespace korvane
