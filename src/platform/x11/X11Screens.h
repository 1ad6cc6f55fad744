// Screens of the real desktop: the RandR monitors, each less the struts of the docks on it, in the
// platform's bottom-left global space; announces changes on the notification centre.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"

#include <xcb/xcb.h>

#include <mutex>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class X11Connection;

class X11Screens final : public platform::Screens {
  public:
    // Main thread. Registers for the connection's events.
    X11Screens(X11Connection& connection, platform::RunLoop& loop,
               platform::NotificationCenter& notifications);

    std::vector<platform::ScreenInfo> screens() override;
    std::optional<platform::ScreenInfo> mainScreen() override;
    Point mouseLocation() override;

  private:
    void handleEvent(const xcb_generic_event_t& event);
    void scheduleCheck();
    void check();

    X11Connection& connection_;
    platform::RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    // Main thread only.
    std::vector<platform::ScreenInfo> last_;
    bool checkPending_ = false;
};

} // namespace korvane::x11
