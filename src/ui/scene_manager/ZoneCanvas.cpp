// The zone canvas of the "Save Scene" window. Cells and the tray are rebuilt from the model after every
// change; a rebuild may come from inside one of the widgets it replaces (a badge's click, a drop), so the
// replaced widgets leave their parent at once and are deleted on a later turn of the loop.
#include "ui/scene_manager/ZoneCanvas.h"

#include "ui/scene_editor/ZoneCanvasPlacement.h"
#include "ui/scene_manager/SceneSaveSheetStyle.h"
#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/switchers/IconCache.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace korvane {

using namespace savesheet;

namespace {

constexpr int kCellPadding = 8;
constexpr int kHeaderHeight = 16;
constexpr int kHeaderSpacing = 4;
constexpr int kRowSpacing = 6;
constexpr int kNameHeight = 13;
constexpr int kBadge = 12;
constexpr int kBadgeOffset = 4;
constexpr int kTrayPadding = 16;

void discard(QWidget* widget) {
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

void paintIcon(QPainter& painter, const QRectF& rect, const QImage& icon, double radius, double dashedShare) {
    if (icon.isNull()) {
        const double side = rect.width() * dashedShare;
        drawDashedApp(painter, QRectF(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side),
                      QColor(0, 0, 0, 70));
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(rect, radius, radius);
    painter.setClipPath(clip);
    painter.drawImage(rect, icon);
    painter.restore();
}

// The icon the switcher shows for the item's application, in whatever form the desktop keeps it: from the
// icon cache at once when it holds it, else once it arrives, provided the view is still there (cells are
// rebuilt on every change).
void loadItemIcon(QWidget* view, const ZoneCellItem& item, QImage& icon) {
    if (item.iconKey.empty()) return;
    QPointer<QWidget> alive(view);
    auto show = [alive, &icon](const QImage& image) {
        if (!alive) return; // `icon` went with it
        icon = image;
        alive->update();
    };
    if (item.pid)
        IconCache::shared()->icon(item.iconKey, *item.pid, std::move(show));
    else
        IconCache::shared()->icon(item.iconKey, std::move(show));
}

// Drags a window entry as the text of its UUID, which is all a cell takes from a drop.
void dragWindowEntry(QWidget* source, const std::string& entryID, const QImage& icon) {
    auto* drag = new QDrag(source);
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(entryID));
    drag->setMimeData(data);
    if (!icon.isNull())
        drag->setPixmap(
            QPixmap::fromImage(icon.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    drag->exec(Qt::MoveAction);
}

// A plain button that paints a symbol and nothing else.
class SymbolButton : public QAbstractButton {
  public:
    enum class Symbol { plus, remove };

    SymbolButton(Symbol symbol, QSize size, QWidget* parent) : QAbstractButton(parent), symbol_(symbol) {
        setFixedSize(size);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRectF r = QRectF(rect());
        if (symbol_ == Symbol::remove) {
            drawRemoveBadge(painter, r.adjusted(1, 1, -1, -1));
            return;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(QColor(60, 60, 67), 0.12));
        painter.drawEllipse(r);
        drawPlus(painter, r, kSecondaryText);
    }

  private:
    Symbol symbol_;
};

// A window names its application as the switcher does: by its bundle identifier, else by its process.
ZoneCellItem windowItem(const SceneSaveViewModel::WindowEntry& entry) {
    const bool hasProcess = entry.pid > 0;
    std::string key = entry.bundleID ? *entry.bundleID : hasProcess ? "pid:" + std::to_string(entry.pid) : "";
    return {entry.id, entry.appName, std::move(key), hasProcess ? std::optional(entry.pid) : std::nullopt,
            true};
}

} // namespace

// -- Placement ------------------------------------------------------------------------------------------

ZoneCanvasLayout::ZoneCanvasLayout(std::vector<ZoneListEntry> zones, double inset, QWidget* parent)
    : QLayout(parent), zones_(std::move(zones)), inset_(inset) {
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

ZoneCanvasLayout::~ZoneCanvasLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void ZoneCanvasLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

int ZoneCanvasLayout::count() const {
    return static_cast<int>(items_.size());
}

QLayoutItem* ZoneCanvasLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* ZoneCanvasLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize ZoneCanvasLayout::sizeHint() const {
    return QSize(10, 10);
}

void ZoneCanvasLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const Rect bounds{static_cast<double>(rect.x()), static_cast<double>(rect.y()),
                      static_cast<double>(rect.width()), static_cast<double>(rect.height())};
    for (int k = 0; k < items_.size() && static_cast<std::size_t>(k) < zones_.size(); ++k)
        items_.at(k)->setGeometry(pixelRect(zoneCanvasPlacement(bounds, inset_, zones_[k].frame)));
}

ZoneCellColumns zoneCellColumns(double available, double minimum, double spacing) {
    const int count = std::max(1, static_cast<int>(std::floor((available + spacing) / (minimum + spacing))));
    return {count, std::max(0.0, (available - (count - 1) * spacing) / count)};
}

// -- Items ------------------------------------------------------------------------------------------

ZoneItemView::ZoneItemView(const ZoneCellItem& item, bool compact, QWidget* parent)
    : QWidget(parent), item_(item), compact_(compact) {
    loadItemIcon(this, item_, icon_);
    badge_ = new SymbolButton(SymbolButton::Symbol::remove, QSize(kBadge, kBadge), this);
    badge_->setAccessibleName(QString("Remove %1").arg(QString::fromStdString(item.name)));
    setToolTip(QString::fromStdString(item.name));
    if (item.isWindow) setCursor(Qt::OpenHandCursor);
}

int ZoneItemView::heightFor(bool compact) {
    return kBadgeOffset + (compact ? 24 : 32 + 2 + kNameHeight);
}

QRectF ZoneItemView::iconRect() const {
    const double s = iconSize();
    return QRectF((width() - s) / 2, kBadgeOffset, s, s);
}

void ZoneItemView::resizeEvent(QResizeEvent*) {
    // The badge sits on the icon's top-right corner, moved out by its offset.
    badge_->move(static_cast<int>(std::lround(iconRect().right() + kBadgeOffset - kBadge)), 0);
}

void ZoneItemView::paintEvent(QPaintEvent*) {
    const QRectF icon = iconRect();
    QPainter painter(this);
    paintIcon(painter, icon, icon_, compact_ ? 4 : 6, 0.7);
    if (compact_) return;
    painter.setFont(secondCaptionFont());
    painter.setPen(kSecondaryText);
    const QRectF nameRect(0, icon.bottom() + 2, width(), kNameHeight);
    painter.drawText(
        nameRect, Qt::AlignHCenter | Qt::AlignTop,
        QFontMetrics(painter.font()).elidedText(QString::fromStdString(item_.name), Qt::ElideRight, width()));
}

void ZoneItemView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    pressedAt_ = event->position().toPoint();
}

void ZoneItemView::mouseMoveEvent(QMouseEvent* event) {
    if (!item_.isWindow || !pressed_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance())
        return;
    pressed_ = false;
    dragWindowEntry(this, item_.id, icon_);
}

TrayChip::TrayChip(const ZoneCellItem& item, QWidget* parent) : QAbstractButton(parent), item_(item) {
    loadItemIcon(this, item_, icon_);
    const QString name = QString::fromStdString(item.name);
    setToolTip("Drag to a zone to include " + name);
    setAccessibleName("Include " + name + " in scene");
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
}

QSize TrayChip::sizeHint() const {
    const int name = QFontMetrics(secondCaptionFont()).horizontalAdvance(QString::fromStdString(item_.name));
    return QSize(std::max(22, std::min(name, 90)) + 8, 22 + kNameHeight + 8);
}

void TrayChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(QColor(128, 128, 128), 0.08));
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
    const QRectF icon((width() - 22) / 2.0, 4, 22, 22);
    painter.setOpacity(0.5);
    paintIcon(painter, icon, icon_, 4, 16.0 / 22);
    painter.setOpacity(1);
    painter.setFont(secondCaptionFont());
    painter.setPen(kTertiaryText);
    painter.drawText(QRectF(4, icon.bottom(), width() - 8, kNameHeight), Qt::AlignHCenter | Qt::AlignTop,
                     QFontMetrics(painter.font())
                         .elidedText(QString::fromStdString(item_.name), Qt::ElideRight, width() - 8));
}

