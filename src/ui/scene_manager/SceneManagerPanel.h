// The content of the "Scene Manager" window over its model: the loading state, the empty state with
// "Create Scene", and the form of scene cards, displays and the selected display's layout with the preset
// popover. It keeps no state of its own beyond the rename text and the card under the pointer.
#pragma once

#include "ui/scene_manager/SceneManagerAlert.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QMessageBox;

namespace korvane {

class LayoutMiniPreviewView;
class PresetPickerView;
class SceneManagerViewModel;
class SceneManagerCardStrip;

namespace platform {
class ObserverToken;
class Screens;
} // namespace platform

// The standard message box of an alert, not shown; the default presenter runs it.
QMessageBox* makeAlertBox(QWidget* parent, const SceneManagerAlert& alert);
int presentAlertModally(QWidget* parent, const SceneManagerAlert& alert);

class SceneManagerPanel : public QWidget {
  public:
    // Its popups open on the screens of `screens`.
    SceneManagerPanel(platform::Screens& screens, std::shared_ptr<SceneManagerViewModel> viewModel,
                      SceneManagerAlertPresenter presenter, QWidget* parent = nullptr);
    ~SceneManagerPanel() override;

    // "Delete Scene?" for that scene, through the presenter; "Delete" deletes it.
    void confirmDelete(std::string sceneID);
    // The rename button of a card: selects its scene and opens the rename row.
    void beginRename(std::string sceneID);

    // What tests and the window's owner look at.
    SceneManagerCardStrip* strip() const { return strip_; }
    QLineEdit* renameField() const { return renameField_; }
    QWidget* presetPopover() const { return popover_; }
    PresetPickerView* presetPicker() const { return picker_; }
    LayoutMiniPreviewView* preview() const { return preview_; }
    QWidget* displayRow(const std::string& uuid) const;
    QWidget* currentPage() const;

  private:
    void refresh();
    void refreshDisplays();
    void syncPopover();
    QWidget* makeLoadingPage();
    QWidget* makeEmptyPage();
    QWidget* makeForm();

    platform::Screens& screens_;
    std::shared_ptr<SceneManagerViewModel> viewModel_;
    SceneManagerAlertPresenter presenter_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QStackedWidget* pages_ = nullptr;
    QWidget* loadingPage_ = nullptr;
    QWidget* emptyPage_ = nullptr;
    QWidget* formPage_ = nullptr;
    SceneManagerCardStrip* strip_ = nullptr;
    QWidget* renameRow_ = nullptr;
    QLineEdit* renameField_ = nullptr;
    QVBoxLayout* displayRows_ = nullptr;
    std::vector<std::pair<std::string, QWidget*>> displayRowWidgets_;
    LayoutMiniPreviewView* preview_ = nullptr;
    QPushButton* presetButton_ = nullptr;
    QWidget* popover_ = nullptr;
    PresetPickerView* picker_ = nullptr;
};

} // namespace korvane
