// The rows' words and grants.
#include "app/permission/PermissionRows.h"

#include "app/PermissionManager.h"

namespace korvane {

std::array<PermissionRow, 2> permissionRows(const PermissionManager& manager) {
    return {{
        {PrivacyPane::accessibility, "Accessibility", "Allows window moving and focus tracking.",
         manager.isAccessibilityGranted()},
        {PrivacyPane::screenRecording, "Screen Recording", "Allows reading window titles. Restart required.",
         manager.isScreenRecordingGranted()},
    }};
}

} // namespace korvane
