// The two rows of the permission window as plain data: which grant each shows, its words, and whether it
// carries its badge ("Running", "Not Needed") or the "What to Do" button.
#pragma once

#include "app/PrivacySettings.h"

#include <array>
#include <string>

namespace korvane {

class PermissionManager;

struct PermissionRow {
    PrivacyPane pane = PrivacyPane::accessibility;
    std::string title;       // shown verbatim
    std::string description; // shown verbatim
    std::string badge;       // the badge's text, looked up for a translation
    bool granted = false;    // the badge when true, else the button that says what gives the grant
};

// The window manager (the accessibility grant) first, then Screen Recording, with the grants as the manager
// holds them now.
std::array<PermissionRow, 2> permissionRows(const PermissionManager& manager);

} // namespace korvane
