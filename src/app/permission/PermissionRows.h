// The two rows of the permission window as plain data: which grant each shows, its words, and whether it
// carries the "Granted" badge or the "Open Settings" button.
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
    bool granted = false;    // the badge when true, else the settings button
};

// Accessibility first, then Screen Recording, with the grants as the manager holds them now.
std::array<PermissionRow, 2> permissionRows(const PermissionManager& manager);

} // namespace korvane
