// The open scene editor's panels: made per display by the owner, fronted, closed together after asking.
#include "ui/scene_editor/SceneEditorOverlayController.h"

#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/ScreenSpace.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/KeyboardHold.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneEditorCanvasBridge.h"
#include "ui/scene_editor/SceneEditorKeyRouter.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorPanelPool.h"
#include "ui/scene_editor/SceneEditorViewModel.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace korvane {

namespace {

constexpr Nanos kSaveWaitInterval = 50'000'000; // 0.05 s

// "Save Scene Changes?" over a panel, transient for it, which the toolkit centres it over. With no panel
// left to stand over, the toolkit would put it where the pointer is, which may be where no monitor is
// now: it goes to the middle of the main screen as the program's other windows do, placed as it shows,
// once it has the size its texts give it.
class SaveAlert : public QMessageBox {
  public:
    SaveAlert(platform::Screens& screens, QWidget* panel) : QMessageBox(panel), screens_(screens) {}

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (parentWidget()) return;
        if (const auto centred = centredOnMainScreen(screens_, Size{double(width()), double(height())}))
            move(qtPoint(*centred));
    }

  private:
    platform::Screens& screens_;
};

} // namespace

SceneEditorOverlayController::SceneEditorOverlayController(platform::Platform& platform,
                                                           SaveAlertPresenter presenter,
                                                           std::shared_ptr<SceneEditorPanelPool> pool)
    : platform_(platform), presenter_(std::move(presenter)), pool_(std::move(pool)),
      keyboard_(std::make_unique<KeyboardHold>(platform, AXUtil::shared())),
      keys_(std::make_unique<SceneEditorKeyRouter>()) {
    if (!pool_) pool_ = std::make_shared<SceneEditorPanelPool>(platform_.screens());
}

SceneEditorOverlayController::~SceneEditorOverlayController() {
    if (!QCoreApplication::instance()) return;
    returnPanels();
}

void SceneEditorOverlayController::returnPanels() {
    for (auto& [uuid, panel] : overlayPanels)
        pool_->keep(panel);
    overlayPanels.clear();
    for (auto& panel : panelsOfDisplaysGone_)
        pool_->keep(panel);
    panelsOfDisplaysGone_.clear();
}

void SceneEditorOverlayController::coverScreens(const std::vector<platform::ScreenInfo>& screens) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    std::vector<Rect> frames;
    for (const auto& screen : screens)
        frames.push_back(screen.visibleFrame);
    pool_->prepare(frames, SceneEditorPanelPool::Showing::onceTaken);
}

void SceneEditorOverlayController::addPanel(const platform::ScreenInfo& screen,
                                            const std::string& displayUUID, const std::string& displayName) {
    auto bridge = std::make_shared<SceneEditorCanvasBridge>();
    canvasBridges[displayUUID] = bridge;
    // Panels need a widget application; without one the editor is its model and bridges alone.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;

    if (auto old = overlayPanels.find(displayUUID); old != overlayPanels.end()) pool_->keep(old->second);
    keyboard_->begin();
    keys_->begin();
    auto* panel = pool_->take(screen.visibleFrame);
    std::weak_ptr<SceneEditorOverlayController> weak = weak_from_this();
    SceneEditorOverlayRootView::Content content{viewModel,
                                                bridge,
                                                displayUUID,
                                                displayName,
                                                [weak, displayUUID] {
                                                    if (auto self = weak.lock())
                                                        self->requestClose(displayUUID);
                                                },
                                                [weak] {
                                                    if (auto self = weak.lock()) self->didSave();
                                                },
                                                &platform_};
    if (SceneEditorOverlayRootView* root = panel->rootView())
        root->reuse(std::move(content));
    else
        panel->setRootView(new SceneEditorOverlayRootView(std::move(content), panel->blockingView()));
    overlayPanels[displayUUID] = panel;
    panel->show();
    keyboard_->add(panel);
    keys_->add(panel);
}

void SceneEditorOverlayController::closePanelsOfDisplaysGone(
    const std::vector<std::string>& connectedDisplayUUIDs) {
    bool closed = false;
    for (auto it = overlayPanels.begin(); it != overlayPanels.end();) {
        if (std::find(connectedDisplayUUIDs.begin(), connectedDisplayUUIDs.end(), it->first) !=
            connectedDisplayUUIDs.end()) {
            ++it;
            continue;
        }
        if (it->second) {
            it->second->hide();
            panelsOfDisplaysGone_.push_back(it->second);
            closed = true;
        }
        it = overlayPanels.erase(it);
    }
    if (!closed) return;
    if (!isAnyPanelVisible()) {
        if (!anyUnsaved()) {
            close();
            return;
        }
        // Closing now would drop what the user has not saved without a word. The canvases stay behind
        // their hidden panels, able to save, until the user answers.
        heldWithoutPanels_ = true;
        Log::sceneManager.info(
            "Scene Editor: no display of its panels is left; asking about unsaved changes");
        // An alert already waiting is answered with no panel to go back to (see ask).
        if (!asking_) askWithoutPanelsLater();
        return;
    }
    // The keyboard may have been with the panel that closed.
    bringPanelsToFront();
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
    bringPanelsToFront();
}

void SceneEditorOverlayController::bringPanelsToFront() {
    if (viewModel) {
        bringPanelToFront(viewModel->selectedDisplayUUID());
        return;
    }
    for (auto& [uuid, panel] : overlayPanels)
        if (panel) {
            panel->show();
            panel->raise();
            return;
        }
}

void SceneEditorOverlayController::bringPanelToFront(const std::string& displayUUID) {
    SceneEditorOverlayPanel* panel = frontPanel(displayUUID);
    if (!panel) return;
    panel->show();
    panel->raise();
    panel->activateWindow();
    keyboard_->hold(panel);
}

