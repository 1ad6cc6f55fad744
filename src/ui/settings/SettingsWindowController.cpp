// The "Preferences" window. Its pages come with the settings pages; until then the window holds its
// model and an empty content area.
#include "ui/settings/SettingsWindowController.h"

#include "ui/settings/SettingsViewModel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <utility>

namespace korvane {

struct SettingsWindowController::Window {
    QPointer<QWidget> widget;
};

SettingsWindowController::SettingsWindowController(std::shared_ptr<SettingsViewModel> model)
    : viewModel(std::move(model)), window_(std::make_unique<Window>()) {
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                            Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint);
    window_->widget = window;
    // Widgets must go while the application object still exists; the controller may outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                     [window] { delete window; });
    window->setWindowTitle(kTitle);
    window->resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->geometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

SettingsWindowController::~SettingsWindowController() {
    delete window_->widget.data();
}

void SettingsWindowController::showWindow() {
    QWidget* window = window_->widget;
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}

bool SettingsWindowController::isWindowVisible() const {
    return window_->widget && window_->widget->isVisible();
}

QWidget* SettingsWindowController::window() const {
    return window_->widget;
}

} // namespace korvane
