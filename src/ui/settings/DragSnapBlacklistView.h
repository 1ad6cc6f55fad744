// The drag-to-zone exclusion list of the General page: one row per listed application, with its icon and
// name while it runs and its bundle identifier otherwise, a button that removes it, and "Add
// Application..." which opens the application picker as a sheet.
#pragma once

#include "platform/RunLoop.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QVBoxLayout;

namespace korvane {

class SettingsViewModel;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Main thread. Redraws its rows when the list or the cache of running applications changes. While it
// shows and a row lacks its application's look, it looks again as soon as the model's cache may be
// refreshed (and whenever it is shown again), so that an application started or added meanwhile gets its
// icon and name without another change.
class DragSnapBlacklistView final : public QWidget {
  public:
    DragSnapBlacklistView(platform::Platform& platform, SettingsViewModel& model, QWidget* parent = nullptr);
    ~DragSnapBlacklistView() override;

    // "Add Application...": the picker as a sheet of this window; a choice is added to the list.
    void showAppPicker();
    // The sheet while it is open.
    QWidget* appPickerSheet() const;
    // The picker's selection binding: the last choice until it is added, then empty again.
    const std::string& selectedBundleID() const { return selectedBundleID_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void rebuildIfChanged();
    void rebuild();
    void orderKeyboard();
    void lookAgain();
    void scheduleLookAgain();

    platform::Platform& platform_;
    SettingsViewModel& model_;
    std::unique_ptr<platform::ObserverToken> observation_;
    platform::WorkItemRef lookAgain_;
    QVBoxLayout* rows_ = nullptr;
    QPushButton* add_ = nullptr;
    std::vector<QWidget*> rowWidgets_;
    // What the rows show, to redraw only on a change.
    std::vector<std::string> shownList_;
    std::vector<std::string> shownNames_;
    bool rebuilding_ = false;
    std::string selectedBundleID_;
    struct Sheet;
    std::unique_ptr<Sheet> sheet_;
};

} // namespace korvane
