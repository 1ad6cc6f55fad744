// Zone cells, application chips and the Excluded strip's chips of the scene canvas.
#include "ui/scene_editor/SceneCanvasZoneCell.h"

#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"
#include "ui/switchers/IconCache.h"

#include <QApplication>
#include <QDropEvent>
#include <QEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QToolButton>

#include <algorithm>

namespace korvane {

namespace {

constexpr int kChipSpacing = 6;

struct CellMetrics {
    int titleSize, addSide, padding, columnMinimum;
};

CellMetrics metrics(bool large) {
    return large ? CellMetrics{14, 32, 16, 96} : CellMetrics{10, 20, 8, 80};
}

void notePress(std::optional<QPoint>& pressedAt, QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressedAt = event->position().toPoint();
    event->accept();
}

bool beginsDrag(const std::optional<QPoint>& pressedAt, const QMouseEvent* event) {
    return pressedAt && (event->buttons() & Qt::LeftButton) &&
           (event->position().toPoint() - *pressedAt).manhattanLength() >= QApplication::startDragDistance();
}

void drawMissingIcon(QPainter& painter, const QRectF& square) {
    // The dashed application outline of an application whose picture is not known (yet).
    const double side = square.width() * 0.7;
    const QRectF inner(square.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.setPen(QPen(QColor(255, 255, 255, 70), std::max(1.0, side / 20), Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, side / 5, side / 5);
}

// The chip's picture in `square` with rounded corners, or the outline when it has none.
void drawChipPicture(QPainter& painter, const QRectF& square, const QImage& icon, double radius) {
    if (icon.isNull()) {
        drawMissingIcon(painter, square);
        return;
    }
    QPainterPath clip;
    clip.addRoundedRect(square, radius, radius);
    painter.save();
    painter.setClipPath(clip);
    painter.drawImage(square, icon);
    painter.restore();
}

// A chip shows the picture the switcher shows for its application, in whatever form the desktop keeps it
// (a window's pixels, an image file, an icon theme's name): from the icon cache at once when it holds it,
// else once it arrives, provided the chip is still there (the canvas rebuilds its chips on every change).
// A placeholder stands for no application and keeps the outline.
void loadChipPicture(QWidget* chip, const SceneCanvasAppEntry& entry, QImage& picture) {
    if (entry.isPlaceholder || entry.bundleID.empty()) return;
    QPointer<QWidget> alive(chip);
    IconCache::shared()->icon(entry.bundleID, [alive, &picture](const QImage& image) {
        if (!alive) return; // `picture` went with it
        picture = image;
        alive->update();
    });
}

} // namespace

std::vector<std::string> sceneCanvasDropTexts(const QMimeData* mime) {
    std::vector<std::string> texts;
    if (mime && mime->hasText() && !mime->text().isEmpty()) texts.push_back(mime->text().toStdString());
    return texts;
}

// ---- Application chip ----

SceneCanvasAppIcon::SceneCanvasAppIcon(SceneCanvasAppEntry entry, std::function<void()> onRemove,
                                       std::string dragPayload, SceneCanvasDragStarter startDrag,
                                       QWidget* parent)
    : QWidget(parent), entry_(std::move(entry)), dragPayload_(std::move(dragPayload)),
      startDrag_(std::move(startDrag)), remove_(new SceneCanvasPlateButton(QColor(0, 0, 0, 166), 8, this)) {
    loadChipPicture(this, entry_, icon_);
    setToolTip(QString::fromStdString(entry_.name));
    remove_->setText(QString::fromUtf8("✕"));
    remove_->setAccessibleName("Remove");
    remove_->setFixedSize(16, 16);
    QFont removeFont = remove_->font();
    removeFont.setPixelSize(9);
    remove_->setFont(removeFont);
    setSceneCanvasTextColour(remove_, Qt::white);
    remove_->hide();
    QObject::connect(remove_, &QToolButton::clicked, this, [run = std::move(onRemove)] {
        if (run) run();
    });
    resize(sizeHint());
}

void SceneCanvasAppIcon::renew(SceneCanvasAppEntry entry, std::string dragPayload) {
    const bool renamed = entry.name != entry_.name;
    entry_ = std::move(entry);
    dragPayload_ = std::move(dragPayload);
    // The picture is the application's, the same; a name looked up since repaints this chip alone.
    if (!renamed) return;
    setToolTip(QString::fromStdString(entry_.name));
    update();
}

QSize SceneCanvasAppIcon::sizeHint() const {
    return QSize(kIconSide + 16, kIconSide + 6 + 16);
}

void SceneCanvasAppIcon::setHovering(bool hovering) {
    remove_->setVisible(hovering && !entry_.isPlaceholder);
    remove_->move(width() / 2 + kIconSide / 2 - remove_->width() + 4, 0);
    remove_->raise();
}

void SceneCanvasAppIcon::enterEvent(QEnterEvent*) {
    setHovering(true);
}

void SceneCanvasAppIcon::leaveEvent(QEvent*) {
    setHovering(false);
}

void SceneCanvasAppIcon::mousePressEvent(QMouseEvent* event) {
    notePress(pressedAt_, event);
}

void SceneCanvasAppIcon::mouseMoveEvent(QMouseEvent* event) {
    if (!beginsDrag(pressedAt_, event) || entry_.isPlaceholder) return;
    pressedAt_.reset();
    if (auto start = startDrag_) start(this, dragPayload_);
}

void SceneCanvasAppIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double radius = 12;
    const QRectF square((width() - kIconSide) / 2.0, 2, kIconSide, kIconSide);
    painter.setOpacity(entry_.isPlaceholder ? 0.3 : 1.0);
    drawChipPicture(painter, square, icon_, radius);
    painter.setOpacity(1.0);
    if (entry_.isPlaceholder) {
        QColor accent = palette().color(QPalette::Highlight);
        accent.setAlphaF(0.6f);
        QPen dashed(accent, 2);
        dashed.setDashPattern({2, 2}); // 4 pt dashes at a 2 pt pen
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(square, radius, radius);
    }
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(entry_.isPlaceholder ? QColor(255, 255, 255, 140) : QColor(Qt::white));
    const QRectF nameRect(0, square.bottom() + 6, width(), 16);
    painter.drawText(
        nameRect, Qt::AlignHCenter | Qt::AlignTop,
        painter.fontMetrics().elidedText(QString::fromStdString(entry_.name), Qt::ElideRight, width()));
}

// ---- Zone cell ----

SceneCanvasZoneCell::SceneCanvasZoneCell(std::int64_t zoneID, std::vector<SceneCanvasAppEntry> apps,
                                         bool isLargeCanvas, Callbacks callbacks, QWidget* parent)
    : QWidget(parent), zoneID_(zoneID), apps_(std::move(apps)), isLargeCanvas_(isLargeCanvas),
      callbacks_(std::move(callbacks)), title_(new QLabel(this)),
      add_(new SceneCanvasPlateButton(palette().color(QPalette::Highlight), 4, this)) {
    const CellMetrics m = metrics(isLargeCanvas_);
    const QString zoneName = QString("Zone %1").arg(zoneID_);
    setAcceptDrops(true);
    setAccessibleName(zoneName);
    title_->setText(zoneName);
    QFont font = title_->font();
    font.setPixelSize(m.titleSize);
    font.setWeight(QFont::DemiBold);
    title_->setFont(font);
    title_->adjustSize();
    title_->move(m.padding, m.padding);

    add_->setText("+");
    add_->setToolTip(QString("Add app to Zone %1").arg(zoneID_));
    add_->setAccessibleName(add_->toolTip());
    add_->setFixedSize(m.addSide, m.addSide);
    QFont addFont = add_->font();
    addFont.setPixelSize(isLargeCanvas_ ? 18 : 13);
    addFont.setBold(true);
    add_->setFont(addFont);
    setSceneCanvasTextColour(add_, Qt::white);
    add_->move(m.padding + title_->width() + 6, m.padding + (title_->height() - m.addSide) / 2);
    QObject::connect(add_, &QToolButton::clicked, this, [this] {
        if (auto pressed = callbacks_.onAddPressed) pressed();
    });

    showEmptyLabel(apps_.empty());
    for (const SceneCanvasAppEntry& entry : apps_)
        addChip(entry);
    updateTitleColour();
}

void SceneCanvasZoneCell::showEmptyLabel(bool shown) {
    if (!empty_ && shown) {
        empty_ = new QLabel("Drop apps here", this);
        QFont emptyFont = empty_->font();
        emptyFont.setPixelSize(isLargeCanvas_ ? 13 : 10);
        empty_->setFont(emptyFont);
        setSceneCanvasTextColour(empty_, QColor(255, 255, 255, 90));
        empty_->adjustSize();
    }
    if (empty_) empty_->setVisible(shown);
}

void SceneCanvasZoneCell::addChip(const SceneCanvasAppEntry& entry) {
    const std::size_t i = chips_.size();
    std::function<void()> remove;
    // The entry as the cell holds it when pressed, which a renewal may have changed.
    if (!entry.isPlaceholder)
        remove = [this, i] {
            // A copy: removing rebuilds the canvas's cells.
            const SceneCanvasAppEntry removed = apps_.at(i);
            if (auto run = callbacks_.onRemoveApp) run(removed);
        };
    const std::string payload =
        callbacks_.dragPayloadForEntry ? callbacks_.dragPayloadForEntry(entry) : std::string();
    chips_.push_back(new SceneCanvasAppIcon(entry, std::move(remove), payload, callbacks_.startDrag, this));
}

bool SceneCanvasZoneCell::renew(const std::vector<SceneCanvasAppEntry>& apps) {
    const auto marked = [](const std::vector<SceneCanvasAppEntry>& list) {
        return !list.empty() && list.back().isPlaceholder;
    };
    if (marked(apps) != marked(apps_)) {
        // The "Drop here" chip comes or goes as a drag enters or leaves: the cell stays. The toolkit tells
        // the cell it delivered a drag's entry to that the drag has left, and only while that cell lives;
        // a cell made anew under the drag would never hear it, and its zone would stay marked.
        const std::vector<SceneCanvasAppEntry>& longer = marked(apps) ? apps : apps_;
        const std::vector<SceneCanvasAppEntry> rest(longer.begin(), longer.end() - 1);
        if (!sameApplications(rest, marked(apps) ? apps_ : apps)) return false;
        if (marked(apps)) {
            addChip(apps.back());
            chips_.back()->show();
        } else {
            delete chips_.back();
            chips_.pop_back();
        }
        apps_ = apps;
        showEmptyLabel(apps_.empty());
        layoutChips();
    }
    if (!sameApplications(apps, apps_)) return false;
    apps_ = apps;
    for (std::size_t i = 0; i < apps_.size(); ++i)
        chips_[i]->renew(apps_[i], callbacks_.dragPayloadForEntry ? callbacks_.dragPayloadForEntry(apps_[i])
                                                                  : std::string());
    return true;
}

void SceneCanvasZoneCell::setSelected(bool isSelected) {
    if (isSelected_ == isSelected) return;
    isSelected_ = isSelected;
    updateTitleColour();
}

void SceneCanvasZoneCell::setDropTarget(bool isDropTarget) {
    if (isDropTarget_ == isDropTarget) return;
    isDropTarget_ = isDropTarget;
    updateTitleColour();
    update();
}

void SceneCanvasZoneCell::updateTitleColour() {
    QColor colour(255, 255, 255, 150);
    if (isSelected_) {
        colour = sceneCanvasAccentColor().lighter(140);
    } else if (isDropTarget_) {
        colour = sceneCanvasAccentColor().lighter(140);
        colour.setAlphaF(0.7f);
    }
    setSceneCanvasTextColour(title_, colour);
}

void SceneCanvasZoneCell::resizeEvent(QResizeEvent*) {
    layoutChips();
}

void SceneCanvasZoneCell::layoutChips() {
    const CellMetrics m = metrics(isLargeCanvas_);
    const int top = m.padding + std::max(title_->height(), m.addSide) + 8;
    if (empty_) empty_->move(m.padding, top);
    if (chips_.empty()) return;
    const int available = std::max(width() - 2 * m.padding, m.columnMinimum);
    const int columns = std::max(1, (available + kChipSpacing) / (m.columnMinimum + kChipSpacing));
    const int columnWidth = (available - (columns - 1) * kChipSpacing) / columns;
    for (std::size_t i = 0; i < chips_.size(); ++i) {
        const int row = static_cast<int>(i) / columns;
        const int column = static_cast<int>(i) % columns;
        SceneCanvasAppIcon* chip = chips_[i];
        const QSize size = chip->sizeHint();
        chip->setGeometry(m.padding + column * (columnWidth + kChipSpacing) +
                              (columnWidth - size.width()) / 2,
                          top + row * (size.height() + kChipSpacing), size.width(), size.height());
    }
}

void SceneCanvasZoneCell::paintEvent(QPaintEvent*) {
    if (!isDropTarget_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(52, 199, 89), 2));
    painter.setBrush(QColor::fromRgbF(0.2f, 0.78f, 0.35f, 0.3f));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
}

void SceneCanvasZoneCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    if (auto tap = callbacks_.onTap) tap();
}

