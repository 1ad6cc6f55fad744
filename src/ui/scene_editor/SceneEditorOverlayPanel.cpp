// The editor's panel per display and its root view.
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include "core/ScreenSpace.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneEditorViewModel.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"
#include "ui/scene_editor/SceneGeometryCanvasView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korvane {

namespace {

// A ring with a gap that turns while the scenes load.
class LoadingSpinner : public QWidget {
  public:
    explicit LoadingSpinner(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
        setFixedSize(28, 28);
        timer_->setInterval(80);
        QObject::connect(timer_, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
    }

  protected:
    // Turning only while on screen: a panel waiting hidden for the next editor keeps its spinner, which
    // must not wake the program meanwhile.
    void showEvent(QShowEvent*) override { timer_->start(); }
    void hideEvent(QHideEvent*) override { timer_->stop(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(rect()).adjusted(3, 3, -3, -3), -angle_ * 16, 270 * 16);
    }

  private:
    QTimer* timer_;
    int angle_ = 0;
};

// Showing a widget asks, at low priority, to paint it: on a panel already on screen the canvas's requests
// reach it only after the frame that shows it and draw it again in a frame of its own. Taken at once they
// join that frame.
void showInNextFrame(QWidget* widget) {
    widget->show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

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
    observe();
    refresh();
}

SceneEditorOverlayRootView::~SceneEditorOverlayRootView() = default;

void SceneEditorOverlayRootView::observe() {
    observation_.reset();
    if (content_.viewModel)
        observation_ = content_.viewModel->subscribe([this](SceneEditorViewModel::Property) { refresh(); });
}

void SceneEditorOverlayRootView::reuse(Content content) {
    content_ = std::move(content);
    canvasOfEarlierEditor_ = canvas_ != nullptr;
    observe();
    refresh();
}

void SceneEditorOverlayRootView::retire() {
    observation_.reset();
    content_ = Content{};
    canvasOfEarlierEditor_ = canvas_ != nullptr;
    refresh();
}

void SceneEditorOverlayRootView::prepareCanvas(platform::Platform& platform) {
    if (canvas_) return;
    SceneGeometryCanvasModel::Inputs inputs;
    inputs.overlayMode = true;
    auto model = SceneGeometryCanvasModel::make(platform, std::move(inputs));
    canvas_ = new SceneGeometryCanvasView(platform, model, this);
    canvas_->setGeometry(rect());
    // Loaded as on screen, without being shown: its one zone gets its cell.
    model->appear();
    canvas_->refresh();
    canvasOfEarlierEditor_ = true;
    spinner_->hide();
    message_->hide();
    canvas_->show();
}

QString SceneEditorOverlayRootView::message() const {
    return message_->isVisibleTo(this) ? message_->text() : QString();
}

void SceneEditorOverlayRootView::refresh() {
    const auto& model = content_.viewModel;
    const WMScene* scene = model ? model->selectedScene() : nullptr;
    const bool loading = !model || model->isLoading();
    // A save reads the scenes again: the canvas this editor shows stays, with its keys, until they are in.
    // Hidden meanwhile, it would flash "Loading" and lose a key typed right after Ctrl+S.
    if (loading && scene && canvas_ && !canvasOfEarlierEditor_ && canvas_->isVisibleTo(this)) return;
    spinner_->setVisible(loading);
    if (loading || !scene) {
        message_->setText(loading ? kLoadingText : kNoSceneText);
        setSceneCanvasTextColour(message_, loading ? QColor(Qt::white) : QColor(255, 255, 255, 230));
        message_->show();
        if (canvas_) canvas_->hide();
        resizeEvent(nullptr);
        return;
    }
    message_->hide();
    if (canvas_ && !canvasOfEarlierEditor_) {
        canvas_->model().setScene(*scene);
        showInNextFrame(canvas_);
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
    inputs.onSceneLayoutChanged = model->services().onSceneLayoutChanged;
    inputs.onRestoreScene = [weakModel](const WMScene& restored) {
        if (auto shared = weakModel.lock())
            if (auto restore = shared->services().onRestore) restore(restored);
    };
    inputs.overlayMode = true;
    inputs.onDone = content_.onDone;
    inputs.canvasBridge = content_.canvasBridge;
    inputs.canvasOfDisplay = [weakModel](const std::string& displayUUID) {
        auto shared = weakModel.lock();
        return shared ? shared->canvas(displayUUID) : nullptr;
    };
    auto canvasModel = SceneGeometryCanvasModel::make(*content_.platform, std::move(inputs));
    model->setCanvas(content_.displayUUID, canvasModel);
    if (canvas_) {
        // The views stay; the model, and so every edit, is the new editor's own.
        canvasOfEarlierEditor_ = false;
        canvas_->setModel(std::move(canvasModel));
    } else {
        canvas_ = new SceneGeometryCanvasView(*content_.platform, std::move(canvasModel), this);
    }
    canvas_->setGeometry(rect());
    showInNextFrame(canvas_);
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

SceneEditorOverlayPanel::SceneEditorOverlayPanel(platform::Screens& screens)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), screens_(screens),
      blockingView_(new SceneEditorBlockingView(this)) {
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_ShowWithoutActivating);

    // Every pixel is the backdrop's: no background of the toolkit's underneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(blockingView_);
    auto* rootLayout = new QVBoxLayout(blockingView_);
    rootLayout->setContentsMargins(0, 0, 0, 0);
}

SceneEditorOverlayPanel::SceneEditorOverlayPanel(platform::Screens& screens, const Rect& visibleFrame)
    : SceneEditorOverlayPanel(screens) {
    cover(visibleFrame);
}

namespace {

// Black at half over an opaque pixel halves each channel; the pixel comes out opaque whatever its top
// byte held.
inline std::uint32_t dimmedToHalf(std::uint32_t pixel) {
    return ((pixel >> 1) & 0x007F7F7Fu) | 0xFF000000u;
}

// A monitor's picture is millions of pixels, taken while the user waits for the editor: four at a time
// where the processor has the vector instructions every x86-64 has, which the compiler does not pick
// for this loop by itself at the optimisation the program is built with.
void dimToHalf(const std::uint32_t* from, std::uint32_t* to, std::size_t count) {
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i channels = _mm_set1_epi32(0x007F7F7F);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= count; i += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i dimmed = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(pixels, 1), channels), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), dimmed);
    }
