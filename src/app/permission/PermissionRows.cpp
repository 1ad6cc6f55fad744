// The rows' words and grants.
#include "app/permission/PermissionRows.h"

#include "app/PermissionManager.h"

namespace korvane {

std::array<PermissionRow, 2> permissionRows(const PermissionManager& manager) {
    // In X11's words: the accessibility grant is a running window manager that follows the EWMH
    // conventions, and there is no screen-recording grant at all; the check answers granted for it.
    return {{
        {PrivacyPane::accessibility, "Window Manager",
         "Korvane moves windows and follows the focus through an EWMH window manager on this display.",
         "Running", manager.isAccessibilityGranted()},
        {PrivacyPane::screenRecording, "Screen Recording",
         "Not needed on X11: every program on this display can read window titles.", "Not Needed",
         manager.isScreenRecordingGranted()},
    }};
}

} // namespace korvane