void TrayChip::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    QAbstractButton::mousePressEvent(event);
}

void TrayChip::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        // A drag is not a click: the button lets go before the drag starts.
        setDown(false);
        dragWindowEntry(this, item_.id, icon_);
        return;
    }
    QAbstractButton::mouseMoveEvent(event);
}

// -- Cells ------------------------------------------------------------------------------------------

ZoneCell::ZoneCell(ZoneCanvasHost& sheet, std::int64_t zoneID, QWidget* parent)
    : QWidget(parent), sheet_(sheet), zoneID_(zoneID) {
    setAcceptDrops(true);
    setObjectName(QString("Zone %1").arg(zoneID));
    auto* title = new QLabel(QString("Zone %1").arg(zoneID), this);
    title->setFont(systemFont(10, QFont::Medium));
    title->setStyleSheet(QString("color: rgba(0, 0, 0, %1);").arg(kTertiaryText.alpha()));
    title->move(kCellPadding, kCellPadding);
    title->resize(80, kHeaderHeight);
    addButton_ = new SymbolButton(SymbolButton::Symbol::plus, QSize(16, 16), this);
    addButton_->setToolTip("Add app to this zone");
    addButton_->setAccessibleName("Add app to this zone");
    QObject::connect(addButton_, &QAbstractButton::clicked, this,
                     [this] { sheet_.openAppPicker(zoneID_, addButton_); });
}

