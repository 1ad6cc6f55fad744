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

namespace {

// The window's size and place on the free area it opens on. Held by the watchers of the window's events
// as much as by the controller: the window may see events after the controller has gone.
struct Fitting {
    QPointer<QWidget> window;
    QPointer<SceneSaveSheet> sheet;
    QScrollArea* scroll = nullptr;
    // The free area (the toolkit's global pixels) and the window manager's frame it was fitted with.
    QRect area;
    QSize frame;

    // Sizes the window, frame and all, to the area and centres it there. An area with fewer of the
    // toolkit's pixels than the sheet and its frame (a small or scaled screen) gets a window that fits it,
    // title bar and all, in which the sheet scrolls: its buttons stay within reach.
    void fit(QSize withFrame) {
        if (!window || !sheet) return;
        frame = withFrame;
        const QSize whole(SceneSaveWindowController::kWidth, SceneSaveWindowController::kHeight);
        const QSize room = area.size() - frame;
        const bool fits = whole.width() <= room.width() && whole.height() <= room.height();
        QSize fitted = whole;
        if (!fits) {
            fitted = whole.boundedTo(room);
            // Room beside the sheet for its scroll bar, where the screen has it.
            fitted.setWidth(std::min(whole.width() + window->style()->pixelMetric(QStyle::PM_ScrollBarExtent),
                                     room.width()));
            if (!scroll) {
                scroll = new QScrollArea(window);
                scroll->setFrameShape(QFrame::NoFrame);
                window->layout()->removeWidget(sheet);
                scroll->setWidget(sheet);
                window->layout()->addWidget(scroll);
                sheet->show();
                scroll->show();
            }
        }
        window->setFixedSize(fitted);
        // The window's place is its frame's, so the frame is what is centred.
        window->move(centredIn(area, fitted + frame));
    }
    // Fits the window again once the window manager has framed it with a frame other than the one guessed.
    void refit() {
        if (!window) return;
        const QSize framed = window->frameGeometry().size() - window->size();
        if (!framed.isNull() && framed != frame) fit(framed);
    }
};

} // namespace

struct SceneSaveWindowController::Window {
    QPointer<QWidget> widget;
    std::shared_ptr<Fitting> fitting = std::make_shared<Fitting>();
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
    auto* content = new QVBoxLayout(window);
    content->setContentsMargins(0, 0, 0, 0);
    auto* sheet = new SceneSaveSheet(viewModel, window);
    content->addWidget(sheet);
    const std::shared_ptr<Fitting> fitting = window_->fitting;
    fitting->window = window;
    fitting->sheet = sheet;
    fitting->area = qtGlobalRect(screens, area);
    // Until the window manager has framed the window its frame is a guess; once the frame it gives is
    // known the window is fitted again with it, so that its title bar never hangs off the screen.
    fitting->fit(windowManagerFrame(*window));
    for (QEvent::Type framed : {QEvent::Show, QEvent::Move, QEvent::WindowActivate})
        window->installEventFilter(new EventWatcher(window, framed, EventWatcher::Fires::everyTime,
                                                    [fitting] { fitting->refit(); }));
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
