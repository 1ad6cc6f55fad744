// The "Save Scene" panel: a fixed window, above the others, whose content is the sheet over the model.
#include "ui/scene_manager/SceneSaveWindowController.h"

#include "core/AXUtil.h"
#include "ui/overlays/BringForward.h"
#include "ui/overlays/KeyboardHoldWhileInFront.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_manager/EventWatcher.h"
#include "ui/scene_manager/SceneSaveSheet.h"
#include "ui/scene_manager/SceneSaveViewModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace korvane {

struct SceneSaveWindowController::Window {
    QPointer<QWidget> widget;
    // The name is typed here while the window stays above the others: a window that opens beneath it
    // gets none of it.
    std::unique_ptr<KeyboardHoldWhileInFront> keyboard;
};

SceneSaveWindowController::SceneSaveWindowController(std::shared_ptr<SceneSaveViewModel> model,
                                                     platform::Screens& screens, const Rect& area)
    : viewModel(std::move(model)), window_(std::make_unique<Window>()) {
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                            Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
    window_->widget = window;
    // Widgets must go while the application object still exists; the controller may outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                     [window] { delete window; });
    window->setWindowTitle(kTitle);
    // A screen with fewer of the toolkit's pixels than the sheet (a small or scaled one) gets a window that
    // fits it, title bar and all, in which the sheet scrolls: its buttons stay within reach.
    const QRect shown = qtGlobalRect(screens, area);
    const QSize whole(kWidth, kHeight);
    const bool fits = whole.width() <= shown.width() && whole.height() <= shown.height();
    const QSize frame = windowManagerFrame(*window);
    QSize fitted = whole;
    if (!fits) {
        fitted = whole.boundedTo(shown.size() - frame);
        // Room beside the sheet for its scroll bar, where the screen has it.
        fitted.setWidth(
            std::min(kWidth + window->style()->pixelMetric(QStyle::PM_ScrollBarExtent), shown.width()));
    }
    window->setFixedSize(fitted);
    window->move(centredIn(shown, fits ? fitted : fitted + frame));
    auto* content = new QVBoxLayout(window);
    content->setContentsMargins(0, 0, 0, 0);
    auto* sheet = new SceneSaveSheet(viewModel, window);
    if (fits) {
        content->addWidget(sheet);
    } else {
        auto* scroll = new QScrollArea(window);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(sheet);
        content->addWidget(scroll);
    }
    window_->keyboard = std::make_unique<KeyboardHoldWhileInFront>(viewModel->platform(), AXUtil::shared());
    window->installEventFilter(new EventWatcher(window, QEvent::Close, EventWatcher::Fires::once, [this] {
        window_->keyboard->end();
        if (auto closed = onClose) closed();
    }));
}

// The owner may drop the controller from onClose, inside the window's own close event: the window goes on
// a later turn of the loop.
SceneSaveWindowController::~SceneSaveWindowController() {
    if (QWidget* window = window_->widget) {
        window->hide();
        window->deleteLater();
    }
}

void SceneSaveWindowController::showWindow() {
    QWidget* window = window_->widget;
    if (!window) return;
    bringForward(*window);
    window_->keyboard->hold(window);
}

void SceneSaveWindowController::close() {
    if (QWidget* window = window_->widget) window->close();
}

bool SceneSaveWindowController::isWindowVisible() const {
    return window_->widget && window_->widget->isVisible();
}

QWidget* SceneSaveWindowController::window() const {
    return window_->widget;
}

} // namespace korvane
