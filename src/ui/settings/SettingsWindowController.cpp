// The "Preferences" window: a plain top-level window holding the settings view.
#include "ui/settings/SettingsWindowController.h"

#include "app/PermissionManager.h"
#include "core/ScreenSpace.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/BringForward.h"
#include "ui/overlays/Overlay.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsViewModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdint>
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
    auto* fitting = new QScrollArea;
    fitting->setWidget(window_->view);
    fitting->setWidgetResizable(true);
    fitting->setFrameShape(QFrame::NoFrame);
    fitting->setFocusPolicy(Qt::NoFocus);
    content->addWidget(fitting);
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
    keepWithinMainScreen(0);
}

void SettingsWindowController::keepWithinMainScreen(int attempt) {
    // The toolkit places the window in its own pixels, which on a screen that is no whole number of them
    // wide or high may make the frame a pixel larger than the screen: once the server shows the window,
    // its frame is moved and sized inside the main screen's visible frame in the server's pixels.
    constexpr int kAttempts = 40;
    constexpr int kIntervalMs = 50;
    QWidget* window = window_->widget;
    if (!window || !window->isVisible()) return;
    platform::Screens& screens = platform_.screens();
    const auto shown = screens.windowFrame(static_cast<std::uint64_t>(window->winId()));
    if (!shown) {
        if (attempt + 1 < kAttempts)
            QTimer::singleShot(kIntervalMs, window, [this, attempt] { keepWithinMainScreen(attempt + 1); });
        return;
    }
    const auto main = screens.mainScreen();
    if (!main) return;
    const Rect area = nativeRect(screens, main->visibleFrame);
    const Rect frame = nativeRect(screens, *shown);
    if (area.intersection(frame) == frame) return;
    const Size size{std::min(frame.width(), area.width()), std::min(frame.height(), area.height())};
    const Point origin{std::clamp(frame.minX(), area.minX(), area.maxX() - size.width),
                       std::clamp(frame.minY(), area.minY(), area.maxY() - size.height)};
    screens.placeWindow(static_cast<std::uint64_t>(window->winId()),
                        bottomLeftRect(screens, Rect{origin, size}));
}

void SettingsWindowController::centreOnMainScreen() {
    QWidget* window = window_->widget;
    if (!window || !window_->view) return;
    // The view's least size, as far as the main screen's visible frame holds it with the window manager's
    // frame: a screen the toolkit scales may be narrower in its pixels than the view. The frame is the
    // server's divided by the scale and rounded, which a pixel more leaves room for.
    QSize least = window_->view->minimumSize();
    if (const auto main = platform_.screens().mainScreen())
        least = least.boundedTo(qtGlobalRect(platform_.screens(), main->visibleFrame).size() -
                                windowManagerFrame(*window) - QSize(1, 1));
    window->setMinimumSize(least);
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
