// The look shared by the parts of the "Save Scene" window: its colours, fonts and the few symbols it draws
// itself, so that the header, the chips, the zone canvas and the tray read as one surface.
#pragma once

#include <QColor>
#include <QFont>

class QPainter;
class QRectF;

namespace korvane::savesheet {

inline const QColor kAccent(10, 132, 255);
inline const QColor kWindowBackground(236, 236, 236);
inline const QColor kControlBackground(255, 255, 255);
inline const QColor kSecondaryText(0, 0, 0, 128);
inline const QColor kTertiaryText(0, 0, 0, 66);
inline const QColor kQuaternaryText(0, 0, 0, 26);
// Text that says something failed, a red that reads on the window's grey.
inline const QColor kFailureText(200, 30, 30);

QColor withAlpha(QColor color, double alpha);
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont captionFont();       // 11 px
QFont secondCaptionFont(); // 10 px
QFont secondTitleFont();   // 17 px, bold

// The symbols the window shows where an application has no icon, on the add button, on the remove badge
// and in the empty state, drawn into `rect`.
void drawDashedApp(QPainter& painter, const QRectF& rect, const QColor& color);
void drawPlus(QPainter& painter, const QRectF& rect, const QColor& color);
void drawRemoveBadge(QPainter& painter, const QRectF& rect);
void drawThreeRectangles(QPainter& painter, const QRectF& rect, const QColor& color);

} // namespace korvane::savesheet
