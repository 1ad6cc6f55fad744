// The panes of the system's privacy settings that the permission window and the settings window open,
// the one address of each, and what takes their place on a desktop that has no such panes.
#pragma once

#include <string>

namespace korvane {

namespace platform {
class Workspace;
}

enum class PrivacyPane { accessibility, screenRecording };

// The address the workspace opens for the pane.
std::string privacyPaneURL(PrivacyPane pane);

// Where the system keeps privacy panes, hands the pane's address to the workspace and answers true
// (whether anything opened is not examined). Where it has none, as on an X11 desktop, no address leads
// anywhere: nothing is opened, the answer is false, and the caller tells the user privacyPaneHelp().
bool openPrivacyPane(platform::Workspace& workspace, PrivacyPane pane);

// What gives the grant on a desktop without privacy panes, in words for the user.
std::string privacyPaneHelp(PrivacyPane pane);

} // namespace korvane