bool SceneCanvasZoneCell::acceptDrop(const std::vector<std::string>& texts, QPoint at) {
    if (texts.empty()) return false;
    for (std::size_t i = 0; i < chips_.size(); ++i)
        if (chips_[i]->geometry().contains(at)) {
            auto drop = callbacks_.onDropToIndex;
            return drop && drop(texts.front(), static_cast<int>(i));
        }
    auto drop = callbacks_.onDropToZone;
    return drop && drop(texts.front());
}

void SceneCanvasZoneCell::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasText()) return;
    // Taken even where the zone will refuse it: the drop then says why.
    event->acceptProposedAction();
    const std::vector<std::string> texts = sceneCanvasDropTexts(event->mimeData());
    if (texts.empty() || (callbacks_.takesDrop && !callbacks_.takesDrop(texts.front()))) return;
    if (auto targeted = callbacks_.onDropTargeted) targeted(true);
}

void SceneCanvasZoneCell::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasText()) event->acceptProposedAction();
}

void SceneCanvasZoneCell::dragLeaveEvent(QDragLeaveEvent*) {
    if (auto targeted = callbacks_.onDropTargeted) targeted(false);
}

void SceneCanvasZoneCell::dropEvent(QDropEvent* event) {
    // Copied: the drop may make the canvas build its cells again once this returns.
    const std::vector<std::string> texts = sceneCanvasDropTexts(event->mimeData());
    const QPoint at = event->position().toPoint();
    if (acceptDrop(texts, at))
        event->acceptProposedAction();
    else
        event->ignore();
}

