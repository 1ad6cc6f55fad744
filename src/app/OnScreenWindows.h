// The application windows on screen, by display and front-most first, as the zone model may take them in
// without moving them: after a wake, and when a display gets a layout whose zones it remembers.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

class WindowMappingClassifier;
class WindowTracker;

namespace platform {
class Platform;
}

// One application window on screen.
struct OnScreenWindow {
    WindowID wid = 0;
    pid_t pid = 0;
    std::string bundleID; // never empty
    std::string displayUUID;
    Rect frame;                                 // bottom-left global coordinates
    std::optional<platform::AXElement> element; // when the tracker manages the window
};

// Main thread only. Keeps nothing between collections.
class OnScreenWindows {
  public:
    OnScreenWindows(platform::Platform& platform, std::shared_ptr<const WindowTracker> tracker,
                    std::shared_ptr<WindowMappingClassifier> classifier);

    // Application-layer windows of other running applications with a bundle identifier, minus those the
    // classifier says to leave alone on their display. Nothing when the window list cannot be read.
    std::optional<std::map<std::string, std::vector<OnScreenWindow>>> collect();

  private:
    platform::Platform& platform_;
    std::shared_ptr<const WindowTracker> tracker_;
    std::shared_ptr<WindowMappingClassifier> classifier_;
};

} // namespace korvane
