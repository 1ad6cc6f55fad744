// Divider handles and the split preview line.
#include "ui/scene_editor/SceneCanvasSplitHandle.h"

#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvane {

namespace {

const QColor kPreviewOrange = QColor::fromRgbF(1.0f, 0.584f, 0.0f, 0.9f);

QRect toQRect(const Rect& r) {
    return QRect(static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(r.minY())),
                 static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

} // namespace

QString sceneCanvasPercent(double share) {
    return QString::asprintf("%.0f%%", share * 100);
}

SceneCanvasSplitHandle::SceneCanvasSplitHandle(SceneCanvasSplitLine line, bool isReadOnly, bool isLargeCanvas,
                                               std::function<void(double)> onDrag, QWidget* parent)
    : QWidget(parent), line_(std::move(line)), isReadOnly_(isReadOnly), isLargeCanvas_(isLargeCanvas),
      onDrag_(std::move(onDrag)), label_(new SceneCanvasPlateLabel({}, parent)) {
    setGeometry(toQRect(line_.hitFrame));
    setAttribute(Qt::WA_Hover);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(isLargeCanvas_ ? 12 : 10);
    label_->setFont(font);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setSceneCanvasTextColour(label_, Qt::white);
    label_->setPlate(QColor(77, 128, 204), 3, QMargins(5, 2, 5, 2));
    label_->hide();
    setReadOnly(isReadOnly);
}

SceneCanvasSplitHandle::~SceneCanvasSplitHandle() {
    if (label_) label_->deleteLater();
}

void SceneCanvasSplitHandle::setLine(SceneCanvasSplitLine line) {
    if (line == line_) return;
    line_ = std::move(line);
    setGeometry(toQRect(line_.hitFrame));
    setReadOnly(isReadOnly_); // the axis, and with it the cursor, may have changed
    updateLabel();
    update();
}

void SceneCanvasSplitHandle::setReadOnly(bool isReadOnly) {
    isReadOnly_ = isReadOnly;
    // The platform shows a widget's cursor while the pointer is over it: the resize cursor on entry and
    // the arrow on exit, as long as the handle may be dragged.
    if (isReadOnly_)
        unsetCursor();
    else
        setCursor(line_.axis == SplitAxis::horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
}

void SceneCanvasSplitHandle::updateLabel() {
    if (!label_) return;
    if (!isHovering_ && !isDragging_) {
        label_->hide();
        return;
    }
    label_->setText(sceneCanvasPercent(line_.absoluteRatio));
    label_->adjustSize();
    const QRect band = geometry();
    QPoint at;
    if (line_.axis == SplitAxis::horizontal) // a vertical divider: the label to its right
        at = QPoint(band.center().x() + 22, band.center().y() - label_->height() / 2);
    else // a horizontal divider: the label above it
        at = QPoint(band.center().x() - label_->width() / 2, band.center().y() - 16 - label_->height());
    label_->move(at);
    label_->show();
    label_->raise();
}

void SceneCanvasSplitHandle::paintEvent(QPaintEvent*) {
    QColor fill = sceneCanvasAccentColor();
    fill.setAlphaF(isReadOnly_ ? 0.35f : (isHovering_ || isDragging_ ? 1.0f : 0.7f));
    const bool stale = barFill_ != fill || barAxis_ != line_.axis;
    barFill_ = fill;
    barAxis_ = line_.axis;
    paintKept(*this, bar_, stale, [&](QPainter& painter) {
        QRectF bar;
        if (line_.axis == SplitAxis::horizontal) {
            const double w = isLargeCanvas_ ? 8 : 6;
            bar = QRectF((width() - w) / 2, 0, w, height());
        } else {
            const double h = isLargeCanvas_ ? 5 : 6;
            bar = QRectF(0, (height() - h) / 2, width(), h);
        }
        painter.setBrush(fill);
        painter.drawRoundedRect(bar, 2, 2);
    });
}

void SceneCanvasSplitHandle::enterEvent(QEnterEvent*) {
    isHovering_ = true;
    updateLabel();
    update();
}

void SceneCanvasSplitHandle::leaveEvent(QEvent*) {
    isHovering_ = false;
    updateLabel();
    update();
}

void SceneCanvasSplitHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressedAt_ = event->position();
    event->accept();
}

void SceneCanvasSplitHandle::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton)) return;
    if (!isDragging_) {
        const QPointF moved = event->position() - *pressedAt_;
        if (std::hypot(moved.x(), moved.y()) < kMinimumDrag) return;
        isDragging_ = true;
        updateLabel();
        update();
    }
    const QPointF inCanvas = mapToParent(event->position());
    const double proposed = line_.proposedRatio(Point{inCanvas.x(), inCanvas.y()});
    // A copy: the canvas answers the drag by laying its dividers out again, this one among them.
    if (auto drag = onDrag_) drag(proposed);
}

void SceneCanvasSplitHandle::mouseReleaseEvent(QMouseEvent*) {
    pressedAt_.reset();
    if (!isDragging_) return;
    isDragging_ = false;
    updateLabel();
    update();
}

SceneCanvasSplitPreview::SceneCanvasSplitPreview(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SceneCanvasSplitPreview::set(SplitAxis axis, double ratio, const Rect& bounds, double absoluteRatio) {
    axis_ = axis;
    ratio_ = std::clamp(ratio, 0.1, 0.9);
    bounds_ = bounds;
    absoluteRatio_ = absoluteRatio;
    update();
}

Rect SceneCanvasSplitPreview::lineRect() const {
    if (axis_ == SplitAxis::vertical) {
        const double y = bounds_.minY() + ratio_ * bounds_.height();
        return Rect{bounds_.minX(), y - 1.5, bounds_.width(), 3};
    }
    const double x = bounds_.minX() + ratio_ * bounds_.width();
    return Rect{x - 1.5, bounds_.minY(), 3, bounds_.height()};
}

QString SceneCanvasSplitPreview::labelText() const {
    return sceneCanvasPercent(absoluteRatio_);
}

void SceneCanvasSplitPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Rect line = lineRect();
    const QPointF offset = -QPointF(pos());
    painter.fillRect(QRectF(line.minX(), line.minY(), line.width(), line.height()).translated(offset),
                     kPreviewOrange);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    painter.setFont(font);
    const QString text = labelText();
    const QSizeF textSize(painter.fontMetrics().horizontalAdvance(text) + 12,
                          painter.fontMetrics().height() + 4);
    const QPointF centre = QPointF(line.midX(), line.midY()) + offset;
    const QPointF labelCentre =
        axis_ == SplitAxis::vertical ? centre + QPointF(0, -18) : centre + QPointF(30, 0);
    const QRectF label(labelCentre - QPointF(textSize.width() / 2, textSize.height() / 2), textSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPreviewOrange);
    painter.drawRoundedRect(label, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(label, Qt::AlignCenter, text);
}

} // namespace korvane