ZoneCellColumns ZoneCell::columns() const {
    const bool few = items_.size() <= 2;
    return zoneCellColumns(width() - 2 * kCellPadding, few ? 44 : 36, few ? 6 : 4);
}

void ZoneCell::reload() {
    const SceneSaveViewModel& model = sheet_.viewModel();
    std::vector<ZoneCellItem> items;
    for (const auto& entry : model.windowEntries) {
        if (!entry.included) continue;
        const auto assigned = model.zoneAssignments.find(entry.id);
        if (assigned == model.zoneAssignments.end() || assigned->second != zoneID_) continue;
        items.push_back(windowItem(entry));
    }
    if (auto apps = model.manualApps().find(zoneID_); apps != model.manualApps().end())
        for (const auto& app : apps->second)
            items.push_back({app.id, app.appName, app.bundleID, std::nullopt, false});
    items_ = std::move(items);

    for (ZoneItemView* view : views_)
        discard(view);
    views_.clear();
    const bool compact = isCompact();
    for (const auto& item : items_) {
        auto* view = new ZoneItemView(item, compact, this);
        const std::string id = item.id;
        const bool isWindow = item.isWindow;
        QObject::connect(view->removeBadge(), &QAbstractButton::clicked, this, [this, id, isWindow] {
            if (isWindow)
                sheet_.setEntryIncluded(id, false);
            else
                sheet_.removeManualApp(id, zoneID_);
        });
        views_.push_back(view);
    }
    placeItems();
    for (ZoneItemView* view : views_)
        view->show();
    update();
}

void ZoneCell::placeItems() {
    addButton_->move(width() - kCellPadding - addButton_->width(), kCellPadding);
    if (views_.empty()) return;
    const bool few = items_.size() <= 2;
    const double spacing = few ? 6 : 4;
    const ZoneCellColumns grid = columns();
    const int itemHeight = ZoneItemView::heightFor(isCompact());
    const int used = static_cast<int>(std::min<std::size_t>(views_.size(), grid.count));
    // The grid is centred: a row that is not full still starts where a full one would, as the columns
    // are fixed; the whole block is centred when there are fewer items than columns.
    const double blockWidth = used * grid.width + (used - 1) * spacing;
    const double left = kCellPadding + (width() - 2 * kCellPadding - blockWidth) / 2;
    const int top = kCellPadding + kHeaderHeight + kHeaderSpacing;
    for (std::size_t i = 0; i < views_.size(); ++i) {
        const int column = static_cast<int>(i % grid.count);
        const int row = static_cast<int>(i / grid.count);
        const double x = left + column * (grid.width + spacing);
        views_[i]->setGeometry(static_cast<int>(std::lround(x)), top + row * (itemHeight + kRowSpacing),
                               static_cast<int>(std::lround(grid.width)), itemHeight);
    }
}

