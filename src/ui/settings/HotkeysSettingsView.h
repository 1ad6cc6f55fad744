// The "Shortcuts" page: one row per shortcut of the model, in the model's order, each with its recorder
// or, for the digit-range binding, its modifier toggles; then "Reset to Defaults" and "Open Config File".
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QGridLayout;

namespace korvane {

class SettingsViewModel;
struct HotkeyBindingViewModel;

namespace platform {
class ObserverToken;
}

// Main thread. Keeps no state of its own: it redraws when the rows or the recording change.
class HotkeysSettingsView final : public QWidget {
  public:
    explicit HotkeysSettingsView(SettingsViewModel& model, QWidget* parent = nullptr);
    ~HotkeysSettingsView() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void orderKeyboard();
    void rebuildIfChanged();
    void rebuild();

    SettingsViewModel& model_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QGridLayout* rows_ = nullptr;
    QWidget* reset_ = nullptr;
    QWidget* open_ = nullptr;
    std::vector<QWidget*> rowWidgets_;
    std::vector<HotkeyBindingViewModel> shownRows_;
    std::optional<std::string> shownRecording_;
};

} // namespace korvane
