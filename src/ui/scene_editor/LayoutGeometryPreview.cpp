// The read-only layout drawing.
#include "ui/scene_editor/LayoutGeometryPreview.h"

#include "ui/scene_editor/SceneZoneCanvasLayout.h"

#include <QPainter>

namespace korvane {

LayoutGeometryPreview::LayoutGeometryPreview(std::optional<LayoutNode> layoutNode, bool darkLines,
                                             QWidget* parent)
    : QWidget(parent), layoutNode_(std::move(layoutNode)), darkLines_(darkLines) {}

void LayoutGeometryPreview::setLayoutNode(std::optional<LayoutNode> layoutNode) {
    layoutNode_ = std::move(layoutNode);
    update();
}

void LayoutGeometryPreview::paintEvent(QPaintEvent*) {
    if (!layoutNode_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor outline = darkLines_ ? QColor::fromRgbF(0, 0, 0, 0.45f) : QColor::fromRgbF(1, 1, 1, 0.6f);
    const QColor fill = darkLines_ ? QColor::fromRgbF(0, 0, 0, 0.06f) : QColor::fromRgbF(1, 1, 1, 0.25f);
    painter.setPen(QPen(outline, 0.5));
    painter.setBrush(fill);
    for (const Rect& r : layoutGeometryPreviewRects(*layoutNode_, Size{double(width()), double(height())}))
        painter.drawRoundedRect(QRectF(r.minX(), r.minY(), r.width(), r.height()), 2, 2);
}

} // namespace korvane
