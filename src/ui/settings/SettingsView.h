// The content of the "Preferences" window: a sidebar with "General" and "Shortcuts" and the chosen page
// beside it. While a shortcut is recorded it also holds the one key filter that feeds the model, and ends
// the recording when the window loses the keyboard or hides.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QListWidget;
class QStackedWidget;

namespace korvane {

class GeneralSettingsView;
class HotkeysSettingsView;
class PermissionManager;
class RecordingKeyFilter;
class SettingsViewModel;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Main thread, in a Qt widget application.
class SettingsView final : public QWidget {
  public:
    SettingsView(platform::Platform& platform, std::shared_ptr<SettingsViewModel> model,
                 std::shared_ptr<PermissionManager> permissionManager, QWidget* parent = nullptr);
    ~SettingsView() override;

    GeneralSettingsView* generalPage() const { return general_; }
    HotkeysSettingsView* hotkeysPage() const { return hotkeys_; }
    QListWidget* sidebar() const { return sidebar_; }
    // The key filter installed now, a child of this view; nothing while no shortcut is recorded.
    RecordingKeyFilter* keyFilter() const { return keyFilter_; }

  protected:
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void refresh();
    void removeKeyFilter();

    std::shared_ptr<SettingsViewModel> model_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QListWidget* sidebar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    GeneralSettingsView* general_ = nullptr;
    HotkeysSettingsView* hotkeys_ = nullptr;
    RecordingKeyFilter* keyFilter_ = nullptr;
    std::optional<std::string> filteredAction_;
};

} // namespace korvane
