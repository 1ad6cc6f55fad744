// The "Shortcuts" page: one row per shortcut of the model, in the model's order, each with its recorder
// or, for the digit-range binding, its modifier toggles, and under the row of a combination refused, or
// of one the program cannot hold, the reason; then "Reset to Defaults" and "Open Config File".
#pragma once

#include "ui/settings/SettingsViewModel.h"

#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QGridLayout;
class QLabel;
class QPushButton;

namespace korvane {

// Main thread. Keeps no state of its own: it redraws when the rows or the recording change, in place
// while the same rows show (a control keeps the keyboard), made anew when the rows differ. A page out of
// sight is brought up to date when it shows again, so that nothing redraws a page being torn down (its
// window's teardown hides it, and a hidden recorder ends the recording).
class HotkeysSettingsView final : public QWidget {
  public:
    explicit HotkeysSettingsView(SettingsViewModel& model, QWidget* parent = nullptr);
    ~HotkeysSettingsView() override;

    // The button showing "Type shortcut..."; nothing while no row records.
    QPushButton* recordingButton() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void orderKeyboard();
    void refresh();
    void rebuild();
    void giveRecorderTheKeyboard();
    void showRefusal();

    SettingsViewModel& model_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QGridLayout* rows_ = nullptr;
    QWidget* reset_ = nullptr;
    QWidget* open_ = nullptr;
    QLabel* openFailure_ = nullptr;
    std::vector<QWidget*> rowWidgets_; // per row its title, then its control
    std::vector<HotkeyBindingViewModel> shownRows_;
    std::optional<std::string> shownRecording_;
    std::vector<QLabel*> notes_; // per row the line of a refused combination, or of one not held
    std::optional<ShortcutRefusal> shownRefusal_;
    std::map<std::string, std::string> shownUnheld_;
    bool notesShown_ = false; // the notes made with the rows show what the fields above hold
};

} // namespace korvane
