// A divider of the scene canvas as the user grabs it, and the line of a split being placed.
//
// Both live in the canvas area and take their positions in its coordinates (top-left origin), which are
// the canvas model's coordinates.
#pragma once

#include "ui/scene_editor/SceneCanvasGeometry.h"
#include "ui/scene_editor/SceneCanvasPlates.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace korvane {

// Covers the divider's grab band. A drag of 10 pt or more reports, on every move, the ratio of its split
// that would put the divider under the pointer (not clamped: the canvas snaps and clamps). While hovered
// or dragged the divider's position on the canvas shows as a percentage beside it. Read-only, it keeps
// the arrow cursor but still reports drags; the canvas decides what a drag does then.
class SceneCanvasSplitHandle : public QWidget {
  public:
    static constexpr int kMinimumDrag = 10;

    // `parent` is the canvas area; the percentage label is placed in it too, beside the band.
    SceneCanvasSplitHandle(SceneCanvasSplitLine line, bool isReadOnly, bool isLargeCanvas,
                           std::function<void(double)> onDrag, QWidget* parent);
    ~SceneCanvasSplitHandle() override;

    const SceneCanvasSplitLine& line() const { return line_; }
    // The same divider after the tree or the canvas changed: the band moves to the line's new place and
    // the handle keeps its hover and its drag, so that a drag goes on to the release however far the
    // divider moves under it.
    void setLine(SceneCanvasSplitLine line);
    void setReadOnly(bool isReadOnly);
    bool isReadOnly() const { return isReadOnly_; }
    bool isDragging() const { return isDragging_; }
    // The percentage beside the divider ("33%"), while it shows.
    QLabel* ratioLabel() const { return label_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void updateLabel();

    // The bar as last drawn, with the fill and axis it was drawn for: drawn again only when its look or
    // size changes.
    // Antialiased along a display's height it costs a good part of the overlay's frame, which shows every
    // divider at every opening.
    QImage bar_;
    QColor barFill_;
    SplitAxis barAxis_ = SplitAxis::horizontal;

    SceneCanvasSplitLine line_;
    bool isReadOnly_;
    bool isLargeCanvas_;
    std::function<void(double)> onDrag_;
    bool isHovering_ = false;
    bool isDragging_ = false;
    std::optional<QPointF> pressedAt_;
    QPointer<SceneCanvasPlateLabel> label_;
};

// The orange line of a split being placed, at `ratio` (held within [0.1, 0.9]) of the zone's `bounds`,
// labelled with its position on the whole canvas. It lets every click through.
class SceneCanvasSplitPreview : public QWidget {
  public:
    explicit SceneCanvasSplitPreview(QWidget* parent);

    void set(SplitAxis axis, double ratio, const Rect& bounds, double absoluteRatio);
    // The line's rectangle in the parent's coordinates.
    Rect lineRect() const;
    QString labelText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    SplitAxis axis_ = SplitAxis::horizontal;
    double ratio_ = 0.5;
    Rect bounds_;
    double absoluteRatio_ = 0.5;
};

// "%.0f%%" of a share: 0.333 gives "33%".
QString sceneCanvasPercent(double share);

} // namespace korvane
