// The addresses of the privacy panes, and the words that stand in for them where there are none.
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

bool openPrivacyPane(platform::Workspace& workspace, PrivacyPane pane) {
    // Handing a pane's address to a desktop without panes would at best do nothing and at worst open a
    // browser on it; the button explains instead.
    if (!workspace.hasPrivacyPanes()) return false;
    workspace.openURL(privacyPaneURL(pane));
    return true;
}

std::string privacyPaneHelp(PrivacyPane pane) {
    switch (pane) {
    case PrivacyPane::accessibility:
        // On X11 the grant is a window manager that follows the EWMH conventions: through it Korvane
        // learns which windows exist and which has the focus, and asks for them to be moved.
        return "Korvane moves and focuses windows through the window manager, so a window manager that "
               "follows the EWMH conventions must be running on this display. Most desktop environments "
               "have one. Start it, and Korvane goes on by itself at its next check.";
    case PrivacyPane::screenRecording:
        return "Window titles are open to every program on this display: there is nothing to grant.";
    }
    return {};
}

} // namespace korvane
