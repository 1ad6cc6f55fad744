// The panes of the system's privacy settings that the permission window and the settings window open, and
// the one address of each.
#pragma once

#include <string>

namespace korvane {

namespace platform {
class Workspace;
}

enum class PrivacyPane { accessibility, screenRecording };

// The address the workspace opens for the pane.
std::string privacyPaneURL(PrivacyPane pane);
// Hands the pane's address to the workspace; whether it opened anything is not examined.
void openPrivacyPane(platform::Workspace& workspace, PrivacyPane pane);

} // namespace korvane
