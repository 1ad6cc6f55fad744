// The scene canvas on screen: the drawing of one display of one scene over its canvas model. On the
// overlay it fills the display with a floating bar at the bottom; in a window it is a column with a header
// and a save bar. It draws what the model holds and sends every key, click and drag to the model's
// operations; the model's changes come back as one coalesced refresh.
#pragma once

#include "ui/scene_editor/SceneCanvasExcludedStrip.h"
#include "ui/scene_editor/SceneCanvasGeometry.h"
#include "ui/scene_editor/SceneCanvasPickers.h"
#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneCanvasZoneCell.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QKeyEvent;
class QLabel;
class QPushButton;

namespace korvane {

class SceneCanvasDividerHandles;
class SceneCanvasEmptyStateView;
class SceneCanvasSaveBar;
class SceneCanvasSplitHandle;
class SceneCanvasSplitPreview;
class SceneGeometryCanvasModel;

namespace platform {
class HotKeys;
class Platform;
class ObserverToken;
} // namespace platform

// The drawing area: zone cells, divider handles, the split preview, the empty state and the Excluded
// strip, all in the model's canvas coordinates. It takes the keyboard for the canvas.
class SceneCanvasArea : public QWidget {
  public:
    SceneCanvasArea(SceneGeometryCanvasModel& model, QWidget* parent);

    // In a window the area keeps the display's proportions; on the overlay it fills the display.
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // Repaints what the model's change altered: the zones whose fill changed, or everything when the
    // zones moved. Over the overlay's picture of a display a whole repaint costs a full frame.
    void refresh();
    void setModel(SceneGeometryCanvasModel& model);

    // Ctrl+S: whether it saved. Unset in a window, whose save bar holds the shortcut; on the overlay the
    // key comes to the canvas under the pointer rather than to its window's shortcuts.
    std::function<bool()> onSaveKey;
    // Names the key pressed where what it types is not a key of the canvas; none in a test without one.
    const platform::HotKeys* keys = nullptr;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Nothing drawn shows the focus: the toolkit's repaint of the whole area on every change of the
    // focus, a full frame over a display, is left out.
    void focusInEvent(QFocusEvent*) override {}
    void focusOutEvent(QFocusEvent*) override {}

  private:
    // A zone as the last paint drew it.
    struct DrawnZone {
        QRect frame;
        bool selected = false;
        bool hovered = false;
        friend bool operator==(const DrawnZone&, const DrawnZone&) = default;
    };
    std::vector<DrawnZone> drawnZones() const;

    SceneGeometryCanvasModel* model_;
    std::vector<DrawnZone> drawn_;
};

class SceneGeometryCanvasView : public QWidget {
  public:
    // The model's overlayMode picks the arrangement. The view tells the model it appears once it is
    // shown.
    SceneGeometryCanvasView(platform::Platform& platform, std::shared_ptr<SceneGeometryCanvasModel> model,
                            QWidget* parent = nullptr);
    ~SceneGeometryCanvasView() override;

    SceneGeometryCanvasModel& model() const { return *model_; }
    // Draws another model, as a canvas made on it would, keeping the views that show the same: a
    // canvas reopened on a scene is not built again. Its sheets and pickers close.
    void setModel(std::shared_ptr<SceneGeometryCanvasModel> model);
    // Draws the model's state now rather than on the next turn of the event loop.
    void refresh();
    // Closes the template sheet and the application picker, as dismissed.
    void closePickers();
    // A key that acts where the pointer is now (`pointer`, global): the zone under it becomes the hovered
    // one, as a move there makes it, and the canvas takes the key. The pointer may have come to rest on
    // the canvas unseen: its moves reach the canvas only while no other window holds the pointer.
    void takeKey(QKeyEvent& key, const QPoint& pointer);

    SceneCanvasArea* canvasArea() const { return area_; }
    const std::map<std::int64_t, SceneCanvasZoneCell*>& cells() const { return cells_; }
    const std::vector<SceneCanvasSplitHandle*>& handles() const;
    SceneCanvasSplitPreview* splitPreview() const { return preview_; }
    SceneCanvasExcludedStrip* excludedStrip() const { return excluded_; }
    SceneCanvasEmptyStateView* emptyState() const { return emptyState_; }
    // The hint line: above the bar on the overlay, in the header in a window.
    QLabel* hintLabel() const { return hint_; }
    // The overlay's bar and its buttons (null in a window).
    QWidget* overlayBar() const { return bar_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* doneButton() const { return done_; }
    // The window's save bar and header (null on the overlay).
    SceneCanvasSaveBar* saveBar() const { return saveBar_; }
    QLabel* templateLabel() const { return templateLabel_; }
    QPushButton* customizeButton() const { return customize_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* applySceneButton() const { return applyScene_; }
    LayoutTemplatePickerSheet* templatePicker() const { return pickers_->templatePicker(); }
    AppPickerView* appPicker() const { return pickers_->appPicker(); }

    // Starts a drag of `payload` from one of this canvas's chips; the canvas's views are not rebuilt
    // until it ends.
    void startDrag(QWidget* source, const std::string& payload);

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void observeModel();
    void buildOverlayBar();
    void buildWindowHeader();
    void scheduleRefresh();
    void refreshCells();
    void refreshHandles();
    void refreshPreview();
    void refreshBars();
    void placeFloating();
    // What floats over the cells above them, raising only what is not already there.
    void restack();
    SceneCanvasZoneCell* makeCell(std::int64_t zoneID, std::vector<SceneCanvasAppEntry> apps);

    platform::Platform& platform_;
    std::shared_ptr<SceneGeometryCanvasModel> model_;
    std::unique_ptr<platform::ObserverToken> observation_;
    bool refreshPosted_ = false;
    QPointer<QWidget> dragSource_;
    bool appeared_ = false;

    SceneCanvasArea* area_ = nullptr;
    std::map<std::int64_t, SceneCanvasZoneCell*> cells_;
    std::vector<SceneCanvasZoneFrame> shownZones_;
    std::unique_ptr<SceneCanvasDividerHandles> dividers_;
    SceneCanvasSplitPreview* preview_ = nullptr;
    SceneCanvasEmptyStateView* emptyState_ = nullptr;
    SceneCanvasExcludedStrip* excluded_ = nullptr;
    SceneCanvasPlateLabel* hint_ = nullptr;
    QWidget* bar_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* done_ = nullptr;
    SceneCanvasSaveBar* saveBar_ = nullptr;
    QLabel* templateLabel_ = nullptr;
    QPushButton* customize_ = nullptr;
    QPushButton* change_ = nullptr;
    QPushButton* choose_ = nullptr;
    QPushButton* applyScene_ = nullptr;
    std::unique_ptr<SceneCanvasPickers> pickers_;
};

} // namespace korvane
