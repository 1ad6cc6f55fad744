// Colours, fonts and symbols of the "Save Scene" window.
#include "ui/scene_manager/SceneSaveSheetStyle.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace korvane::savesheet {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QFont systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont captionFont() {
    return systemFont(11);
}

QFont secondCaptionFont() {
    return systemFont(10);
}

QFont secondTitleFont() {
    return systemFont(17, QFont::Bold);
}

void drawDashedApp(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, std::max(1.0, rect.width() / 14));
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double radius = rect.width() * 0.22;
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.restore();
}

void drawPlus(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = rect.center();
    const double arm = rect.width() * 0.25;
    painter.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
    painter.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
    painter.restore();
}

void drawRemoveBadge(QPainter& painter, const QRectF& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(QColor(128, 128, 128), 0.7));
    painter.drawEllipse(rect);
    painter.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = rect.center();
    const double arm = rect.width() * 0.2;
    painter.drawLine(QPointF(c.x() - arm, c.y() - arm), QPointF(c.x() + arm, c.y() + arm));
    painter.drawLine(QPointF(c.x() - arm, c.y() + arm), QPointF(c.x() + arm, c.y() - arm));
    painter.restore();
}

void drawThreeRectangles(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 2));
    painter.setBrush(Qt::NoBrush);
    const double w = rect.width(), h = rect.height(), x = rect.x(), y = rect.y();
    painter.drawRoundedRect(QRectF(x + w * 0.05, y + h * 0.15, w * 0.55, h * 0.7), 3, 3);
    painter.drawRoundedRect(QRectF(x + w * 0.65, y + h * 0.15, w * 0.3, h * 0.32), 3, 3);
    painter.drawRoundedRect(QRectF(x + w * 0.65, y + h * 0.53, w * 0.3, h * 0.32), 3, 3);
    painter.restore();
}

} // namespace korvane::savesheet
