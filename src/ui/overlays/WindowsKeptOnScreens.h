// Keeps the program's own windows and dialogs on the screens: one left on a monitor that goes is moved
// whole onto the main screen, where the user can reach its title bar and its buttons.
#pragma once

#include "platform/Geometry.h"

#include <QRect>

#include <memory>
#include <vector>

class QWidget;

namespace korvane {

namespace platform {
class NotificationCenter;
class ObserverToken;
class Screens;
} // namespace platform

// At every change of the screens, each top-level window of the program that the user places (one with a
// title bar: Preferences, the scene manager, "Save Scene", the permission window and the alerts and
// dialogs they raise) whose middle lay on a screen and lies on none now is moved to the middle of the main
// screen's visible frame. Hidden ones the program has placed are moved too, so that one opened again
// later comes back on a screen. Frameless windows (overlays, the editor's panels, the switchers, the
// corner button) are left alone: their owners place them on their screens, or close them with it. The
// screens as they were are kept while none is connected, so that windows come back when one is again.
// Main thread, in a program with a Qt widget application; one for the process.
class WindowsKeptOnScreens {
  public:
    WindowsKeptOnScreens(platform::Screens& screens, platform::NotificationCenter& notifications);
    ~WindowsKeptOnScreens();
    WindowsKeptOnScreens(const WindowsKeptOnScreens&) = delete;
    WindowsKeptOnScreens& operator=(const WindowsKeptOnScreens&) = delete;

  private:
    void screensChanged();
    // The screens' frames now, in the toolkit's global coordinates, and in the window server's.
    std::vector<QRect> areasNow() const;
    std::vector<Rect> serverAreasNow() const;
    // Moves a window the server shows that lay on a screen of `before` and lies on none of `now` (the
    // server's coordinates) to the middle of the main screen's visible frame; false where the server
    // does not show it.
    bool keptByTheServer(QWidget& window, const std::vector<Rect>& before, const std::vector<Rect>& now);

    platform::Screens& screens_;
    std::vector<QRect> areas_;      // as last known with a screen connected
    std::vector<Rect> serverAreas_; // the same
    std::unique_ptr<platform::ObserverToken> observer_;
};

} // namespace korvane
