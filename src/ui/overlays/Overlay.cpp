// The overlay window's flags and desktop marks, and the one conversion between the platform's screen
// coordinates and the toolkit's.
#include "ui/overlays/Overlay.h"

#include "core/ScreenSpace.h"
#include "platform/Screens.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

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

namespace {

// The screens as the toolkit lays windows out on them. The toolkit keeps each screen's top left corner
// where the window server has it and divides only its size (and every place on it, measured from that
// corner) by the screen's device pixel ratio. Its own sizes are rounded to its pixels (2560 at 1.5 reads as
// 1707, a third of a pixel more than the monitor), so each screen's rectangle in the server's pixels is the
// monitor's own, the platform's screen that has that corner.
std::vector<ScaledScreen> toolkitScreens(platform::Screens& screens) {
    std::vector<Rect> monitors;
    for (const auto& screen : screens.screens())
        monitors.push_back(nativeRect(screens, screen.frame));
    std::vector<ScaledScreen> scaled;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        const Point corner{double(g.x()), double(g.y())};
        Rect native{corner, Size{g.width() * ratio, g.height() * ratio}};
        for (const Rect& monitor : monitors)
            if (monitor.origin == corner) native = monitor;
        scaled.push_back(ScaledScreen{native, corner, ratio});
    }
    return scaled;
}

Rect rectOf(const QRect& r) {
    return Rect{double(r.x()), double(r.y()), double(r.width()), double(r.height())};
}

QRect wholePixels(const Rect& r) {
    const QPoint topLeft(static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(r.minY())));
    const QPoint farCorner(static_cast<int>(std::lround(r.maxX())), static_cast<int>(std::lround(r.maxY())));
    return QRect(topLeft, QSize(farCorner.x() - topLeft.x(), farCorner.y() - topLeft.y()));
}

} // namespace

QRect qtGlobalRect(platform::Screens& screens, const Rect& bottomLeft) {
    return wholePixels(wholeLogicalInside(nativeRect(screens, bottomLeft), toolkitScreens(screens)));
}

Rect platformRect(platform::Screens& screens, const QRect& qtGlobal) {
    return bottomLeftRect(screens, nativeFromLogical(rectOf(qtGlobal), toolkitScreens(screens)));
}

namespace {

// The count of a window's placements through placeOnScreen, kept on the window.
constexpr const char* kPlacement = "korvanePlacement";

// Calls `settle` with the window's frame (bottom-left global) once the window server shows the window,
// looked for every 50 ms over two seconds from the next turn of the loop, so that a caller may show the
// window after asking; nothing once the window has gone.
void whenShown(platform::Screens& screens, const QPointer<QWidget>& window,
               const std::function<void(const Rect& shown)>& settle, int attempt = 0) {
    constexpr int kAttempts = 40;
    constexpr int kIntervalMs = 50;
    if (!window || attempt >= kAttempts) return;
    QTimer::singleShot(attempt == 0 ? 0 : kIntervalMs, window, [&screens, window, settle, attempt] {
        const auto shown = window && window->isVisible()
                               ? screens.windowFrame(static_cast<std::uint64_t>(window->winId()))
                               : std::nullopt;
        if (shown)
            settle(*shown);
        else
            whenShown(screens, window, settle, attempt + 1);
    });
}

} // namespace

void placeOnScreen(platform::Screens& screens, QWidget& window, const Rect& frame) {
    // Each placement supersedes the ones before, whose look once the window shows may still be to come.
    const int placement = window.property(kPlacement).toInt() + 1;
    window.setProperty(kPlacement, placement);
    const QRect logical = qtGlobalRect(screens, frame);
    window.setGeometry(logical);
    // Where the toolkit's pixels make up the rectangle exactly, its own placement is the rectangle.
    if (platformRect(screens, logical) == frame) return;
    QWindow* handle = window.windowHandle();
    if (!handle || !handle->handle()) return;
    // The toolkit's own request, still waiting in its connection, would be carried out after this one.
    QGuiApplication::sync();
    const auto nativeWindow = static_cast<std::uint64_t>(window.winId());
    screens.placeWindow(nativeWindow, frame);
    // The toolkit asks for its size steps again as it shows the window, and the window manager keeps
    // the size it takes in to them: once shown, the window is placed again where it is not at `frame`.
    const QPointer<QWidget> placed(&window);
    whenShown(screens, placed, [&screens, placed, placement, nativeWindow, frame](const Rect& shown) {
        if (placed->property(kPlacement).toInt() == placement && shown != frame)
            screens.placeWindow(nativeWindow, frame);
    });
}

