// The permissions section's pane openers.
#include "ui/settings/PermissionsSection.h"

#include "app/PrivacySettings.h"

namespace korvane {

PermissionsSection::PermissionsSection(platform::Workspace& workspace) : workspace_(workspace) {}

bool PermissionsSection::openAccessibilitySettings() {
    return openPrivacyPane(workspace_, PrivacyPane::accessibility);
}

bool PermissionsSection::openScreenRecordingSettings() {
    return openPrivacyPane(workspace_, PrivacyPane::screenRecording);
}

} // namespace korvane
