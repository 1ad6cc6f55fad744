// Pieces are keyed by what decides their pixels: their kind, size, place within a pixel and the pixel ratio.
#include "ui/switchers/SwitcherTileChrome.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>
#include <functional>
#include <map>
#include <tuple>

namespace korvane::switchertile {

namespace {

enum class Kind { highlightSelected, highlightHovered, loadingMark, badge };

using Key = std::tuple<Kind, double, double, double, double, qreal>;

const QColor kSelectionBlue(10, 132, 255);
const QColor kBadgeGreen = QColor::fromRgbF(0.05f, 0.85f, 0.2f, 0.98f);
constexpr double kBadgeShadowDrop = 0.6;

// The shape drawn by `draw` within `bounds` (tile coordinates, the parts it paints), kept as an image.
Piece piece(Kind kind, const QRectF& shape, const QRectF& bounds, qreal dpr,
            const std::function<void(QPainter&)>& draw) {
    static std::map<Key, QImage> pieces;
    const QPoint at(static_cast<int>(std::floor(bounds.left())), static_cast<int>(std::floor(bounds.top())));
    const QPointF within = shape.topLeft() - QPointF(at);
    const Key key{kind, within.x(), within.y(), shape.width(), shape.height(), dpr};
    auto it = pieces.find(key);
    if (it == pieces.end()) {
        const QSize size(static_cast<int>(std::ceil(bounds.right())) - at.x(),
                         static_cast<int>(std::ceil(bounds.bottom())) - at.y());
        QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-QPointF(at));
        draw(painter);
        painter.end();
        it = pieces.emplace(key, std::move(image)).first;
    }
    return Piece{it->second, at};
}

} // namespace

Piece highlight(QSize tile, bool selected, qreal dpr) {
    const QRectF shape = QRectF(QPointF(0, 0), QSizeF(tile)).adjusted(4, 4, -4, -4);
    return piece(selected ? Kind::highlightSelected : Kind::highlightHovered, shape, shape, dpr,
                 [&](QPainter& painter) {
                     QColor fill = kSelectionBlue;
                     fill.setAlphaF(selected ? 0.28f : 0.12f);
                     QPainterPath path;
                     path.addRoundedRect(shape, 12, 12);
                     painter.fillPath(path, fill);
                 });
}

Piece loadingMark(const QRectF& icon, qreal dpr) {
    const QRectF shape = icon.adjusted(14, 14, -14, -14);
    // The pen is 2 wide, centred on the outline.
    return piece(Kind::loadingMark, shape, shape.adjusted(-1, -1, 1, 1), dpr, [&](QPainter& painter) {
        painter.setPen(QPen(QColor(255, 255, 255, 110), 2, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape, 12, 12);
    });
}

Piece badgeBackground(const QRectF& badge, qreal dpr) {
    return piece(Kind::badge, badge, badge.adjusted(0, 0, 0, kBadgeShadowDrop), dpr, [&](QPainter& painter) {
        QPainterPath path;
        path.addRoundedRect(badge, 8, 8);
        painter.fillPath(path.translated(0, kBadgeShadowDrop), QColor(0, 0, 0, 54));
        painter.fillPath(path, kBadgeGreen);
    });
}

} // namespace korvane::switchertile
