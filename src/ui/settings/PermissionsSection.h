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

    // Hand the workspace the address of the Accessibility, respectively the Screen Recording pane.
    void openAccessibilitySettings();
    void openScreenRecordingSettings();

  private:
    platform::Workspace& workspace_;
};

} // namespace korvane
