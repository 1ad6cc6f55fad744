// The addresses of the privacy panes.
#include "app/PrivacySettings.h"

#include "platform/Workspace.h"

namespace korvane {

std::string privacyPaneURL(PrivacyPane pane) {
    const std::string security = "x-apple.systempreferences:com.apple.preference.security";
    switch (pane) {
    case PrivacyPane::accessibility:
        return security + "?Privacy_Accessibility";
    case PrivacyPane::screenRecording:
        return security + "?Privacy_ScreenCapture";
    }
    return security;
}

void openPrivacyPane(platform::Workspace& workspace, PrivacyPane pane) {
    workspace.openURL(privacyPaneURL(pane));
}

} // namespace korvane
