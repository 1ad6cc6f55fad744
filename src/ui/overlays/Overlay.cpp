// The overlay window's flags and desktop marks, and the one conversion of overlay rectangles.
#include "ui/overlays/Overlay.h"

#include "core/ScreenSpace.h"
#include "platform/Screens.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace korvane {

OverlayWindow::OverlayWindow(platform::Screens& screens, const char* title, Qt::WindowFlags extraFlags)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput | extraFlags),
      translucent_(screens.isCompositing()) {
    setWindowTitle(title);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Chosen before the native window exists: the visual with an alpha channel is picked as it is made.
    setAttribute(Qt::WA_TranslucentBackground, translucent_);
    setFocusPolicy(Qt::NoFocus);

    // The window type must be known before the window exists; a native window brings its handle early.
    setAttribute(Qt::WA_NativeWindow);
    if (QWindow* handle = windowHandle()) handle->setProperty(kXcbWindowTypeProperty, kXcbNotificationType);
    const auto nativeWindow = static_cast<std::uint64_t>(winId());
    // The desktop marks the window over a connection of its own: the window must exist on the server
    // first, and the marks must be there before the window manager first sees the window mapped.
    QGuiApplication::sync();
    screens.showOnAllWorkspaces(nativeWindow);
}

QRect qtGlobalRect(platform::Screens& screens, const Rect& bottomLeft) {
    const Rect r = nativeRect(screens, bottomLeft);
    // Whole pixels: the origin rounded, the size rounded, so that neighbouring zones stay neighbours.
    return QRect(static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(r.minY())),
                 static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

QPoint qtPoint(const Point& point) {
    return QPoint(static_cast<int>(std::lround(point.x)), static_cast<int>(std::lround(point.y)));
}

QRegion roundedRegion(const QRect& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

} // namespace korvane
