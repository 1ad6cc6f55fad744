// Labels and buttons of the scene canvas on rounded plates.
#include "ui/scene_editor/SceneCanvasPlates.h"

#include <QEvent>
#include <QPainter>

namespace korvane {

void setSceneCanvasTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::WindowText) == colour && palette.color(QPalette::ButtonText) == colour)
        return;
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

SceneCanvasPlateLabel::SceneCanvasPlateLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void SceneCanvasPlateLabel::setPlate(const QColor& fill, qreal radius, const QMargins& padding) {
    if (fill == fill_ && radius == radius_ && padding == padding_) return;
    fill_ = fill;
    radius_ = radius;
    padding_ = padding;
    applyPadding();
    update();
}

void SceneCanvasPlateLabel::clearPlate() {
    setPlate(Qt::transparent, 0, QMargins());
}

void SceneCanvasPlateLabel::applyPadding() {
    if (fill_.alpha() == 0) {
        setContentsMargins(padding_);
        return;
    }
    const int x = fontMetrics().horizontalAdvance(QLatin1Char('x'));
    setContentsMargins(padding_ + QMargins(x / 2, 0, x - x / 2, 0));
}

void SceneCanvasPlateLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyPadding();
}

void SceneCanvasPlateLabel::paintEvent(QPaintEvent* event) {
    if (fill_.alpha() > 0) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill_);
        painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
    }
    QLabel::paintEvent(event);
}

SceneCanvasPlateButton::SceneCanvasPlateButton(const QColor& fill, qreal radius, QWidget* parent)
    : QToolButton(parent), fill_(fill), radius_(radius) {}

void SceneCanvasPlateButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill_);
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace korvane
