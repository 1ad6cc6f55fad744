// What the global switcher shows: one tile per window or windowless application, the one region that
// holds them all, and what the switcher knows of a running application while it builds them.
#pragma once

#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

struct SwitcherItem {
    enum class Kind { window, application };

    WindowID windowID = 0; // 0 for an application entry
    pid_t pid = 0;
    std::string appName;
    std::string windowTitle; // as the window list gives it, untrimmed; empty for an application entry
    std::string title;       // "App[Title]" and the like: the second sort key and what log lines name
    std::optional<std::string> hint;
    std::optional<int> zoneID;  // the window's zone on the active display
    std::string bundleID;       // "pid:<pid>" when the application has none
    std::optional<Rect> bounds; // window-list bounds (top-left global)
    std::string stableID;       // "w:<windowID>" or "a:<bundleID>#<pid>": the same tile across reloads
    Kind kind = Kind::window;

    friend bool operator==(const SwitcherItem&, const SwitcherItem&) = default;
};

// A region of tiles. The switcher publishes exactly one, holding every item; tiles name their own zone.
struct ZoneDisplayModel {
    std::optional<int> zoneID;
    Rect frame;
    std::optional<std::string> hint;
    std::string title;
    std::vector<SwitcherItem> items;

    friend bool operator==(const ZoneDisplayModel&, const ZoneDisplayModel&) = default;
};

struct RunningAppSnapshot {
    pid_t pid = 0;
    std::string bundleID; // trimmed; "pid:<pid>" when empty or absent
    std::optional<std::string> localizedName;
    bool isRegularApp = false;
    bool isSelf = false; // this program's own process, by bundle identifier
};

} // namespace korvane
