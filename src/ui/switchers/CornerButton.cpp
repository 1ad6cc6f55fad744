// The corner button's window kind, its place and strip on the main screen, and its drawing.
#include "ui/switchers/CornerButton.h"

#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/switchers/TrayStatusItem.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <cstdint>

namespace korvane {

namespace {

constexpr int kWidth = 30;
constexpr int kHeight = 26;
constexpr int kRightMargin = 8;
// Between the button and its strip's edges: the windows below the strip keep clear of the button.
constexpr int kStripMargin = 2;

// Where the button goes on a main screen of that frame, both in the toolkit's coordinates: a little in
// from the screen's top right corner.
QRect buttonFrame(const QRect& mainScreen) {
    return QRect(mainScreen.x() + mainScreen.width() - kRightMargin - kWidth, mainScreen.y() + kStripMargin,
                 kWidth, kHeight);
}

// The strip it keeps (bottom-left global): the screen's width, from its top edge down past the button. In
// the server's pixels from the screen's own frame, which the toolkit's pixels may not make up.
Rect stripFrame(platform::Screens& screens, const Rect& mainScreen) {
    const double height = (kHeight + 2 * kStripMargin) * pixelRatioAt(screens, mainScreen);
    return Rect{mainScreen.minX(), mainScreen.maxY() - height, mainScreen.width(), height};
}

} // namespace

CornerButton::CornerButton(platform::Screens& screens, platform::NotificationCenter& notifications,
                           std::function<void()> onClick)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      screens_(screens), onClick_(std::move(onClick)) {
    setWindowTitle("Korvane");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    // A dock rather than a window past the window manager: only a managed window's strip is honoured. The
    // type must be known before the window exists; a native window brings its handle early.
    setAttribute(Qt::WA_NativeWindow);
    if (QWindow* handle = windowHandle()) handle->setProperty(kXcbWindowTypeProperty, kXcbDockType);
    // The desktop marks the window over a connection of its own, so the window must exist on the server
    // first: the toolkit waits for the server while it makes the window. No sync of the toolkit's events
    // here: the button is made during start-up, when an event handled early (a quit signal's, say) would
    // act before the main loop runs and be lost.
    const auto nativeWindow = static_cast<std::uint64_t>(winId());
    screens_.showOnAllWorkspaces(nativeWindow);
    screensObserver_ = notifications.addObserver(platform::kScreenParametersDidChange,
                                                 platform::NotificationCenter::Delivery::mainQueue,
                                                 [this](const std::string&, const nlohmann::json&) {
                                                     if (isVisible()) place(false);
                                                 });
}

CornerButton::~CornerButton() = default;

void CornerButton::appear(bool announce) {
    place(announce);
    show();
}

void CornerButton::disappear() {
    hide();
    screens_.reserveTopStrip(static_cast<std::uint64_t>(winId()), Rect{}, true);
}

void CornerButton::place(bool announce) {
    const auto main = screens_.mainScreen();
    if (!main) return;
    // From the screen's frame, not its visible frame: that leaves out the strip itself. Asked again at
    // every change, even where the strip keeps its place in the platform's space (a main screen that
    // moved): the desktop leaves a strip alone that has not moved.
    const QRect screen = qtGlobalRect(screens_, main->frame);
    move(buttonFrame(screen).topLeft());
    screens_.reserveTopStrip(static_cast<std::uint64_t>(winId()), stripFrame(screens_, main->frame),
                             announce);
}

void CornerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(250, 250, 252));
    painter.setPen(QColor(180, 180, 188));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawPixmap(4, 2, TrayStatusItem::statusIcon().pixmap(22, 22));
}

void CornerButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        if (onClick_) onClick_();
}

} // namespace korvane
