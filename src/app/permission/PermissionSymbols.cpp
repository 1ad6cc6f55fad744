// Painting the window's symbols on a 24-unit grid scaled to the size asked for.
#include "app/permission/PermissionSymbols.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace korvane::permission {

namespace {

constexpr qreal kGrid = 24.0;

QPixmap blank(int size, qreal scale) {
    QPixmap pixmap(QSize(size, size) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void paintAccessibility(QPainter& p, const QColor& color) {
    p.setPen(QPen(color, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
    p.setBrush(color);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(12, 6.6), 1.9, 1.9);
    p.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(6.8, 9.6), QPointF(17.2, 9.6)); // arms
    p.drawLine(QPointF(12, 9.6), QPointF(12, 13.6));   // body
    p.drawLine(QPointF(12, 13.6), QPointF(9.2, 18.6)); // legs
    p.drawLine(QPointF(12, 13.6), QPointF(14.8, 18.6));
}

void paintScreenRecording(QPainter& p, const QColor& color) {
    QPen dashed(color, 1.6, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
    dashed.setDashPattern({2.2, 1.6});
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 3.5, 18, 13.5), 2.5, 2.5);
    // The badge sits over the screen's corner, cut free of the dashes by a clear ring.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(18, 17.5), 6, 6);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(color, 1.5));
    p.drawEllipse(QPointF(18, 17.5), 4.6, 4.6);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(18, 17.5), 2.5, 2.5);
}

void paintCheckAgain(QPainter& p, const QColor& color) {
    p.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // Most of a circle, open at the top right, running clockwise into the arrow head.
    p.drawArc(QRectF(4, 4, 16, 16), 75 * 16, 300 * 16);
    QPainterPath head;
    head.moveTo(12.2, 1.2);
    head.lineTo(16.6, 4.2);
    head.lineTo(12.2, 7.2);
    p.drawPath(head);
}

void paintPower(QPainter& p, const QColor& color) {
    p.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 5, 16, 16), 125 * 16, 290 * 16);
    p.drawLine(QPointF(12, 2.5), QPointF(12, 11.5));
}

} // namespace

QPixmap symbolPixmap(Symbol symbol, int size, const QColor& color, qreal scale) {
    QPixmap pixmap = blank(size, scale);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kGrid, size / kGrid);
    switch (symbol) {
    case Symbol::accessibility:
        paintAccessibility(p, color);
        break;
    case Symbol::screenRecording:
        paintScreenRecording(p, color);
        break;
    case Symbol::checkAgain:
        paintCheckAgain(p, color);
        break;
    case Symbol::power:
        paintPower(p, color);
        break;
    }
    return pixmap;
}

QIcon symbolIcon(Symbol symbol, int size, const QColor& color) {
    QIcon icon;
    for (qreal scale : {1.0, 2.0})
        icon.addPixmap(symbolPixmap(symbol, size, color, scale));
    return icon;
}

QPixmap applicationIconPixmap(int size, qreal scale) {
    const QIcon own = QApplication::windowIcon();
    if (!own.isNull()) {
        QPixmap pixmap = own.pixmap(QSize(size, size), scale);
        if (!pixmap.isNull()) return pixmap;
    }
    QPixmap pixmap = blank(size, scale);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 80.0, size / 80.0);
    QLinearGradient tile(0, 4, 0, 76);
    tile.setColorAt(0, QColor(88, 150, 255));
    tile.setColorAt(1, QColor(40, 84, 214));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(4, 4, 72, 72), 17, 17);
    // The zones: one tall on the left, two stacked on the right.
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawRoundedRect(QRectF(15, 15, 23, 50), 5, 5);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(QRectF(42, 15, 23, 23), 5, 5);
    p.drawRoundedRect(QRectF(42, 42, 23, 23), 5, 5);
    return pixmap;
}

} // namespace korvane::permission
