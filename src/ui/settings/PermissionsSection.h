// The permissions section of the General page: the two grants with their state, a fresh check on request
// and on every showing of the page, and the buttons that open the privacy panes where the user grants
// what window management needs, or where there are none, as on X11, say what gives the grant.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

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

// The section's rows over the shared permission manager, in X11's words: "Window Manager (EWMH)",
// "Running" or "Not Running", and "Screen Recording", "Not Needed" (X11 has no such grant) or "Not
// Granted"; "Check Permissions", "Window Manager Help" and, only while that grant is missing, "Screen
// Recording Help", which open the privacy pane or, on X11, show what gives the grant; the caption.
// Main thread.
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
    void showRow(Row& row, bool granted, const QString& state);
    void open(bool accessibility);

    PermissionsSection section_;
    std::shared_ptr<PermissionManager> manager_;
    std::unique_ptr<platform::ObserverToken> observation_;
    Row accessibility_;
    Row screenRecording_;
    QLabel* help_ = nullptr;
    QPushButton* openScreenRecording_ = nullptr;
};

} // namespace korvane