double pixelRatioAt(platform::Screens& screens, const Rect& bottomLeft) {
    const auto scaled = toolkitScreens(screens);
    const Rect native = nativeRect(screens, bottomLeft);
    for (const auto& screen : scaled)
        if (screen.native.contains(native.center())) return screen.ratio;
    return scaled.empty() ? 1.0 : scaled.front().ratio;
}

std::optional<Point> centredOnMainScreen(platform::Screens& screens, const Size& size) {
    const auto main = screens.mainScreen();
    if (!main) return std::nullopt;
    const QPoint centred = centredIn(
        qtGlobalRect(screens, main->visibleFrame),
        QSize(static_cast<int>(std::lround(size.width)), static_cast<int>(std::lround(size.height))));
    return Point{double(centred.x()), double(centred.y())};
}

void openOnMainScreen(platform::Screens& screens, QWidget& window, const QSize& size) {
    const auto main = screens.mainScreen();
    if (!main) {
        window.resize(size);
        return;
    }
    const QRect area = qtGlobalRect(screens, main->visibleFrame);
    const QSize frame = windowManagerFrame(window);
    const QSize fitted = size.boundedTo(area.size() - frame).expandedTo(window.minimumSizeHint());
    window.resize(fitted);
    // One sized down is centred with its frame, which then fills the area from its top.
    window.move(centredIn(area, fitted == size ? fitted : fitted + frame));
}

QWidget* scrolledWhereShort(QWidget* content) {
    auto* area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    // The content's controls take the keyboard, not the frame around them.
    area->setFocusPolicy(Qt::NoFocus);
    return area;
}

void leastSizeWithinMainScreen(platform::Screens& screens, QWidget& window, const QSize& least) {
    // The frame is the server's divided by the scale and rounded, which a pixel more leaves room for.
    const auto main = screens.mainScreen();
    window.setMinimumSize(main ? least.boundedTo(qtGlobalRect(screens, main->visibleFrame).size() -
                                                 windowManagerFrame(window) - QSize(1, 1))
                               : least);
}

QSize windowManagerFrame(const QWidget& window) {
    const QSize frame = window.frameGeometry().size() - window.size();
    return frame.isNull() ? QSize(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight)) : frame;
}

void keepInsideOnceShown(platform::Screens& screens, QWidget& window, const Rect& area) {
    const auto nativeWindow = static_cast<std::uint64_t>(window.winId());
    whenShown(screens, &window, [&screens, nativeWindow, area](const Rect& shown) {
        const Rect bounds = nativeRect(screens, area);
        const Rect frame = nativeRect(screens, shown);
        if (bounds.intersection(frame) == frame) return;
        const Size size{std::min(frame.width(), bounds.width()), std::min(frame.height(), bounds.height())};
        const Point origin{std::clamp(frame.minX(), bounds.minX(), bounds.maxX() - size.width),
                           std::clamp(frame.minY(), bounds.minY(), bounds.maxY() - size.height)};
        screens.placeWindow(nativeWindow, bottomLeftRect(screens, Rect{origin, size}));
    });
}

QPoint centredIn(const QRect& area, const QSize& size) {
    return qtPoint(korvane::centredIn(rectOf(area), Size{double(size.width()), double(size.height())}));
}

QRect topCentredIn(const QRect& area, const QSize& size, int top) {
    return QRect(
        QPoint(area.x() + static_cast<int>(std::lround((area.width() - size.width()) / 2.0)), area.y() + top),
        size);
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
