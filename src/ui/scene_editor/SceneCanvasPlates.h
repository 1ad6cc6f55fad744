// The scene canvas's small controls that sit on a rounded plate of one colour: key caps, a divider's
// percentage, the hint line, a chip's remove badge and a zone's add button.
//
// They paint their plates themselves rather than take a style sheet: one style sheet anywhere in a window
// sends every widget of it through the slower style sheet polish, and the editor builds a full-screen panel
// for every display at once when it opens.
#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QMargins>
#include <QPainter>
#include <QToolButton>

namespace korvane {

// The colour `widget` draws its text in, as a label (WindowText) and as a button (ButtonText) reads it.
// Setting the colour it already has does nothing.
void setSceneCanvasTextColour(QWidget* widget, const QColor& colour);

// Antialiased shapes over a widget's whole size, drawn by `draw` into `drawn` only at a new size or pixel
// ratio, or when the caller's look changed (`stale`), and copied at every paint: the overlay shows its bar,
// plates and dividers at every opening, and drawing them costs several times the copy.
template <typename Draw> void paintKept(QWidget& widget, QImage& drawn, bool stale, const Draw& draw) {
    const qreal ratio = widget.devicePixelRatioF();
    const QSize pixels = (QSizeF(widget.size()) * ratio).toSize();
    if (stale || drawn.size() != pixels || drawn.devicePixelRatio() != ratio) {
        drawn = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        drawn.setDevicePixelRatio(ratio);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        draw(painter);
    }
    QPainter(&widget).drawImage(QPoint(0, 0), drawn);
}

// A label on an antialiased rounded plate that fills it. The text keeps `padding` from the plate's edge,
// and at the sides half an "x" of the label's font more, which gives the plates their width; the padding
// counts in the label's size hint. Without a plate it is a plain label.
class SceneCanvasPlateLabel : public QLabel {
  public:
    explicit SceneCanvasPlateLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setPlate(const QColor& fill, qreal radius, const QMargins& padding);
    void clearPlate();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void applyPadding();

    QColor fill_ = Qt::transparent;
    qreal radius_ = 0;
    QMargins padding_;
};

// A button drawn as its text centred on an antialiased rounded plate of one colour, with no frame and no
// pressed or hovered look. The text takes the palette's ButtonText and the button's font.
class SceneCanvasPlateButton : public QToolButton {
  public:
    SceneCanvasPlateButton(const QColor& fill, qreal radius, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_;
    qreal radius_;
};

} // namespace korvane
