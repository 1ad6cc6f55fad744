// The parts of a switcher tile that look the same on every tile of a size — the highlight, the loading mark
// in place of an icon, the hint badge's rounded background — drawn once into images and reused. Filling a
// rounded, antialiased path costs the raster engine a hand-off to its worker threads per shape; a switcher
// with hundreds of tiles would pay that for every tile on every frame, where an image is one plain blend.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>

namespace korvane::switchertile {

// Main thread only. Each piece is drawn at its exact place in the tile, fractions of a pixel included, into
// an image that covers its whole pixels, and is to be drawn at the whole-pixel point `at` of the tile: the
// pixels come out as drawing the shape itself would make them. Images are made at the device pixel ratio
// given and kept for the life of the process (a handful per tile size, state and badge width).
struct Piece {
    const QImage& image;
    QPoint at;
};

// The highlight: the tile inset by 4, radius 12, system blue at alpha 0.28 when selected, else 0.12.
Piece highlight(QSize tile, bool selected, qreal dpr);
// The dashed outline that stands for an icon still loading, `icon` being the icon's rectangle in the tile.
Piece loadingMark(const QRectF& icon, qreal dpr);
// The hint badge's rounded background and its shadow, for a badge rectangle `badge` in the tile.
Piece badgeBackground(const QRectF& badge, qreal dpr);

} // namespace korvane::switchertile
