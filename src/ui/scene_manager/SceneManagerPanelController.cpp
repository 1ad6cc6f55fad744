// The scene manager's window and controller: made, placed, brought forward and closed.
#include "ui/scene_manager/SceneManagerPanelController.h"

#include "core/Log.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/BringForward.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_manager/EventWatcher.h"
#include "ui/scene_manager/SceneManagerPanel.h"
#include "ui/scene_manager/SceneManagerViewModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

const platform::Logger& panelLog() {
    static const platform::Logger log = Log::category("SceneManagerPanel");
    return log;
}

} // namespace

struct SceneManagerPanelController::Window {
    QPointer<QWidget> widget;
    QPointer<SceneManagerPanel> panel;
};

SceneManagerPanelController::SceneManagerPanelController(platform::Platform& platform,
                                                         std::shared_ptr<SceneManagerViewModel> model,
                                                         SceneManagerAlertPresenter presenter)
    : viewModel(std::move(model)), platform_(platform), window_(std::make_unique<Window>()) {
    // Titled, closable and resizable; no minimise button.
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                            Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint);
    window_->widget = window;
    // Widgets must go while the application object still exists; the controller may outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                     [window] { delete window; });
    window->setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    window_->panel = new SceneManagerPanel(platform_.screens(), viewModel, std::move(presenter), window);
    // The panel scrolls inside the window where the main screen has less room than its least size.
    layout->addWidget(scrolledWhereShort(window_->panel));

    // Centred on the visible part of the main screen.
    leastSizeWithinMainScreen(platform_.screens(), *window, QSize(kMinimumWidth, kMinimumHeight));
    openOnMainScreen(platform_.screens(), *window, QSize(kWidth, kHeight));
    window->installEventFilter(new EventWatcher(window, QEvent::Close, EventWatcher::Fires::once, [this] {
        if (auto closed = onDidClose) closed();
    }));
}

// The owner may drop the controller from onDidClose, inside the window's own close event: the window
// goes on a later turn of the loop.
SceneManagerPanelController::~SceneManagerPanelController() {
    if (QWidget* window = window_->widget) {
        window->hide();
        window->deleteLater();
    }
}

void SceneManagerPanelController::show(const std::optional<std::string>& sceneID,
                                       const std::optional<std::string>& displayUUID) {
    panelLog().debug("SceneManagerPanelController.show() called");
    viewModel->reload();
    if (sceneID) viewModel->selectScene(sceneID);
    if (displayUUID) viewModel->selectDisplay(*displayUUID);
    panelLog().debug("About to show window");
    platform_.workspace().activate(::getpid(), platform::kActivateIgnoringOtherApps);
    if (QWidget* window = window_->widget) {
        const bool opening = !window->isVisible();
        bringForward(*window);
        // Where the toolkit's pixels leave its frame a pixel past the main screen's edge.
        if (const auto main = platform_.screens().mainScreen(); opening && main)
            keepInsideOnceShown(platform_.screens(), *window, main->visibleFrame);
    }
    panelLog().debug("Window shown, isVisible: %{bool}d", isWindowVisible());
}

bool SceneManagerPanelController::isWindowVisible() const {
    return window_->widget && window_->widget->isVisible();
}

QWidget* SceneManagerPanelController::window() const {
    return window_->widget;
}

SceneManagerPanel* SceneManagerPanelController::panel() const {
    return window_->panel;
}

} // namespace korvane
