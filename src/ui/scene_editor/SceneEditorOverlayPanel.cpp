// The editor's panel per display: a dimmed backdrop over the visible frame, holding the display's root
// view. The canvas, the layout choice and the application lists grow inside the root view.
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdint>

namespace korvane {

void SceneEditorBlockingView::mousePressEvent(QMouseEvent* event) {
    // Taken here: a click on the backdrop must not fall through to a window under the editor.
    event->accept();
}

SceneEditorOverlayRootView::SceneEditorOverlayRootView(Content content, QWidget* parent)
    : QWidget(parent), content_(std::move(content)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QString::fromStdString(content_.displayName), this);
    QFont font = title->font();
    font.setPixelSize(17);
    font.setBold(true);
    title->setFont(font);
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(palette);
    header->addWidget(title);
    header->addStretch();
    auto* done = new QPushButton(kDoneTitle, this);
    QObject::connect(done, &QPushButton::clicked, this, [this] {
        // A copy: closing the editor takes this view with it.
        if (auto run = content_.onDone) run();
    });
    header->addWidget(done);
    column->addLayout(header);
    column->addStretch();
}

SceneEditorOverlayPanel::SceneEditorOverlayPanel(platform::Screens& screens, const Rect& visibleFrame)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      translucent_(screens.isCompositing()), blockingView_(new SceneEditorBlockingView(this)) {
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent_);
    setGeometry(qtGlobalRect(screens, visibleFrame));
    blockingView_->setGeometry(rect());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(blockingView_);

    // On every workspace, like the other overlays; unlike them it may take the keyboard, so it keeps the
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
    // Black at half strength where the desktop shows through; without blending, the same shade opaque.
    if (translucent_)
        painter.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(kBackdropAlpha * 255)));
    else
        painter.fillRect(rect(), QColor(40, 40, 42));
}

} // namespace korvane
