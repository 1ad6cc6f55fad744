// Which windows are this program's own: every top-level window of its process — the overlays, the
// switchers, the editor's panels, Preferences, the scene windows, toasts, the corner button and their
// dialogs. None of them is ever a zone window: never pushed, carried, snapped, cycled, adopted into a
// zone or remembered in one, whatever its type, size or place on screen.
#pragma once

#include "platform/Accessibility.h"

#include <sys/types.h>

namespace korvane {

namespace platform {
class Platform;
}

// Whether the pid is this program's own process, as the platform reports it.
bool isOwnProcess(platform::Platform& platform, pid_t pid);
// Whether the window (or application) element belongs to this program's process. An element whose
// process cannot be read is not taken for one of ours.
bool isOwnWindow(platform::Platform& platform, const platform::AXElement& element);

} // namespace korvane
