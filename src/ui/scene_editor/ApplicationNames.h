// The name and picture a scene canvas shows for an application, looked up through the workspace: the
// application's desktop entry where it is installed, else what its bundle identifier says.
#pragma once

#include "ui/scene_editor/SceneCanvasAppEntry.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

namespace platform {
class Workspace;
}

// The last piece of the identifier split at "." (empty pieces dropped): "com.example.Mail" gives "Mail";
// without any piece, the identifier itself.
std::string fallbackApplicationName(const std::string& bundleID);

// The "Name" of the "[Desktop Entry]" group of a desktop entry's text, its escapes undone, on one line (line
// breaks and other control characters become spaces), valid UTF-8 and trimmed; nothing when the group has
// no name that is left non-empty.
std::optional<std::string> desktopEntryName(std::string_view text);

// The name of the application installed at `location` (a path or a "file:" URL): the desktop entry's name
// when the location is a readable entry file, else the location's last path component without its
// extension; every ".app" is removed from it. An empty outcome gives the fallback name of `bundleID`.
std::string installedApplicationName(const std::string& location, const std::string& bundleID);

// The full lookup; may run off the main thread and read files. An application the workspace cannot locate
// has its fallback name and no picture; one it can has the picture the desktop keeps for its location.
BundleResolvedInfo resolveBundleInfo(platform::Workspace& workspace, const std::string& bundleID);

} // namespace korvane