void ZoneCell::paintEvent(QPaintEvent*) {
    const bool targeted = sheet_.dropTargetZoneID() == zoneID_;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double line = targeted ? 2 : 1;
    // Neighbouring cells touch; drawing inside the edge keeps their outlines apart.
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.setPen(QPen(withAlpha(kAccent, targeted ? 0.6 : 0.25), line));
    painter.setBrush(withAlpha(kAccent, targeted ? 0.15 : 0.04));
    painter.drawRoundedRect(r, 10, 10);
}

void ZoneCell::resizeEvent(QResizeEvent*) {
    placeItems();
}

void ZoneCell::dragEnterEvent(QDragEnterEvent* event) {
    // A cell that would refuse the window is not marked, and the pointer shows that it cannot drop there.
    if (!event->mimeData()->hasText() || !sheet_.acceptsDrop(event->mimeData()->text(), zoneID_)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    sheet_.setDropTargetZoneID(zoneID_);
}

void ZoneCell::dragLeaveEvent(QDragLeaveEvent*) {
    if (sheet_.dropTargetZoneID() == zoneID_) sheet_.setDropTargetZoneID(std::nullopt);
}

void ZoneCell::dropEvent(QDropEvent* event) {
    const QString text = event->mimeData()->hasText() ? event->mimeData()->text() : QString();
    if (sheet_.dropEntry(text, zoneID_))
        event->acceptProposedAction();
    else
        event->ignore();
}

// -- Canvas ------------------------------------------------------------------------------------------

ZoneCanvas::ZoneCanvas(ZoneCanvasHost& sheet, std::vector<ZoneListEntry> zones, QWidget* parent)
    : QWidget(parent), sheet_(sheet), zones_(std::move(zones)) {
    auto* layout = new ZoneCanvasLayout(zones_, ZoneCanvasLayout::kInset, this);
    for (const auto& zone : zones_) {
        auto* cell = new ZoneCell(sheet_, zone.id, this);
        layout->addWidget(cell);
        cells_.push_back(cell);
    }
    tray_ = new QWidget(this);
    tray_->setObjectName("tray");
    reload();
}

ZoneCell* ZoneCanvas::cell(std::int64_t zoneID) const {
    for (ZoneCell* c : cells_)
        if (c->zoneID() == zoneID) return c;
    return nullptr;
}

void ZoneCanvas::reload() {
    for (ZoneCell* c : cells_)
        c->reload();
    for (TrayChip* chip : chips_)
        discard(chip);
    chips_.clear();
    for (const auto& entry : sheet_.viewModel().windowEntries) {
        if (entry.included) continue;
        auto* chip = new TrayChip(windowItem(entry), tray_);
        const std::string id = entry.id;
        QObject::connect(chip, &QAbstractButton::clicked, this,
                         [this, id] { sheet_.setEntryIncluded(id, true); });
        chips_.push_back(chip);
        chip->show();
    }
    tray_->setVisible(!chips_.empty());
    placeTray();
}

void ZoneCanvas::placeTray() {
    int x = 0, height = 0;
    for (TrayChip* chip : chips_) {
        const QSize size = chip->sizeHint();
        chip->setGeometry(x, 0, size.width(), size.height());
        x += size.width() + 4;
        height = std::max(height, size.height());
    }
    const QSize size(std::max(0, x - 4), height);
    tray_->setGeometry(width() - kTrayPadding - size.width(), this->height() - kTrayPadding - size.height(),
                       size.width(), size.height());
    tray_->raise();
}

void ZoneCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withAlpha(QColor(128, 128, 128), 0.2), 1));
    painter.setBrush(kControlBackground);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

void ZoneCanvas::resizeEvent(QResizeEvent*) {
    placeTray();
}

} // namespace korvane
