// Drawing the settings pages' symbols.
#include "ui/settings/SettingsSymbols.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace korvane {

namespace {

// A circle with a scalloped rim: the badge of a grant.
QPainterPath seal(const QRectF& box) {
    QPainterPath path;
    const QPointF centre = box.center();
    const double outer = box.width() / 2, inner = outer * 0.86;
    constexpr int kPoints = 24;
    for (int i = 0; i <= kPoints; ++i) {
        const double angle = 2 * M_PI * i / kPoints;
        const double r = i % 2 ? inner : outer;
        const QPointF p(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

} // namespace

QPixmap settingsSymbol(SettingsSymbol symbol, const QColor& color, int side, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = side;
    const QRectF box(s * 0.08, s * 0.08, s * 0.84, s * 0.84);
    QPen line(color, std::max(1.5, s / 9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPen white(Qt::white, std::max(1.5, s / 8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (symbol) {
    case SettingsSymbol::gear: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        const QPointF c = box.center();
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(c);
            p.rotate(45.0 * i);
            p.drawRoundedRect(QRectF(-s * 0.09, -s * 0.45, s * 0.18, s * 0.2), 1, 1);
            p.restore();
        }
        p.drawEllipse(c, s * 0.3, s * 0.3);
        p.setBrush(Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawEllipse(c, s * 0.12, s * 0.12);
        break;
    }
    case SettingsSymbol::keyboard: {
        p.setPen(QPen(color, std::max(1.0, s / 14)));
        p.setBrush(Qt::NoBrush);
        const QRectF body(s * 0.05, s * 0.22, s * 0.9, s * 0.56);
        p.drawRoundedRect(body, s * 0.08, s * 0.08);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        const double key = s * 0.1;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 5; ++col)
                p.drawRect(QRectF(s * 0.14 + col * s * 0.15, s * 0.3 + row * s * 0.14, key, key));
        p.drawRect(QRectF(s * 0.28, s * 0.6, s * 0.44, key));
        break;
    }
    case SettingsSymbol::sealCheck:
    case SettingsSymbol::sealCross: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(seal(box));
        p.setPen(white);
        const QPointF c = box.center();
        const double r = s * 0.18;
        if (symbol == SettingsSymbol::sealCheck) {
            p.drawPolyline(QPolygonF({QPointF(c.x() - r, c.y()), QPointF(c.x() - r * 0.25, c.y() + r * 0.8),
                                      QPointF(c.x() + r * 1.1, c.y() - r * 0.8)}));
        } else {
            p.drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
            p.drawLine(QPointF(c.x() + r, c.y() - r), QPointF(c.x() - r, c.y() + r));
        }
        break;
    }
    case SettingsSymbol::recordingDot:
        p.setPen(QPen(color, std::max(1.0, s / 10)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(box.center(), s * 0.42, s * 0.42);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(box.center(), s * 0.26, s * 0.26);
        break;
    case SettingsSymbol::cross:
        p.setPen(line);
        p.drawLine(box.topLeft() + QPointF(s * 0.12, s * 0.12),
                   box.bottomRight() - QPointF(s * 0.12, s * 0.12));
        p.drawLine(box.topRight() + QPointF(-s * 0.12, s * 0.12),
                   box.bottomLeft() + QPointF(s * 0.12, -s * 0.12));
        break;
    case SettingsSymbol::plus:
        p.setPen(line);
        p.drawLine(QPointF(box.center().x(), box.top() + s * 0.08),
                   QPointF(box.center().x(), box.bottom() - s * 0.08));
        p.drawLine(QPointF(box.left() + s * 0.08, box.center().y()),
                   QPointF(box.right() - s * 0.08, box.center().y()));
        break;
    case SettingsSymbol::minusCircle:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(box);
        p.setPen(white);
        p.drawLine(QPointF(box.left() + s * 0.22, box.center().y()),
                   QPointF(box.right() - s * 0.22, box.center().y()));
        break;
    case SettingsSymbol::dashedApp: {
        QPen dashed(color, std::max(1.0, s / 14));
        dashed.setDashPattern({3, 2});
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box, s * 0.2, s * 0.2);
        break;
    }
    }
    return pixmap;
}

} // namespace korvane
