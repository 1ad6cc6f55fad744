// Vector drawings of the symbol images, each on a grid of 100 by 100 scaled to the box it is drawn in.
// The grid is that fine because the path set operations flatten curves at the scale they are given.
#include "ui/overlays/Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace korvane {

namespace {

constexpr double kGrid = 100;

QPainterPath disc(double cx, double cy, double r) {
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

QPainterPath roundedRect(double x, double y, double w, double h, double r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath stroked(const QPainterPath& line, double width, Qt::PenCapStyle cap) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

// The marks cut out of a filled disc centred at 50, 50.
QPainterPath checkmark() {
    QPainterPath line;
    line.moveTo(28, 52);
    line.lineTo(44, 67);
    line.lineTo(72, 35);
    return stroked(line, 11, Qt::RoundCap);
}

QPainterPath exclamationMark() {
    return roundedRect(44.5, 22, 11, 36, 5.5).united(disc(50, 72, 6.5));
}

QPainterPath padlock() {
    QPainterPath shackle;
    shackle.moveTo(39, 47);
    shackle.lineTo(39, 38);
    shackle.arcTo(QRectF(39, 27, 22, 22), 180, -180);
    shackle.lineTo(61, 47);
    return roundedRect(31, 45, 38, 29, 5).united(stroked(shackle, 7, Qt::FlatCap));
}

QPainterPath discWithout(const QPainterPath& mark) {
    return disc(50, 50, 50).subtracted(mark);
}

QPainterPath infoCircle() {
    QPainterPath path = disc(50, 50, 50).subtracted(disc(50, 50, 42));
    return path.united(roundedRect(45, 42, 10, 32, 5)).united(disc(50, 29, 6));
}

QPainterPath displayWithBadge() {
    // A screen on its stand, and a plus in a disc over its upper right corner, kept apart from the
    // screen by a gap so that it reads as a badge.
    QPainterPath screen = roundedRect(2, 16, 84, 58, 7).subtracted(roundedRect(9, 23, 70, 44, 3));
    screen.addRect(QRectF(38, 74, 12, 9));
    screen = screen.united(roundedRect(24, 82, 40, 6, 3)).subtracted(disc(78, 22, 24));
    QPainterPath plus;
    plus.addRect(QRectF(76, 12, 4, 20));
    plus.addRect(QRectF(68, 20, 20, 4));
    return screen.united(disc(78, 22, 19).subtracted(plus));
}

} // namespace

bool paintSymbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color) {
    QPainterPath path;
    if (name == "checkmark.circle.fill")
        path = discWithout(checkmark());
    else if (name == "exclamationmark.circle.fill")
        path = discWithout(exclamationMark());
    else if (name == "lock.circle.fill")
        path = discWithout(padlock());
    else if (name == "info.circle")
        path = infoCircle();
    else if (name == "display.badge.plus")
        path = displayWithBadge();
    else
        return false;

    const double side = std::min(box.width(), box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / kGrid, side / kGrid);
    painter.fillPath(path, color);
    painter.restore();
    return true;
}

} // namespace korvane
