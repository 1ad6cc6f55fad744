// The zone highlight's one window, moved from zone to zone and refilled at each show.
#include "ui/overlays/ZoneHighlightController.h"

#include "platform/Platform.h"
#include "ui/overlays/Overlay.h"
#include "ui/overlays/ZoneHighlightFillView.h"

#include <QApplication>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>

namespace korvane {

namespace {

// Where the window cannot be see-through, all of it but the outline is cut away, so that the zone's
// windows stay visible under it.
QRegion outlineRegion(const QRect& rect, double radius, double lineWidth) {
    QPainterPath outer;
    outer.addRoundedRect(QRectF(rect), radius, radius);
    QPainterPath inner;
    inner.addRoundedRect(QRectF(rect).adjusted(lineWidth, lineWidth, -lineWidth, -lineWidth),
                         std::max(0.0, radius - lineWidth), std::max(0.0, radius - lineWidth));
    return QRegion(outer.toFillPolygon().toPolygon()).subtracted(QRegion(inner.toFillPolygon().toPolygon()));
}

} // namespace

// Owns the highlight window; the window goes with it, or with the application should that end first.
class ZoneHighlightController::Window {
  public:
    explicit Window(platform::Screens& screens)
        : widget(new OverlayWindow(screens, "Korvane Zone Highlight")) {
        QWidget* w = widget;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, w, [w] { delete w; });
    }
    ~Window() {
        if (widget && QCoreApplication::instance()) delete widget.data();
    }

    QPointer<OverlayWindow> widget;
    QPointer<ZoneHighlightFillView> fill;
};

ZoneHighlightController::ZoneHighlightController(platform::Platform& platform) : platform_(platform) {}

ZoneHighlightController::~ZoneHighlightController() = default;

void ZoneHighlightController::show(const Rect& frame) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    auto& screens = platform_.screens();
    // Whether a compositing manager runs is asked each time the highlight appears, not as it moves from
    // zone to zone: one may have started or stopped since the last drag, and a window is see-through or
    // shaped from its making on. Kept see-through after its compositor went, it would be a dark slab
    // hiding the zone's windows.
    if (window_ && window_->widget && !window_->widget->isVisible() &&
        window_->widget->isTranslucent() != screens.isCompositing())
        window_.reset();
    if (!window_ || !window_->widget) window_ = std::make_unique<Window>(screens);
    OverlayWindow* window = window_->widget;

    placeOnScreen(screens, *window, frame);
    delete window_->fill.data();
    auto* fill = new ZoneHighlightFillView(window);
    fill->cornerRadius = kCornerRadius;
    fill->setGeometry(window->rect());
    fill->show();
    window_->fill = fill;
    if (!window->isTranslucent())
        window->setMask(outlineRegion(window->rect(), kCornerRadius, ZoneHighlightFillView::kLineWidth));

    // A window that shows already keeps its place in the stacking order when it moves: brought to the
    // front, so that a window raised meanwhile does not hide it.
    if (window->isVisible())
        window->raise();
    else
        window->show();
}

void ZoneHighlightController::hide() {
    if (window_ && window_->widget) window_->widget->hide();
}

QWidget* ZoneHighlightController::window() const {
    return window_ ? window_->widget.data() : nullptr;
}

} // namespace korvane
