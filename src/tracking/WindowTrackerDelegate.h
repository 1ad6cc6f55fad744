// What the window tracker tells its delegate: a window joined the managed set, or a managed window's
// title settled.
#pragma once

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"

#include <string>
#include <sys/types.h>

namespace korvane {

class WindowTracker;

// Called on the main thread. The tracker holds its delegate weakly.
class WindowTrackerDelegate {
  public:
    virtual ~WindowTrackerDelegate() = default;
    // A window joined the managed set through a creation notice or a seeding pass that reports, or a
    // managed window was announced as created again; `pid` is 0 when the element does not tell it.
    virtual void windowTracker(WindowTracker& tracker, const platform::AXElement& didAddWindow,
                               pid_t pid) = 0;
    // A managed window's title settled after the debounce (title tracking on only); `title` is empty
    // when the window does not tell it.
    virtual void windowTracker(WindowTracker& tracker, const platform::AXElement& didChangeTitleOf, pid_t pid,
                               const std::string& title) = 0;
    // A window ended: its number may be handed to a later window, which is another one. `pid` is the
    // ended window's process, 0 when its element does not tell it. Before the windows of the same batch
    // that join the set are reported.
    virtual void windowTrackerDidDestroyWindow(WindowTracker& tracker, WindowID wid, pid_t pid) {
        (void)tracker;
        (void)wid;
        (void)pid;
    }
};

} // namespace korvane
