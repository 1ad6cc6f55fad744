// The restore heads-up display: a frameless panel that floats above every window on every workspace,
// never takes the focus or a click, and goes by itself.
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include "app/DisplayUtil.h"
#include "core/ScreenSpace.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"
#include "scenes/SceneRestoreEngine.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace korvane {

namespace {

platform::ProcessWide<SceneRestoreHUDController> gShared;

// The window-type property the X11 platform plugin reads when it creates the window: a notification,
// which window managers keep out of task lists and focus, and which the desktop lists on no application
// layer, so that Korvane never sweeps, parks or tracks its own report.
constexpr const char* kXcbWindowTypeProperty = "_q_xcb_wm_window_type";
constexpr int kXcbNotificationType = 0x800;

// A dark rounded panel; translucent only where a compositing manager can show what lies behind it.
class HUDPanel final : public QWidget {
  public:
    explicit HUDPanel(bool translucent)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
          translucent_(translucent) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground, translucent);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(SceneRestoreHUDController::kWidth, SceneRestoreHUDController::kHeight);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor fill(30, 30, 32, translucent_ ? 225 : 255);
        if (!translucent_) {
            painter.fillRect(rect(), fill);
            return;
        }
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        painter.fillPath(path, fill);
    }

  private:
    bool translucent_;
};

QLabel* addLine(QVBoxLayout* layout, const std::string& text, int pixelSize, bool bold, const QColor& color) {
    auto* label = new QLabel;
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    // A long scene or display name is cut short rather than widening the panel.
    const int width = SceneRestoreHUDController::kWidth - 32;
    label->setText(QFontMetrics(font).elidedText(QString::fromStdString(text), Qt::ElideRight, width));
    label->setAlignment(Qt::AlignHCenter);
    layout->addWidget(label);
    return label;
}

} // namespace

SceneRestoreHUDController::SceneRestoreHUDController(platform::Platform& platform) : platform_(platform) {}

SceneRestoreHUDController::~SceneRestoreHUDController() {
    if (hideLater_) hideLater_->cancel();
    if (window_ && QCoreApplication::instance()) delete window_.data();
}

std::shared_ptr<SceneRestoreHUDController> SceneRestoreHUDController::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<SceneRestoreHUDController>(platform); });
}

void SceneRestoreHUDController::setShared(std::shared_ptr<SceneRestoreHUDController> instance) {
    gShared.set(std::move(instance));
}

std::vector<std::string> SceneRestoreHUDController::lines(const SceneRestoreResult& result,
                                                          platform::Screens& screens) {
    std::vector<std::string> out{result.sceneName};
    if (result.permissionDenied) {
        out.push_back("Accessibility permission required");
        return out;
    }
    std::string summary = platform::format("Displays %d of %d · Windows %d of %d", result.appliedDisplays,
                                           result.totalDisplays, result.placedWindows, result.totalHints);
    if (result.parkedWindows > 0) summary += platform::format(" · %d parked", result.parkedWindows);
    out.push_back(summary);
    if (!result.unresolvedDisplays.empty()) {
        std::string names;
        for (const auto& uuid : result.unresolvedDisplays)
            names += (names.empty() ? "" : ", ") + DisplayUtil::displayName(screens, uuid);
        out.push_back("No layout for " + names);
    }
    return out;
}

void SceneRestoreHUDController::show(const SceneRestoreResult& result,
                                     const std::optional<platform::ScreenInfo>& screen) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    dismiss();

    auto& screens = platform_.screens();
    auto* panel = new HUDPanel(screens.isCompositing());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle("Scene Restored");
    // The application may end while a report shows: the panel goes while the application still exists.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(2);
    layout->addStretch();
    const auto text = lines(result, screens);
    for (std::size_t i = 0; i < text.size(); ++i)
        addLine(layout, text[i], i == 0 ? 15 : 12, i == 0,
                i == 0 ? QColor(255, 255, 255) : QColor(210, 210, 215));
    layout->addStretch();

    // The window type must be known before the window exists; a native window brings its handle early.
    panel->setAttribute(Qt::WA_NativeWindow);
    if (QWindow* handle = panel->windowHandle())
        handle->setProperty(kXcbWindowTypeProperty, kXcbNotificationType);
    const auto nativeWindow = static_cast<std::uint64_t>(panel->winId());
    // The desktop marks the window over a connection of its own: the window must exist on the server first.
    QGuiApplication::sync();
    screens.showOnAllWorkspaces(nativeWindow);

    // Centred on the visible part of the screen. Screen frames are bottom-left global; Qt's are top-left
    // and measured from the primary screen's corner, which both spaces share.
    if (auto target = screen ? screen : screens.mainScreen()) {
        const double H = primaryScreenHeight(screens).value_or(target->frame.maxY());
        const Rect v = flipRect(target->visibleFrame, H);
        const QScreen* primary = QGuiApplication::primaryScreen();
        const QPoint origin = primary ? primary->geometry().topLeft() : QPoint();
        const QRect area(origin.x() + static_cast<int>(v.minX()), origin.y() + static_cast<int>(v.minY()),
                         static_cast<int>(v.width()), static_cast<int>(v.height()));
        QRect frame(0, 0, kWidth, kHeight);
        frame.moveCenter(area.center());
        panel->move(frame.topLeft());
    }
    panel->show();
    window_ = panel;

    hideLater_ = platform_.runLoop().postAfter(seconds(kVisibleFor), [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->dismiss();
    });
}

void SceneRestoreHUDController::dismiss() {
    if (hideLater_) hideLater_->cancel();
    hideLater_.reset();
    if (!window_) return;
    // Closing deletes the panel once the current event is done.
    window_->close();
    window_ = nullptr;
}

} // namespace korvane
