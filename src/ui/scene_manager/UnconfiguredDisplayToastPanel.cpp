// The prompt's panel: window flags, desktop marks, and its shape where windows cannot be see-through.
#include "ui/scene_manager/UnconfiguredDisplayToastPanel.h"

#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_manager/UnconfiguredDisplayToastView.h"

#include <QGuiApplication>
#include <QWindow>

#include <cstdint>

namespace korvane {

UnconfiguredDisplayToastPanel::UnconfiguredDisplayToastPanel(platform::Screens& screens, const QRect& frame)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      translucent_(screens.isCompositing()) {
    setWindowTitle(kTitle);
    // Its buttons answer clicks, but showing it or pressing one must leave the keyboard where it was.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent_);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
    setFixedSize(size());

    // A notification window: kept out of task lists and the focus by the window manager, and out of the
    // windows Korvane tracks, sweeps and parks. The type must be set before the native window exists.
    setAttribute(Qt::WA_NativeWindow);
    if (QWindow* handle = windowHandle()) handle->setProperty(kXcbWindowTypeProperty, kXcbNotificationType);
    const auto nativeWindow = static_cast<std::uint64_t>(winId());
    QGuiApplication::sync();
    screens.showOnAllWorkspaces(nativeWindow);

    if (!translucent_) setMask(roundedRegion(rect(), UnconfiguredDisplayToastView::kCornerRadius));
}

void UnconfiguredDisplayToastPanel::setContentView(UnconfiguredDisplayToastView* view) {
    view_ = view;
    view->setParent(this);
    view->setTranslucent(translucent_);
    view->setGeometry(rect());
    view->setFixedHeight(height());
}

} // namespace korvane
