// The application picker: a 400 × 500 dialog with a search field over the running and installed
// applications, used wherever the user names an application by its bundle identifier. Open it with
// open() (window-modal over its parent) or show(); it reads its lists each time it is shown.
#pragma once

#include "ui/switchers/AppPickerModel.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QLineEdit;
class QScrollArea;

namespace korvane {

namespace platform {
class Platform;
}

class AppPickerRowsView;

// Main thread only. Choosing a row writes the model's selectedBundleID, calls `onSelect` with the
// identifier and closes the dialog (accepted); Escape closes it (rejected).
class AppPickerView : public QDialog {
  public:
    AppPickerView(platform::Platform& platform, const std::string& selectedBundleID, bool showBundleID,
                  std::function<void(const std::string&)> onSelect, QWidget* parent = nullptr);
    ~AppPickerView() override;

    AppPickerModel& model() { return *model_; }
    // The identifier last chosen, or the one it was opened with.
    const std::string& selectedBundleID() const { return model_->selectedBundleID; }
    QLineEdit* searchField() const { return searchField_; }
    AppPickerRowsView* rowsView() const { return rows_; }

    static constexpr int kWidth = 400;
    static constexpr int kHeight = 500;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void modelChanged();

    platform::Platform& platform_;
    std::shared_ptr<AppPickerModel> model_;
    QLineEdit* searchField_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    AppPickerRowsView* rows_ = nullptr;
    bool chosen_ = false;
};

// The list under the search field, painted row by row: section titles, the custom row and application
// rows with their icons, which arrive from the icon cache as they are rendered.
class AppPickerRowsView : public QWidget {
  public:
    AppPickerRowsView(AppPickerModel& model, QWidget* parent);

    // Lays the rows out again after the model changed.
    void reload();
    // The rectangle of a row (by its index in the model's rows), within this view.
    QRect rowRect(int index) const;
    // The row under a point of this view, if any.
    std::optional<int> rowAt(QPoint point) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    struct Placed {
        int row = -1; // -1 for a section title
        QString title;
        QRect rect;
    };
    QImage iconFor(const AppInfo& app);

    AppPickerModel& model_;
    std::vector<Placed> placed_;
    std::map<std::string, QImage> icons_;
    std::set<std::string> requested_;
};

} // namespace korvane
