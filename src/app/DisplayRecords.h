// The records the system keeps per display (its workbench and its layout selection), the display the
// user works on, the screens of displays and the focused window with the display it belongs to.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class AXUtil;
class MultiDisplayState;
class StatusBarEventBus;
struct DisplayWorkbenchSet;
struct LayoutSelection;
struct LayoutTemplateSet;

namespace platform {
class Platform;
}

// Main thread only. The stores it is given are shared with the other display components; it writes
// their files whenever it changes them.
class DisplayRecords {
  public:
    struct Stores {
        std::shared_ptr<DisplayWorkbenchSet> displayWorkbenches;
        std::shared_ptr<LayoutSelection> layoutSelection;
        std::shared_ptr<LayoutTemplateSet> layoutTemplates;
    };

    DisplayRecords(platform::Platform& platform, std::shared_ptr<AXUtil> ax,
                   std::shared_ptr<MultiDisplayState> multiState, Stores stores,
                   std::shared_ptr<StatusBarEventBus> statusBarEventBus);

    // Gives the display a workbench (the active display's template, else "builtin.split-50-50") and a
    // selection entry when it has none, saves both and publishes a refresh. False for a blank UUID.
    bool createDisplayRecord(const std::string& displayUUID);
    // The display the user works on: the screen of `windowFrame` (the bottom-left frame of one of this
    // application's windows), else the focused window's display, else the screen of this application's
    // key window, else the screen under the pointer, else the main screen, else the current active
    // display. Only the focus, key-window, pointer and main-screen answers are stored as multiState's
    // activeDisplayUUID.
    std::string resolveActiveDisplayUUID(const std::optional<Rect>& windowFrame);

    // The screen list's display UUIDs, in its order.
    std::vector<std::string> connectedDisplayUUIDs();
    // The first connected screen with this display UUID; nothing when it is not connected.
    std::optional<platform::ScreenInfo> connectedScreen(const std::string& displayUUID);
    // The first connected screen with this display UUID, else the main screen, else nothing: a display
    // that was unplugged still gets zones of a sensible size.
    std::optional<platform::ScreenInfo> screenOfDisplayOrMain(const std::string& displayUUID);

    // The focused window of the frontmost application with the display it belongs to.
    struct FocusedWindow {
        platform::AXElement element;
        std::optional<Rect> frame; // bottom-left global
        std::string displayUUID;
    };
    std::optional<FocusedWindow> focusedWindow();

    // Start-up: turns the older per-display layout descriptors into workbenches when there are none,
    // adds the built-in templates that are missing, saves both stores and sets its flag; with the flag
    // set and both stores filled it only adopts what is stored.
    void migrateLayoutTemplatesIfNeeded();

    static constexpr const char* kLayoutTemplateMigrationFlag = "Korvane.LayoutTemplateMigrationCompleted";

  private:
    platform::Platform& platform_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<MultiDisplayState> multiState_;
    Stores stores_;
    std::shared_ptr<StatusBarEventBus> statusBarEventBus_;
};

} // namespace korvane