std::string SceneEditorOverlayController::resolveFrontDisplayUUID(const std::string& requested) const {
    const auto hasPanel = [this](const std::string& uuid) {
        auto found = overlayPanels.find(uuid);
        return found != overlayPanels.end() && found->second;
    };
    if (!requested.empty() && hasPanel(requested)) return requested;
    if (viewModel && viewModel->services().availableDisplaysProvider)
        for (const auto& display : viewModel->services().availableDisplaysProvider())
            if (hasPanel(display.uuid)) return display.uuid;
    // The map is ordered by key: its first live panel has the smallest display UUID.
    for (const auto& [uuid, panel] : overlayPanels)
        if (panel) return uuid;
    return requested;
}

SceneEditorOverlayPanel* SceneEditorOverlayController::frontPanel(const std::string& requested) const {
    // Resolving finds a live panel whenever there is one.
    auto found = overlayPanels.find(resolveFrontDisplayUUID(requested));
    return found != overlayPanels.end() ? found->second.data() : nullptr;
}

bool SceneEditorOverlayController::anyUnsaved() const {
    for (const auto& [uuid, bridge] : canvasBridges)
        if (bridge->hasUnsavedChanges()) return true;
    return false;
}

void SceneEditorOverlayController::requestClose(const std::string& askingDisplayUUID) {
    if (!isAnyPanelVisible()) return;
    if (!anyUnsaved()) {
        close();
        return;
    }
    // The user works on the panel that asked, which need not be the display the editor was opened for:
    // the alert stands over it and the keyboard comes back to it.
    ask(!askingDisplayUUID.empty() || !viewModel ? askingDisplayUUID : viewModel->selectedDisplayUUID());
}

void SceneEditorOverlayController::ask(const std::string& asking) {
    // The alert runs a loop of its own, in which the last panels may go.
    asking_ = true;
    const SceneEditorSaveAlertResponse response = showSaveAlert(asking);
    asking_ = false;
    switch (response) {
    case SceneEditorSaveAlertResponse::save:
        askingDisplayUUID_ = asking;
        requestSaveOnAllCanvases();
        waitForSaveThenClose(0);
        break;
    case SceneEditorSaveAlertResponse::discard:
        close();
        break;
    case SceneEditorSaveAlertResponse::cancel:
        // With no panel left there is nothing to go back to, and the edits are not dropped unasked.
        if (heldWithoutPanels_)
            askWithoutPanelsLater();
        else
            bringPanelToFront(asking);
        break;
    }
}

void SceneEditorOverlayController::askWithoutPanelsLater() {
    std::weak_ptr<SceneEditorOverlayController> weak = weak_from_this();
    platform_.runLoop().post([weak] {
        auto self = weak.lock();
        if (self && self->heldWithoutPanels_ && !self->asking_) self->ask({});
    });
}

SceneEditorSaveAlertResponse SceneEditorOverlayController::showSaveAlert(const std::string& overDisplayUUID) {
    QWidget* over = frontPanel(overDisplayUUID);
    if (presenter_) return presenter_(over);
    SaveAlert alert(platform_.screens(), over);
    alert.setIcon(QMessageBox::Warning);
    alert.setWindowTitle(kSaveAlertTitle);
    alert.setText(kSaveAlertTitle);
    alert.setInformativeText(kSaveAlertText);
    QPushButton* save = alert.addButton("Save", QMessageBox::AcceptRole);
    QPushButton* discard = alert.addButton("Discard", QMessageBox::DestructiveRole);
    if (over) alert.addButton("Cancel", QMessageBox::RejectRole);
    alert.setDefaultButton(save);
    // Above the panels, which stay on top of every other window.
    alert.setWindowFlag(Qt::WindowStaysOnTopHint);
    alert.exec();
    if (alert.clickedButton() == save) return SceneEditorSaveAlertResponse::save;
    if (alert.clickedButton() == discard) return SceneEditorSaveAlertResponse::discard;
    return SceneEditorSaveAlertResponse::cancel;
}

void SceneEditorOverlayController::requestSaveOnAllCanvases() {
    for (auto& [uuid, bridge] : canvasBridges)
        if (bridge->hasUnsavedChanges()) bridge->post(SceneEditorCanvasBridge::Command::save);
}

void SceneEditorOverlayController::waitForSaveThenClose(int attempt) {
    if (!isAnyPanelVisible() && !heldWithoutPanels_) return;
    if (!anyUnsaved()) {
        close();
        return;
    }
    if (attempt >= kSaveWaitAttempts && heldWithoutPanels_) {
        Log::sceneManager.error("Scene Editor: unsaved changes of displays that went could not be saved");
        askWithoutPanelsLater();
        return;
    }
    if (attempt >= kSaveWaitAttempts) {
        // A canvas that could not save keeps the editor open with its changes; the user may close
        // again and discard them.
        bringPanelToFront(askingDisplayUUID_);
        return;
    }
    std::weak_ptr<SceneEditorOverlayController> weak = weak_from_this();
    (void)platform_.runLoop().postAfter(kSaveWaitInterval, [weak, attempt] {
        if (auto self = weak.lock()) self->waitForSaveThenClose(attempt + 1);
    });
}

void SceneEditorOverlayController::close() {
    heldWithoutPanels_ = false;
    returnPanels();
    keys_->end();
    keyboard_->end(true);
    canvasBridges.clear();
    viewModel.reset();
    onSave = nullptr;
    if (auto closed = std::move(onDidClose)) {
        onDidClose = nullptr;
        closed();
    }
}

void SceneEditorOverlayController::didSave() {
    if (auto saved = onSave) saved();
}

} // namespace korvane
