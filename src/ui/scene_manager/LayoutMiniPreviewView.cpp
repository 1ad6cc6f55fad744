// The layout drawings: region rectangles from the shared layout rule, outlined at the sizes of the
// scene windows, and the preset grid's hover and click.
#include "ui/scene_manager/LayoutMiniPreviewView.h"

#include "layouts/LayoutPreviewRegions.h"
#include "ui/scene_manager/SceneSaveSheetStyle.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace korvane {

namespace {

constexpr double kPadding = 6;
constexpr int kPickerPadding = 14;
constexpr int kPickerSpacing = 10;
constexpr int kCellMinWidth = 110;
constexpr int kTitleHeight = 20;
// Adaptive columns: as many of at least 110 points as fit, sharing the width.
constexpr int kColumns = std::max(1, (PresetPickerView::kWidth - 2 * kPickerPadding + kPickerSpacing) /
                                         (kCellMinWidth + kPickerSpacing));
constexpr int kCellWidth =
    (PresetPickerView::kWidth - 2 * kPickerPadding - (kColumns - 1) * kPickerSpacing) / kColumns;
// Rounded half up, as the width is positive.
constexpr int kCellHeight = static_cast<int>(kCellWidth / LayoutMiniPreviewView::kAspect + 0.5);

using savesheet::withAlpha;

// The regions of `node` drawn within `area`, each inset and at least 2 by 2.
template <class Draw>
void forEachRegion(const LayoutNode& node, const QRectF& area, double inset, Draw draw) {
    const Rect in{0, 0, area.width(), area.height()};
    for (const auto& region : layoutPreviewRegions(node, in)) {
        const QRectF r(area.left() + region.frame.minX() + inset, area.top() + region.frame.minY() + inset,
                       std::max(2.0, region.frame.width() - 2 * inset),
                       std::max(2.0, region.frame.height() - 2 * inset));
        draw(region, r);
    }
}

QFont sized(QFont font, double points, bool bold = false) {
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

LayoutMiniPreviewView::LayoutMiniPreviewView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(64, 40);
}

void LayoutMiniPreviewView::setNode(std::optional<LayoutNode> node) {
    if (node_ == node) return;
    node_ = std::move(node);
    update();
}

QRectF LayoutMiniPreviewView::drawingRect() const {
    const double w = width(), h = height();
    double dw = w, dh = w / kAspect;
    if (dh > h) {
        dh = h;
        dw = h * kAspect;
    }
    return QRectF((w - dw) / 2, (h - dh) / 2, dw, dh);
}

void LayoutMiniPreviewView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = drawingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::Window));
    p.drawRoundedRect(area, 8, 8);

    const QColor primary = palette().color(QPalette::WindowText);
    const QColor secondary = withAlpha(primary, 0.55);
    if (!node_) {
        p.setPen(secondary);
        p.setFont(sized(font(), 10));
        p.drawText(area, Qt::AlignCenter, kEmptyText);
        return;
    }
    p.setFont(sized(font(), 8));
    const QRectF inner = area.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    forEachRegion(*node_, inner, 0.5, [&](const LayoutPreviewRegion& region, const QRectF& r) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(withAlpha(primary, 0.25), 1));
        p.drawRoundedRect(r, 4, 4);
        p.setPen(secondary);
        const QString label = QString::fromStdString(region.name ? *region.name : std::to_string(region.id));
        p.drawText(r, Qt::AlignCenter,
                   p.fontMetrics().elidedText(label, Qt::ElideRight, static_cast<int>(r.width()) - 2));
    });
}

PresetPickerView::PresetPickerView(std::vector<ConfigZoneSet> presets, QWidget* parent)
    : QWidget(parent), presets_(std::move(presets)) {
    setMouseTracking(true);
    setFixedWidth(kWidth);
    setFixedHeight(sizeHint().height());
}

QRect PresetPickerView::cellRect(std::size_t index) const {
    const int row = static_cast<int>(index) / kColumns, column = static_cast<int>(index) % kColumns;
    const int top = kPickerPadding + kTitleHeight + kPickerSpacing;
    return QRect(kPickerPadding + column * (kCellWidth + kPickerSpacing),
                 top + row * (kCellHeight + kPickerSpacing), kCellWidth, kCellHeight);
}

QSize PresetPickerView::sizeHint() const {
    const int rows = presets_.empty() ? 0 : static_cast<int>((presets_.size() + kColumns - 1) / kColumns);
    const int grid = rows == 0 ? 0 : rows * kCellHeight + (rows - 1) * kPickerSpacing;
    return QSize(kWidth, kPickerPadding + kTitleHeight + kPickerSpacing + grid + kPickerPadding);
}

std::optional<std::size_t> PresetPickerView::cellAt(const QPoint& point) const {
    for (std::size_t i = 0; i < presets_.size(); ++i)
        if (cellRect(i).contains(point)) return i;
    return std::nullopt;
}

void PresetPickerView::setHovered(std::optional<std::string> id) {
    if (hoveredID_ == id) return;
    hoveredID_ = std::move(id);
    update();
}

void PresetPickerView::mouseMoveEvent(QMouseEvent* event) {
    const auto cell = cellAt(event->position().toPoint());
    setHovered(cell ? std::optional(presets_[*cell].id) : std::nullopt);
}

void PresetPickerView::leaveEvent(QEvent*) {
    setHovered(std::nullopt);
}

void PresetPickerView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto cell = cellAt(event->position().toPoint());
    // A preset without a tree is still offered and still chosen; what follows is the presenter's call.
    if (cell && onSelect) onSelect(presets_[*cell]);
}

void PresetPickerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor primary = palette().color(QPalette::WindowText);
    const QColor accent = palette().color(QPalette::Highlight);
    p.setPen(primary);
    p.setFont(sized(font(), 11, true));
    p.drawText(QRect(kPickerPadding, kPickerPadding, kWidth - 2 * kPickerPadding, kTitleHeight),
               Qt::AlignLeft | Qt::AlignVCenter, kTitle);

    for (std::size_t i = 0; i < presets_.size(); ++i) {
        const QRectF cell = QRectF(cellRect(i)).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool highlighted = hoveredID_ == presets_[i].id;
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::Window));
        p.drawRoundedRect(cell, 8, 8);
        if (const auto& tree = presets_[i].layoutTree) {
            const QColor outline = highlighted ? withAlpha(accent, 0.8) : withAlpha(primary, 0.3);
            const QRectF inner = cell.adjusted(kPadding, kPadding, -kPadding, -kPadding);
            forEachRegion(*tree, inner, 1.5, [&](const LayoutPreviewRegion&, const QRectF& r) {
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(outline, 1.5));
                p.drawRoundedRect(r, 3, 3);
            });
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(highlighted ? QPen(accent, 2) : QPen(withAlpha(primary, 0.12), 1));
        p.drawRoundedRect(cell, 8, 8);
    }
}

} // namespace korvane
