// The permissions section of the General page: the two grants with their state, a fresh check on request
// and on every showing of the page, and the buttons that open the privacy panes where the user grants
// what window management needs.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;

namespace korvane {

class PermissionManager;

namespace platform {
class ObserverToken;
class Workspace;
} // namespace platform

class PermissionsSection {
  public:
    explicit PermissionsSection(platform::Workspace& workspace);

    // Open the Accessibility, respectively the Screen Recording pane, and answer true; on a desktop
    // without privacy panes open nothing and answer false, and the page shows privacyPaneHelp()
    // instead (see openPrivacyPane).
    bool openAccessibilitySettings();
    bool openScreenRecordingSettings();

  private:
    platform::Workspace& workspace_;
};

// The section's rows over the shared permission manager: "Accessibility" and "Screen Recording" with
// "Granted" or "Not Granted", "Check Permissions" and the two pane buttons, and the caption. Main thread.
class PermissionsSectionView final : public QWidget {
  public:
    PermissionsSectionView(platform::Workspace& workspace, std::shared_ptr<PermissionManager> manager,
                           QWidget* parent = nullptr);
    ~PermissionsSectionView() override;

    // Writes "[Settings] Permission check requested" to standard output, then checks both grants.
    void checkPermissions();
    // Shows the rows as the manager holds the grants now.
    void refresh();

  private:
    struct Row {
        QLabel* symbol = nullptr;
        QLabel* title = nullptr;
        QLabel* state = nullptr;
    };
    void showRow(Row& row, bool granted);
    void open(bool accessibility);

    PermissionsSection section_;
    std::shared_ptr<PermissionManager> manager_;
    std::unique_ptr<platform::ObserverToken> observation_;
    Row accessibility_;
    Row screenRecording_;
    QLabel* help_ = nullptr;
};

} // namespace korvane
