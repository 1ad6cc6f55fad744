// The window list as the switcher lists it: the windows a user would jump to, one tile each, then one
// tile for every application that has none of those windows, sorted by application name and title.
#pragma once

#include "platform/Screens.h"
#include "platform/WindowServer.h"
#include "ui/switchers/SwitcherItem.h"

#include <optional>
#include <unordered_map>
#include <vector>

namespace korvane::CGPipeline {

// What the per-window filters need of the desktop besides the list.
struct Context {
    // Which zone each window occupies on the active display.
    std::unordered_map<WindowID, int> zoneByWindowID;
    std::unordered_map<pid_t, RunningAppSnapshot> appsByPID;
    // Parked windows are recognised against these; window-list bounds are flipped with the primary
    // screen's height first (left unflipped without a primary screen).
    std::vector<platform::ScreenInfo> screens;
    std::optional<double> primaryHeight;
    // Logs how many windows the de-duplication kept and dropped.
    bool logDuplicates = false;
};

// The list's window entries, front to back, that pass the filters (layer 0, visible, larger than 2 points
// each way, not parked, of a regular application other than this program, not a small untitled or
// auxiliary window, not a browser's strip), with duplicates of one window dropped (the frontmost
// stays). Entries with missing or mistyped values are skipped or take defaults, never trusted. Keeps
// the list's order.
std::vector<SwitcherItem> buildItems(const std::vector<platform::WindowInfo>& windowInfos,
                                     const Context& context);

// Appends one entry for every regular application other than this program, in the given order, that
// has no item yet.
std::vector<SwitcherItem> appendWindowlessApplications(std::vector<SwitcherItem> items,
                                                       const std::vector<RunningAppSnapshot>& apps);

// Stable: by application name, ties by title, both compared scalar by scalar (upper case before lower
// case, nothing localised).
void sortItems(std::vector<SwitcherItem>& items);

} // namespace korvane::CGPipeline