// ---- Excluded chip ----

SceneCanvasExcludedAppIcon::SceneCanvasExcludedAppIcon(SceneCanvasAppEntry entry, std::string dragPayload,
                                                       SceneCanvasDragStarter startDrag, QWidget* parent)
    : QWidget(parent), entry_(std::move(entry)), dragPayload_(std::move(dragPayload)),
      startDrag_(std::move(startDrag)) {
    loadChipPicture(this, entry_, icon_);
    setToolTip(QString::fromStdString("Drag to a zone: " + entry_.bundleID));
    resize(sizeHint());
}

void SceneCanvasExcludedAppIcon::renew(SceneCanvasAppEntry entry, std::string dragPayload) {
    const bool renamed = entry.name != entry_.name;
    entry_ = std::move(entry);
    dragPayload_ = std::move(dragPayload);
    if (renamed) update();
}

QSize SceneCanvasExcludedAppIcon::sizeHint() const {
    return QSize(52, 22 + 2 + 11 + 8);
}

void SceneCanvasExcludedAppIcon::mousePressEvent(QMouseEvent* event) {
    notePress(pressedAt_, event);
}

void SceneCanvasExcludedAppIcon::mouseMoveEvent(QMouseEvent* event) {
    if (!beginsDrag(pressedAt_, event)) return;
    pressedAt_.reset();
    if (auto start = startDrag_) start(this, dragPayload_);
}

void SceneCanvasExcludedAppIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.08f));
    painter.drawRoundedRect(QRectF(rect()), 4, 4);
    const QRectF square((width() - 22) / 2.0, 4, 22, 22);
    drawChipPicture(painter, square, icon_, 4);
    QFont font = painter.font();
    font.setPixelSize(8);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 110));
    painter.drawText(
        QRectF(0, square.bottom() + 2, width(), 11), Qt::AlignHCenter | Qt::AlignTop,
        painter.fontMetrics().elidedText(QString::fromStdString(entry_.name), Qt::ElideRight, width() - 4));
}

} // namespace korvane
