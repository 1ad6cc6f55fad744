// The permissions section of the General page: its two buttons open the privacy panes where the user
// grants what window management needs.
#pragma once

namespace korvane {

namespace platform {
class Workspace;
}

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

} // namespace korvane
