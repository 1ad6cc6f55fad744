// Which tracked windows placements must leave alone on a display: small auxiliary windows, untitled
// panels and the thin ghost strips of browsers, as the window classifier judges them within the group of
// each application's windows.
#pragma once

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

  private:
    platform::Platform& platform_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<const WindowTracker> tracker_;
};

} // namespace korvane
