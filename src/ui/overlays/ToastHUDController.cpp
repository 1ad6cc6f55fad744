// The process-wide toast: a pill per display, closed by a one-shot timer or by the next toast there.
#include "ui/overlays/ToastHUDController.h"

#include "app/DisplayUtil.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"
#include "ui/overlays/Overlay.h"
#include "ui/overlays/SceneNameInWindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace korvane {

namespace {

platform::ProcessWide<ToastHUDController> gShared;

constexpr double kCornerRadius = ToastHUDController::kHeight / 2.0;

QPainterPath pill(const QRect& rect) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), kCornerRadius, kCornerRadius);
    return path;
}

// The dark pill. Without a compositing manager the window cannot be see-through: it is cut to the
// pill's shape instead, and painted opaque.
class ToastPanel final : public OverlayWindow {
  public:
    explicit ToastPanel(platform::Screens& screens) : OverlayWindow(screens, "Korvane Toast") {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(pill(rect()), QColor(28, 28, 30, isTranslucent() ? 225 : 255));
    }
};

// The label's font: the same for measuring a name and for showing it.
QFont toastFont(const QFont& base) {
    QFont font = base;
    font.setPixelSize(ToastHUDController::kFontSize);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

// One toast window; it goes with its entry, while the application still exists.
class ToastHUDController::Toast {
  public:
    explicit Toast(QWidget* widget) : widget_(widget) {}
    ~Toast() {
        if (!widget_ || !QCoreApplication::instance()) return;
        widget_->hide();
        // Later, not now: a toast may be replaced while the event that asked for it is being handled.
        widget_->deleteLater();
    }
    QWidget* widget() const { return widget_; }

  private:
    QPointer<QWidget> widget_;
};

ToastHUDController::ToastHUDController(platform::Platform& platform) : platform_(platform) {}

ToastHUDController::~ToastHUDController() {
    for (auto& [key, timer] : timers)
        if (timer) timer->invalidate();
}

std::shared_ptr<ToastHUDController> ToastHUDController::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<ToastHUDController>(platform); });
}

void ToastHUDController::setShared(std::shared_ptr<ToastHUDController> instance) {
    gShared.set(std::move(instance));
}

void ToastHUDController::show(const std::string& message, const platform::ScreenInfo& screen,
                              double duration) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    const std::string key = DisplayUtil::displayUUID(screen);
    close(key);

    auto& screens = platform_.screens();
    auto* panel = new ToastPanel(screens);
    // The application may end while a toast shows: the panel goes while the application still exists.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });

    auto* label = new QLabel(QString::fromStdString(message), panel);
    // Messages carry names the user typed, which a guess at markup would change.
    label->setTextFormat(Qt::PlainText);
    label->setFont(toastFont(label->font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignCenter);
    label->adjustSize();

    const int width = label->width() + 2 * kSidePadding;
    label->move(kSidePadding, (kHeight - label->height()) / 2);

    // Its bottom edge kTopOffset below the top of the visible frame.
    panel->setGeometry(topCentredIn(qtGlobalRect(screens, screen.visibleFrame), QSize(width, kHeight),
                                    kTopOffset - kHeight));
    if (!panel->isTranslucent()) panel->setMask(roundedRegion(panel->rect(), kCornerRadius));
    panel->show();
    windows[key] = std::make_unique<Toast>(panel);

    timers[key] = platform_.runLoop().scheduleTimer(seconds(duration), false, platform::RunLoopMode::Default,
                                                    [weak = weak_from_this(), key](platform::Timer&) {
                                                        if (auto self = weak.lock()) self->close(key);
                                                    });
}

void ToastHUDController::show(const std::string& before, const std::string& sceneName,
                              const std::string& after, const platform::ScreenInfo& screen, double duration) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    const QFont font = toastFont(QApplication::font("QLabel"));
    const QFontMetrics metrics(font);
    // The pill keeps its side padding to the screen's edges too, where the whole width is taken.
    const int room = qtGlobalRect(platform_.screens(), screen.visibleFrame).width() - 4 * kSidePadding -
                     metrics.horizontalAdvance(QString::fromStdString(before + after));
    show(before + sceneNameInText(sceneName, font, room) + after, screen, duration);
}

QWidget* ToastHUDController::window(const std::string& displayUUID) const {
    auto found = windows.find(displayUUID);
    return found == windows.end() ? nullptr : found->second->widget();
}

void ToastHUDController::close(std::string key) {
    if (auto timer = timers.find(key); timer != timers.end()) {
        if (timer->second) timer->second->invalidate();
        timers.erase(timer);
    }
    windows.erase(key);
}

} // namespace korvane
