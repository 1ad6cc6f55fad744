// The "Preferences" window: a plain top-level window holding the settings view.
#include "ui/settings/SettingsWindowController.h"

#include "app/PermissionManager.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/BringForward.h"
#include "ui/overlays/Overlay.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsViewModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <utility>

namespace korvane {

struct SettingsWindowController::Window {
    QPointer<QWidget> widget;
    QPointer<SettingsView> view;
};

SettingsWindowController::SettingsWindowController(platform::Platform& platform,
                                                   std::shared_ptr<SettingsViewModel> model,
                                                   std::shared_ptr<PermissionManager> permissionManager)
    : viewModel(std::move(model)), platform_(platform), window_(std::make_unique<Window>()) {
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                            Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint);
    window_->widget = window;
    // Widgets must go while the application object still exists; the controller may outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                     [window] { delete window; });
    window->setWindowTitle(kTitle);
    auto* content = new QVBoxLayout(window);
    content->setContentsMargins(0, 0, 0, 0);
    window_->view = new SettingsView(
        platform, viewModel, permissionManager ? std::move(permissionManager) : PermissionManager::shared());
    // The view scrolls inside the window where the main screen has less room than its least size.
    content->addWidget(scrolledWhereShort(window_->view));
    centreOnMainScreen();
}

SettingsWindowController::~SettingsWindowController() {
    delete window_->widget.data();
}

void SettingsWindowController::showWindow() {
    QWidget* window = window_->widget;
    if (!window) return;
    // The window lives as long as the program while the monitors may be rearranged: each opening centres
    // it on the main screen as it is now. One already open (or minimised) stays where the user has it.
    if (window->isVisible()) {
        bringForward(*window);
        return;
    }
    centreOnMainScreen();
    bringForward(*window);
    if (const auto main = platform_.screens().mainScreen())
        keepInsideOnceShown(platform_.screens(), *window, main->visibleFrame);
}

void SettingsWindowController::centreOnMainScreen() {
    QWidget* window = window_->widget;
    if (!window || !window_->view) return;
    leastSizeWithinMainScreen(platform_.screens(), *window, window_->view->minimumSize());
    openOnMainScreen(platform_.screens(), *window, QSize(kWidth, kHeight));
}

bool SettingsWindowController::isWindowVisible() const {
    return window_->widget && window_->widget->isVisible();
}

QWidget* SettingsWindowController::window() const {
    return window_->widget;
}

SettingsView* SettingsWindowController::view() const {
    return window_->view;
}

} // namespace korvane
