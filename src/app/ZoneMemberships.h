// Which windows each display's zones hold, kept in the layout memory under the display and the layout the
// zones were built from: written down before the display takes other zones and at quit, and taken back
// when a display gets a layout whose zones the memory knows, from the windows that still lie in them.
#pragma once

#include "app/OnScreenWindows.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class AXUtil;
class LayoutMemory;
class MultiDisplayState;
class WMState;
class WindowMappingClassifier;
class WindowTracker;

namespace platform {
class Platform;
}

// Main thread only. Logs under "app". The memory names each window by its application's bundle
// identifier, one slot per window, as the wake replay reads it.
class ZoneMemberships {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<LayoutMemory> layoutMemory;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<const WindowTracker> tracker;
        std::shared_ptr<WindowMappingClassifier> classifier;
    };

    ZoneMemberships(platform::Platform& platform, Dependencies dependencies);

    // The display's state has just been made from this layout (none: a stand-in, whose windows are not
    // remembered). Each window on screen whose centre lies in a zone that the memory lists its
    // application for goes into that zone, as many as listed, the front-most on top. Nothing moves. While
    // the window list cannot be read, the state is not recorded later either.
    void restoreMemberships(const std::string& displayUUID, const std::optional<std::string>& layoutID);
    // The display's zones were rebuilt in place for this layout; their windows stayed.
    void zonesRebuilt(const std::string& displayUUID, const std::string& layoutID);
    // Writes the windows of the display's zones into the memory under the layout the zones come from; a
    // state made otherwise, or not yet compared with the screen, writes nothing. Whether it wrote.
    bool recordMemberships(const std::string& displayUUID);
    void recordAllMemberships();

  private:
    platform::AXElement elementOf(const OnScreenWindow& window);
    // The state the display has now, when it is the one this was told of.
    std::shared_ptr<WMState> knownState(const std::string& displayUUID) const;

    struct Origin {
        std::weak_ptr<WMState> state;
        std::string layoutID;
    };

    platform::Platform& platform_;
    Dependencies deps_;
    OnScreenWindows onScreen_;
    std::map<std::string, Origin> origins_; // display UUID -> the state and the layout it was made from
};

} // namespace korvane
