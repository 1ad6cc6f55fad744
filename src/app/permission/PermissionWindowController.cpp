// The permission window's frame: flags, background, dragging and placement.
#include "app/permission/PermissionWindowController.h"

#include "app/permission/PermissionView.h"
#include "platform/Platform.h"
#include "ui/overlays/Overlay.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace korvane {

namespace {

// The dark heads-up panel's colour; see-through only where a compositor blends it with the desktop.
const QColor kPanel(30, 30, 33);
constexpr int kTranslucentAlpha = 224;
constexpr qreal kCornerRadius = 16;

class PermissionPanel final : public QWidget {
  public:
    explicit PermissionPanel(bool translucent)
        : QWidget(nullptr,
                  // A title bar asking for no close, minimise or zoom control, above other windows. Window
                  // managers may draw their buttons all the same (openbox does): zoom then does nothing
                  // for a window of fixed size, and a close is refused below.
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
          translucent_(translucent) {
        if (translucent_) setAttribute(Qt::WA_TranslucentBackground);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        if (!translucent_) {
            p.fillRect(rect(), kPanel);
            return;
        }
        QColor panel = kPanel;
        panel.setAlpha(kTranslucentAlpha);
        p.setBrush(panel);
        p.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    }

    // Anywhere on the background moves the window: the window manager's own move where it offers one,
    // else by following the pointer.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
        event->accept();
        if (windowHandle() && windowHandle()->startSystemMove()) return;
        dragging_ = true;
        grabOffset_ = event->globalPosition().toPoint() - pos();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
        event->accept();
        move(event->globalPosition().toPoint() - grabOffset_);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) dragging_ = false;
        QWidget::mouseReleaseEvent(event);
    }
    // The user cannot close it from the title bar; the manager closes it when both grants are seen. The
    // application's own quit, which first asks every window to close, is let through.
    void closeEvent(QCloseEvent* event) override {
        if (event->spontaneous())
            event->ignore();
        else
            event->accept();
    }

  private:
    bool translucent_;
    bool dragging_ = false;
    QPoint grabOffset_;
};

} // namespace

PermissionWindowController::PermissionWindowController(PermissionManager& manager,
                                                       platform::Platform& platform,
                                                       std::function<void()> terminate) {
    auto* panel = new PermissionPanel(platform.screens().isCompositing());
    window_ = panel;
    // Widgets outlive the application object, and the manager may be held to the end of the process:
    // the window goes while the application still exists.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    panel->setWindowTitle(kTitle);
    panel->resize(400, 400);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new PermissionView(manager, platform.workspace(), std::move(terminate), panel));
    // The content's fixed size decides the window's; the user does not resize it.
    layout->activate();
    panel->setFixedSize(layout->totalMinimumSize());
    // Centred once, on the main screen; where it goes later is the user's choice.
    if (const auto centred =
            centredOnMainScreen(platform.screens(), Size{double(panel->width()), double(panel->height())}))
        panel->move(qtPoint(*centred));
}

PermissionWindowController::~PermissionWindowController() {
    close();
}

void PermissionWindowController::show() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PermissionWindowController::close() {
    if (!window_ || !QCoreApplication::instance()) return;
    window_->hide();
    // Later, not now: a close may be asked for while one of the window's own buttons is still being
    // handled.
    window_->deleteLater();
    window_ = nullptr;
}

void installPermissionWindow(PermissionManager& manager, platform::Platform& platform,
                             std::function<void()> terminate) {
    manager.makePermissionWindow = [&platform, terminate = std::move(terminate)](PermissionManager& owner) {
        return std::make_unique<PermissionWindowController>(owner, platform, terminate);
    };
}

} // namespace korvane
