// The "General" page: start at login, the scene options with "Open Scene Manager", the control+option
// gestures, the drag-to-zone exclusion list, the permissions and the version.
#pragma once

#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;

namespace korvane {

class DragSnapBlacklistView;
class PermissionManager;
class PermissionsSectionView;
class SettingsViewModel;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Main thread. Every toggle shows a field of the model and changes it through the model; every showing of
// the page checks the permissions again.
class GeneralSettingsView final : public QWidget {
  public:
    GeneralSettingsView(platform::Platform& platform, SettingsViewModel& model,
                        std::shared_ptr<PermissionManager> permissionManager, QWidget* parent = nullptr);
    ~GeneralSettingsView() override;

    // "Version " and the version the build stamped, "?" when it stamped none.
    static QString versionText(const char* version);

    DragSnapBlacklistView* blacklistView() const { return blacklist_; }
    PermissionsSectionView* permissionsSection() const { return permissions_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void refresh();

    SettingsViewModel& model_;
    std::shared_ptr<PermissionManager> permissionManager_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QCheckBox* launchAtLogin_ = nullptr;
    QLabel* launchCaption_ = nullptr;
    QCheckBox* prompt_ = nullptr;
    QCheckBox* park_ = nullptr;
    QLabel* parkCaption_ = nullptr;
    QCheckBox* sdp_ = nullptr;
    QLabel* sdpCaption_ = nullptr;
    QCheckBox* invert_ = nullptr;
    DragSnapBlacklistView* blacklist_ = nullptr;
    PermissionsSectionView* permissions_ = nullptr;
};

} // namespace korvane
