// The highlight's fill and outline.
#include "ui/overlays/ZoneHighlightFillView.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace korvane {

ZoneHighlightFillView::ZoneHighlightFillView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QPainterPath ZoneHighlightFillView::outline() const {
    // Inset by half the line so that the whole line shows: a line on the bounds themselves would lose its
    // outer half, and unevenly so at the rounded corners.
    const double inset = kLineWidth / 2;
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius, cornerRadius);
    return path;
}

void ZoneHighlightFillView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = QApplication::palette().color(QPalette::Highlight);
    const QPainterPath path = outline();
    QColor fill = accent;
    fill.setAlphaF(kFillAlpha);
    painter.fillPath(path, fill);
    QColor stroke = accent;
    // Where nothing behind the window can show through, only the outline is left of the window (its
    // mask) and it is drawn solid, as blending it with the window's own background would grey it.
    if (window()->testAttribute(Qt::WA_TranslucentBackground)) stroke.setAlphaF(kStrokeAlpha);
    painter.strokePath(path, QPen(stroke, kLineWidth));
}

} // namespace korvane
