// The permissions section's pane openers.
#include "ui/settings/PermissionsSection.h"

#include "app/PrivacySettings.h"

namespace korvane {

PermissionsSection::PermissionsSection(platform::Workspace& workspace) : workspace_(workspace) {}

void PermissionsSection::openAccessibilitySettings() {
    openPrivacyPane(workspace_, PrivacyPane::accessibility);
}

void PermissionsSection::openScreenRecordingSettings() {
    openPrivacyPane(workspace_, PrivacyPane::screenRecording);
}

} // namespace korvane
