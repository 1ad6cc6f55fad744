// The middle of the "Save Scene" window: a miniature of one layout in which every zone is a cell holding
// the icons of the windows assigned to it and of the applications added to it by hand, with a tray of
// the excluded windows in its bottom-right corner. Windows are dragged between cells and from the tray as
// the text of their entry's UUID.
#pragma once

#include "ui/scene_manager/ZoneCanvasHost.h"
#include "ui/scene_manager/ZoneList.h"

#include <QAbstractButton>
#include <QImage>
#include <QLayout>
#include <QList>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

// Places its k-th child at the k-th zone of the list, inside its rectangle less the inset; children beyond
// the zones are left where they are. Main thread only, like every widget.
class ZoneCanvasLayout : public QLayout {
  public:
    static constexpr double kInset = 16;

    ZoneCanvasLayout(std::vector<ZoneListEntry> zones, double inset, QWidget* parent = nullptr);
    ~ZoneCanvasLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    // The layout takes what it is given; asked for a size of its own it answers 10 by 10.
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

  private:
    std::vector<ZoneListEntry> zones_;
    double inset_;
    QList<QLayoutItem*> items_;
};

// The columns of a cell's grid: as many of at least `minimum` as fit with `spacing` between them, at
// least one, sharing the width equally.
struct ZoneCellColumns {
    int count = 1;
    double width = 0;
};
ZoneCellColumns zoneCellColumns(double available, double minimum, double spacing);

// One icon of a cell: a captured window (draggable) or an application added by hand (not).
struct ZoneCellItem {
    std::string id; // the window entry's or the added application's
    std::string name;
    // Whose icon it shows, as the switcher names the application: its bundle identifier, else "pid:" and
    // the process; empty when neither is known. A window gives its own process; without one (an added
    // application) a running process of that identifier is looked for.
    std::string iconKey;
    std::optional<pid_t> pid;
    bool isWindow = true;
};

class ZoneItemView;

// The cell of one zone: "Zone N", the add button, and the grid of its items.
class ZoneCell : public QWidget {
  public:
    ZoneCell(ZoneCanvasHost& sheet, std::int64_t zoneID, QWidget* parent);

    std::int64_t zoneID() const { return zoneID_; }
    // The window entries, in the model's order, then the added applications.
    const std::vector<ZoneCellItem>& items() const { return items_; }
    // Above three items the names go and the icons shrink.
    bool isCompact() const { return items_.size() > 3; }
    ZoneCellColumns columns() const;
    QAbstractButton* addButton() const { return addButton_; }
    std::vector<ZoneItemView*> itemViews() const { return views_; }

    // Takes the cell's items from the model again.
    void reload();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void placeItems();

    ZoneCanvasHost& sheet_;
    std::int64_t zoneID_;
    QAbstractButton* addButton_ = nullptr;
    std::vector<ZoneCellItem> items_;
    std::vector<ZoneItemView*> views_;
};

// An icon in a cell with its name (unless compact) and its remove badge. The icon is the application's as
// the switcher shows it, the dashed outline until it arrives.
class ZoneItemView : public QWidget {
  public:
    ZoneItemView(const ZoneCellItem& item, bool compact, QWidget* parent);

    const ZoneCellItem& item() const { return item_; }
    QAbstractButton* removeBadge() const { return badge_; }
    static int heightFor(bool compact);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    double iconSize() const { return compact_ ? 24 : 32; }
    QRectF iconRect() const;

    ZoneCellItem item_;
    QImage icon_; // null until the icon cache hands it over
    bool compact_;
    QAbstractButton* badge_ = nullptr;
    QPoint pressedAt_;
    bool pressed_ = false;
};

// An excluded window in the tray: a click includes it, a drag places it.
class TrayChip : public QAbstractButton {
  public:
    TrayChip(const ZoneCellItem& item, QWidget* parent);

    const ZoneCellItem& item() const { return item_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    ZoneCellItem item_;
    QImage icon_;
    QPoint pressedAt_;
};

// The canvas of one zone list: the cells placed by ZoneCanvasLayout, the tray over its bottom-right
// corner, and the background behind them.
class ZoneCanvas : public QWidget {
  public:
    ZoneCanvas(ZoneCanvasHost& sheet, std::vector<ZoneListEntry> zones, QWidget* parent);

    const std::vector<ZoneListEntry>& zones() const { return zones_; }
    std::vector<ZoneCell*> cells() const { return cells_; }
    ZoneCell* cell(std::int64_t zoneID) const;
    // The excluded windows' chips, in the model's order; empty when every window is included.
    std::vector<TrayChip*> trayChips() const { return chips_; }
    QWidget* tray() const { return tray_; }

    // Takes every cell's items and the tray from the model again.
    void reload();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeTray();

    ZoneCanvasHost& sheet_;
    std::vector<ZoneListEntry> zones_;
    std::vector<ZoneCell*> cells_;
    QWidget* tray_ = nullptr;
    std::vector<TrayChip*> chips_;
};

} // namespace korvane
