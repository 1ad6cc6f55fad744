// A zone of the scene canvas as the user sees it: its title, the button that adds an application, its
// application chips (or "Drop apps here") and the drop target they are dragged onto; and the small chips of
// the Excluded strip.
//
// The views hold no model state: every change leaves through the callbacks they are built with, and the
// canvas builds them again from its model.
#pragma once

#include "ui/scene_editor/SceneCanvasAppEntry.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QMimeData;
class QToolButton;

namespace korvane {

// The text a drop carries, as the canvas's drop targets take it: none when it carries no text.
std::vector<std::string> sceneCanvasDropTexts(const QMimeData* mime);

// Starts a drag carrying `payload` as text from `source`; returns when the drag has ended. The canvas
// provides it so that it can hold back rebuilding its views while one of them is the drag's source.
using SceneCanvasDragStarter = std::function<void(QWidget* source, const std::string& payload)>;

// An application chip in a zone: its picture (the application's icon as the switcher shows it, a dashed
// outline until it arrives) over its name; a placeholder is drawn faint and outlined with a dashed line.
// A remove button shows on hover, except on a placeholder.
class SceneCanvasAppIcon : public QWidget {
  public:
    SceneCanvasAppIcon(SceneCanvasAppEntry entry, std::function<void()> onRemove, std::string dragPayload,
                       SceneCanvasDragStarter startDrag, QWidget* parent);

    const SceneCanvasAppEntry& entry() const { return entry_; }
    const std::string& dragPayload() const { return dragPayload_; }
    // Takes the entry its application has now: its identity in another load of the scene, or the name
    // looked up since. Only a new name is drawn again.
    void renew(SceneCanvasAppEntry entry, std::string dragPayload);
    QToolButton* removeButton() const { return remove_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    static constexpr int kIconSide = 64;

    void setHovering(bool hovering);

    SceneCanvasAppEntry entry_;
    std::string dragPayload_;
    SceneCanvasDragStarter startDrag_;
    QImage icon_; // null until the icon cache hands it over
    std::optional<QPoint> pressedAt_;
    QToolButton* remove_;
};

// One zone. Drops of text land on the chip under the pointer (at its place) or at the end of the zone.
class SceneCanvasZoneCell : public QWidget {
  public:
    struct Callbacks {
        std::function<void()> onTap;
        std::function<void(const SceneCanvasAppEntry&)> onRemoveApp;
        // The add button was pressed: the canvas opens the application picker for this zone.
        std::function<void()> onAddPressed;
        std::function<bool(const std::string&)> onDropToZone;
        std::function<bool(const std::string&, int)> onDropToIndex;
        // A drag entered (true) or left (false) the cell. A drag the zone would refuse (see takesDrop)
        // enters unannounced: the zone is not offered as a place for it.
        std::function<void(bool)> onDropTargeted;
        // Whether the zone would take the dragged text; unset, it takes any.
        std::function<bool(const std::string&)> takesDrop;
        std::function<std::string(const SceneCanvasAppEntry&)> dragPayloadForEntry;
        SceneCanvasDragStarter startDrag;
    };

    SceneCanvasZoneCell(std::int64_t zoneID, std::vector<SceneCanvasAppEntry> apps, bool isLargeCanvas,
                        Callbacks callbacks, QWidget* parent);

    std::int64_t zoneID() const { return zoneID_; }
    const std::vector<SceneCanvasAppEntry>& apps() const { return apps_; }
    // Takes `apps` when they are the applications the cell's chips stand for, in their order, differing
    // at most in the chips' identities (a reload of the same scene) and names (looked up since), without
    // drawing anything but a renamed chip again, and in the "Drop here" chip at the end, which comes or
    // goes alone; false, and nothing taken, otherwise.
    bool renew(const std::vector<SceneCanvasAppEntry>& apps);
    void setSelected(bool isSelected);
    void setDropTarget(bool isDropTarget);
    bool isSelected() const { return isSelected_; }
    // Tinted green: the zone offered as the place for the chip carried over it.
    bool isDropTarget() const { return isDropTarget_; }
    QToolButton* addButton() const { return add_; }
    QLabel* titleLabel() const { return title_; }
    // "Drop apps here" while the zone has no applications.
    QLabel* emptyLabel() const { return empty_; }
    const std::vector<SceneCanvasAppIcon*>& chips() const { return chips_; }
    // The first dropped text on the chip under `at` (cell coordinates) or else the zone; an empty drop
    // is refused.
    bool acceptDrop(const std::vector<std::string>& texts, QPoint at);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void showEmptyLabel(bool shown);
    // A chip for the entry at the end of the cell's chips.
    void addChip(const SceneCanvasAppEntry& entry);
    void layoutChips();
    void updateTitleColour();

    std::int64_t zoneID_;
    std::vector<SceneCanvasAppEntry> apps_;
    bool isLargeCanvas_;
    Callbacks callbacks_;
    bool isSelected_ = false;
    bool isDropTarget_ = false;
    QLabel* title_;
    QToolButton* add_;
    QLabel* empty_ = nullptr;
    std::vector<SceneCanvasAppIcon*> chips_;
};

// A chip of the Excluded strip: a 22 pt picture (as a zone's chip has it) over its name in small type,
// dragged to a zone.
class SceneCanvasExcludedAppIcon : public QWidget {
  public:
    SceneCanvasExcludedAppIcon(SceneCanvasAppEntry entry, std::string dragPayload,
                               SceneCanvasDragStarter startDrag, QWidget* parent);

    const SceneCanvasAppEntry& entry() const { return entry_; }
    const std::string& dragPayload() const { return dragPayload_; }
    // As SceneCanvasAppIcon::renew.
    void renew(SceneCanvasAppEntry entry, std::string dragPayload);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    SceneCanvasAppEntry entry_;
    std::string dragPayload_;
    SceneCanvasDragStarter startDrag_;
    QImage icon_;
    std::optional<QPoint> pressedAt_;
};

} // namespace korvane
