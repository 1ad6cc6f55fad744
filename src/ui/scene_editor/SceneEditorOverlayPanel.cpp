// The editor's panel per display and its root view.
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneEditorViewModel.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"
#include "ui/scene_editor/SceneGeometryCanvasView.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdint>

namespace korvane {

namespace {

// A ring with a gap that turns while the scenes load.
class LoadingSpinner : public QWidget {
  public:
    explicit LoadingSpinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(28, 28);
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
        timer->start(80);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(rect()).adjusted(3, 3, -3, -3), -angle_ * 16, 270 * 16);
    }

  private:
    int angle_ = 0;
};

} // namespace

void SceneEditorBlockingView::mousePressEvent(QMouseEvent* event) {
    // Taken here: a click on the backdrop must not fall through to a window under the editor.
    event->accept();
}

void SceneEditorBlockingView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void SceneEditorBlockingView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

SceneEditorOverlayRootView::SceneEditorOverlayRootView(Content content, QWidget* parent)
    : QWidget(parent), content_(std::move(content)), message_(new QLabel(this)),
      spinner_(new LoadingSpinner(this)) {
    QFont font = message_->font();
    font.setPixelSize(15);
    message_->setFont(font);
    if (content_.viewModel)
        observation_ = content_.viewModel->subscribe([this](SceneEditorViewModel::Property) { refresh(); });
    refresh();
}

SceneEditorOverlayRootView::~SceneEditorOverlayRootView() = default;

QString SceneEditorOverlayRootView::message() const {
    return message_->isVisibleTo(this) ? message_->text() : QString();
}

void SceneEditorOverlayRootView::refresh() {
    const auto& model = content_.viewModel;
    const WMScene* scene = model ? model->selectedScene() : nullptr;
    const bool loading = !model || model->isLoading();
    spinner_->setVisible(loading);
    if (loading || !scene) {
        message_->setText(loading ? kLoadingText : kNoSceneText);
        message_->setStyleSheet(loading ? "QLabel { color: white; }"
                                        : "QLabel { color: rgba(255, 255, 255, 230); }");
        message_->show();
        if (canvas_) canvas_->hide();
        resizeEvent(nullptr);
        return;
    }
    message_->hide();
    if (canvas_) {
        canvas_->model().setScene(*scene);
        canvas_->show();
        return;
    }
    if (!content_.platform) return;
    SceneGeometryCanvasModel::Inputs inputs;
    inputs.scene = *scene;
    inputs.displayUUID = content_.displayUUID;
    inputs.displayName = content_.displayName;
    inputs.store = model->store();
    inputs.layoutTemplateResolver = model->layoutTemplateResolver();
    std::weak_ptr<SceneEditorViewModel> weakModel = model;
    inputs.onSave = [weakModel, rootSave = content_.onSave] {
        if (auto shared = weakModel.lock()) shared->reload();
        if (rootSave) rootSave();
    };
    inputs.onSaveAsUserLayout = model->services().onSaveAsUserLayout;
    inputs.onRestoreScene = [weakModel](const WMScene& restored) {
        if (auto shared = weakModel.lock())
            if (auto restore = shared->services().onRestore) restore(restored);
    };
    inputs.overlayMode = true;
    inputs.onDone = content_.onDone;
    inputs.canvasBridge = content_.canvasBridge;
    canvas_ = new SceneGeometryCanvasView(
        *content_.platform, SceneGeometryCanvasModel::make(*content_.platform, std::move(inputs)), this);
    canvas_->setGeometry(rect());
    canvas_->show();
}

void SceneEditorOverlayRootView::resizeEvent(QResizeEvent*) {
    message_->adjustSize();
    const int top = (height() - spinner_->height() - 10 - message_->height()) / 2;
    spinner_->move((width() - spinner_->width()) / 2, top);
    message_->move((width() - message_->width()) / 2, spinner_->isVisibleTo(this)
                                                          ? top + spinner_->height() + 10
                                                          : (height() - message_->height()) / 2);
    if (canvas_) canvas_->setGeometry(rect());
}

SceneEditorOverlayPanel::SceneEditorOverlayPanel(platform::Screens& screens, const Rect& visibleFrame)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      blockingView_(new SceneEditorBlockingView(this)) {
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QRect area = qtGlobalRect(screens, visibleFrame);
    if (QScreen* screen = QGuiApplication::screenAt(area.center())) {
        const QRect local = area.translated(-screen->geometry().topLeft());
        backdrop_ = screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
    }
    setGeometry(area);
    blockingView_->setGeometry(rect());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(blockingView_);

    // On every workspace, like the other overlays; unlike them it takes the keyboard, so it keeps the
    // tool window's type rather than a notification's.
    setAttribute(Qt::WA_NativeWindow);
    const auto nativeWindow = static_cast<std::uint64_t>(winId());
    QGuiApplication::sync();
    screens.showOnAllWorkspaces(nativeWindow);
}

void SceneEditorOverlayPanel::setRootView(SceneEditorOverlayRootView* root) {
    rootView_ = root;
    root->setParent(blockingView_);
    auto* layout = new QVBoxLayout(blockingView_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(root);
}

void SceneEditorOverlayPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (backdrop_.isNull())
        painter.fillRect(rect(), QColor(28, 28, 30));
    else
        painter.drawImage(rect(), backdrop_);
    painter.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(kBackdropAlpha * 255)));
}

} // namespace korvane
