// Which tracked windows placements must leave alone on a display: small auxiliary windows, untitled
// panels and the thin ghost strips of browsers, as the window classifier judges them within the group of
// each application's windows; and the same judgement for one window about to be placed.
#pragma once

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace korvane {

class AXUtil;
class WindowTracker;

namespace platform {
class Platform;
}

// Main thread only. Holds nothing between calls: every classification reads the window list once and
// asks accessibility about each tracked window.
class WindowMappingClassifier {
  public:
    WindowMappingClassifier(platform::Platform& platform, std::shared_ptr<AXUtil> ax,
                            std::shared_ptr<const WindowTracker> tracker);

    // The managed windows to ignore on the display (on every display when none is named). A window
    // whose frame lies on another display neither takes part nor is reported; one without any frame
    // takes part. Listed windows of the same process that are not tracked, or not visible to
    // accessibility, shape the group but are never reported. A missing window list leaves only the
    // accessibility facts.
    std::set<WindowID> classifyWindowForMapping(const std::optional<std::string>& displayUUID);

    // Whether one window, tracked or not, is auxiliary among its process's listed windows (on the display,
    // when one is named). The window's own list entry counts as one of its siblings. Not auxiliary
    // whenever the facts are missing: a pid of 0, a bundle identifier of "-", a frame on another display,
    // no visible candidate, no group to judge it in.
    bool isAuxiliaryWindow(const platform::AXElement& element, pid_t pid, const std::string& bundleID,
                           const std::optional<std::string>& displayUUID);

  private:
    platform::Platform& platform_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<const WindowTracker> tracker_;
};

} // namespace korvane
