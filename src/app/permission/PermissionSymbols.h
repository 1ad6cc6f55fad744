// The pictures of the permission window, painted rather than loaded so that the window looks the same
// wherever it runs: the row symbols, the two button symbols and the stand-in for a missing application
// icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace korvane::permission {

enum class Symbol {
    accessibility,   // a figure with open arms in a circle
    screenRecording, // a dashed screen with a recording dot
    checkAgain,      // a clockwise arrow
    power,           // the power sign
};

// `size` is in device-independent pixels; the pixmap is painted for `scale` device pixels per pixel.
QPixmap symbolPixmap(Symbol symbol, int size, const QColor& color, qreal scale);
QIcon symbolIcon(Symbol symbol, int size, const QColor& color);

// The application's icon when it has one, else a painted stand-in: a rounded tile divided into zones.
QPixmap applicationIconPixmap(int size, qreal scale);

} // namespace korvane::permission