#endif
    for (; i < count; ++i)
        to[i] = dimmedToHalf(from[i]);
}

} // namespace

bool SceneEditorOverlayPanel::setPicture(const QSize& size, const platform::ScreenPictureView& picture) {
    static_assert(kBackdropAlpha == 0.5, "the backdrop is dimmed by halving");
    if (picture.width != size.width() || picture.areaHeight != size.height() || picture.top < 0 ||
        picture.top + picture.height > size.height())
        return false;
    if (picture.top == 0 && (backdrop_.size() != size || backdrop_.format() != QImage::Format_RGB32))
        backdrop_ = QImage(size, QImage::Format_RGB32);
    // A band whose picture's first band did not fit.
    if (backdrop_.size() != size) return false;
    // 32-bit rows need no padding: both pictures are one run of pixels.
    const std::size_t width = static_cast<std::size_t>(picture.width);
    dimToHalf(picture.pixels,
              reinterpret_cast<std::uint32_t*>(backdrop_.bits()) +
                  static_cast<std::size_t>(picture.top) * width,
              width * static_cast<std::size_t>(picture.height));
    return picture.top + picture.height == size.height();
}

void SceneEditorOverlayPanel::cover(const Rect& visibleFrame) {
    const QRect area = qtGlobalRect(screens_, visibleFrame);
    // The desktop's own picture where it has one, dimmed once as it is copied rather than blended at
    // every paint; else the toolkit's grab of the screen.
    bool filled = false;
    const QSize pixels = pictureSize(screens_, visibleFrame);
    screens_.capture(visibleFrame, [this, &pixels, &filled](const platform::ScreenPictureView& picture) {
        filled = setPicture(pixels, picture);
    });
    if (!filled) {
        backdrop_ = QImage();
        if (QScreen* screen = QGuiApplication::screenAt(area.center())) {
            const QRect local = area.translated(-screen->geometry().topLeft());
            backdrop_ = screen->grabWindow(0, local.x(), local.y(), local.width(), local.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
            auto* pixels = reinterpret_cast<std::uint32_t*>(backdrop_.bits());
            dimToHalf(pixels, pixels, static_cast<std::size_t>(backdrop_.sizeInBytes()) / 4);
        }
    }
    place(visibleFrame);
}

QSize SceneEditorOverlayPanel::pictureSize(platform::Screens& screens, const Rect& visibleFrame) {
    const Rect native = nativeRect(screens, visibleFrame);
    return QSize(static_cast<int>(std::lround(native.width())),
                 static_cast<int>(std::lround(native.height())));
}

void SceneEditorOverlayPanel::coverWithPicture(const Rect& visibleFrame) {
    place(visibleFrame);
}

void SceneEditorOverlayPanel::place(const Rect& visibleFrame) {
    // On every workspace, like the other overlays; unlike them it takes the keyboard, so it keeps the
    // tool window's type rather than a notification's. Said again before every showing: the window
    // manager forgets it when the window is hidden.
    if (!testAttribute(Qt::WA_WState_Created)) {
        setAttribute(Qt::WA_NativeWindow);
        (void)winId();
        // The desktop names the window on a connection of its own, which must find it made.
        QGuiApplication::sync();
    }
    // Over the visible frame to its edges, which the toolkit's own pixels may not make up.
    placeOnScreen(screens_, *this, visibleFrame);
    screens_.showOnAllWorkspaces(static_cast<std::uint64_t>(winId()));
}

void SceneEditorOverlayPanel::setRootView(SceneEditorOverlayRootView* root) {
    releaseRootView();
    rootView_ = root;
    root->setParent(blockingView_);
    blockingView_->layout()->addWidget(root);
    root->show();
}

void SceneEditorOverlayPanel::releaseRootView() {
    if (!rootView_) return;
    blockingView_->layout()->removeWidget(rootView_);
    rootView_->hide();
    rootView_->deleteLater();
    rootView_ = nullptr;
}

void SceneEditorOverlayPanel::paintAhead() {
    QImage ahead(size(), QImage::Format_ARGB32_Premultiplied);
    render(&ahead, QPoint(), QRegion(rect()));
}

void SceneEditorOverlayPanel::letGoWhileHidden() {
    if (!isVisible()) backdrop_ = QImage();
}

void SceneEditorOverlayPanel::takeKey(QKeyEvent& key, const QPoint& pointer) {
    SceneGeometryCanvasView* canvas = rootView_ ? rootView_->canvas() : nullptr;
    if (canvas && canvas->isVisible()) canvas->takeKey(key, pointer);
}

void SceneEditorOverlayPanel::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (isActiveWindow() || QApplication::activeModalWidget() || QApplication::activePopupWidget()) return;
    // A window that is no panel and stays above every other (a switcher) keeps the keyboard; one beneath
    // the panels (the scene manager, which the window manager may hand the focus to) does not.
    QWidget* active = QApplication::activeWindow();
    if (active && !dynamic_cast<SceneEditorOverlayPanel*>(active) &&
        active->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return;
    activateWindow();
}

void SceneEditorOverlayPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (rootView_ && rootView_->canvas()) rootView_->canvas()->closePickers();
}

void SceneEditorOverlayPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (backdrop_.isNull()) {
        painter.fillRect(event->rect(), QColor(14, 14, 15));
    } else {
        // The picture has the server's pixels; the panel is laid out in the toolkit's, fewer of them
        // where the toolkit scales its windows.
        const QRectF shown(event->rect());
        const double sx = backdrop_.width() / std::max(1.0, double(width()));
        const double sy = backdrop_.height() / std::max(1.0, double(height()));
        painter.drawImage(shown, backdrop_,
                          QRectF(shown.x() * sx, shown.y() * sy, shown.width() * sx, shown.height() * sy));
    }
}

} // namespace korvane
