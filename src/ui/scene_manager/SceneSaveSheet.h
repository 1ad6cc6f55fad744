// The content of the "Save Scene" window: the name, a row of layout chips choosing which layout arranges
// the windows, the zone canvas (or its empty state), and the footer with the count, "Cancel" and "Save
// Scene". Everything it shows belongs to the save-scene model; it keeps only which cell a drag hovers and
// which cell's application picker is open.
#pragma once

#include "ui/scene_manager/ZoneCanvasHost.h"
#include "ui/scene_manager/ZoneList.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace korvane {

class SceneSaveViewModel;
class ZoneCanvas;
class LayoutChip;

namespace platform {
class ObserverToken;
} // namespace platform

// Main thread only. The model outlives nothing here: the sheet holds it.
class SceneSaveSheet : public QWidget, public ZoneCanvasHost {
  public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 580;

    explicit SceneSaveSheet(std::shared_ptr<SceneSaveViewModel> viewModel, QWidget* parent = nullptr);
    ~SceneSaveSheet() override;

    SceneSaveViewModel& viewModel() const override { return *viewModel_; }

    // The zone cell a dragged window hovers over; drawn highlighted.
    std::optional<std::int64_t> dropTargetZoneID() const override { return dropTargetZoneID_; }
    void setDropTargetZoneID(std::optional<std::int64_t> zoneID) override;
    // The zone whose application picker is open; at most one is.
    std::optional<std::int64_t> appPickerZoneID() const { return appPickerZoneID_; }

    // Includes or excludes the first entry with this id and assigns the zones again; an unknown id does
    // nothing.
    void setEntryIncluded(const std::string& id, bool included) override;
    // A dragged window dropped on a zone: text that is not a UUID, or a zone the window's display lacks,
    // is refused and changes nothing; otherwise that id goes to the zone and its entry, when excluded, is
    // included. Returns whether the drop was taken.
    bool dropEntry(const QString& text, std::int64_t zoneID) override;
    bool acceptsDrop(const QString& text, std::int64_t zoneID) const override;
    // The layout chips: nothing is "Current" (each display by its own layout), else a layout's id. With
    // windows on several displays no layout is chosen: the chips take no click then, and a line says the
    // displays keep their layouts.
    void chooseLayout(const std::optional<std::string>& layoutID);
    void removeManualApp(const std::string& id, std::int64_t zoneID) override;
    // Opens the application picker of a zone under its add button; a choice adds the application to the
    // zone, any other dismissal adds nothing.
    void openAppPicker(std::int64_t zoneID, QWidget* anchor) override;
    // The open picker's window; nothing while none is open.
    QWidget* appPicker() const { return appPicker_; }

    // Whether "Save Scene" is offered: a name that is not only white space, no save running, and a layout
    // to arrange the windows by.
    bool canSave() const;
    void save();
    void cancel();

    // Draws everything from the model again.
    void reload();

    // What the window shows, for whoever needs to find it.
    QLineEdit* nameField() const { return nameField_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* countLabel() const { return countLabel_; }
    // Why the last save wrote nothing; hidden while there is no such reason.
    QLabel* saveFailureLine() const { return saveFailureLine_; }
    QWidget* chipRow() const { return chipRow_; }
    std::vector<LayoutChip*> chips() const { return chips_; }
    QLabel* layoutsKeptLine() const { return layoutsKeptLine_; }
    // The canvas; nothing while the empty state shows.
    ZoneCanvas* canvas() const { return canvas_; }
    QWidget* emptyState() const { return emptyState_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Keeps out of the name the letters of keys pressed with Super, Ctrl or Alt other than the field's
    // editing keys: while the window holds the keyboard the window manager's own bindings (Super+T) reach
    // the field, whose toolkit would type their letter.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window may be made before its model has captured anything: what shows is the model as it
    // stands when it appears.
    void showEvent(QShowEvent* event) override;

  private:
    void buildChips();
    void reloadCanvasArea();
    void reloadFooter();
    void pickerClosed(QWidget* picker);

    std::shared_ptr<SceneSaveViewModel> viewModel_;
    std::optional<std::int64_t> dropTargetZoneID_;
    std::optional<std::int64_t> appPickerZoneID_;

    QLineEdit* nameField_ = nullptr;
    QWidget* chipRow_ = nullptr;
    std::vector<LayoutChip*> chips_;
    QLabel* layoutsKeptLine_ = nullptr;
    QVBoxLayout* canvasArea_ = nullptr;
    ZoneCanvas* canvas_ = nullptr;
    QWidget* emptyState_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QLabel* saveFailureLine_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPointer<QWidget> appPicker_;
    std::unique_ptr<platform::ObserverToken> savingObservation_;
};

// A chip of the layout row: the layout's miniature over its name, marked while chosen.
class LayoutChip : public QAbstractButton {
  public:
    // `layoutID` nothing: the "Current" chip, with an empty miniature.
    LayoutChip(std::optional<std::string> layoutID, const QString& name, std::vector<ZoneListEntry> zones,
               QWidget* parent);

    const std::optional<std::string>& layoutID() const { return layoutID_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<std::string> layoutID_;
    std::vector<ZoneListEntry> zones_;
    bool selected_ = false;
};

} // namespace korvane
