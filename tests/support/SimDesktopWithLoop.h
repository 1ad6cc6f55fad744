// The simulated desktop seen through a run loop of the test's own (a clock that can go back, background
// work held until the test lets it run): every other service is the desktop's.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimDesktop.h"

namespace korvane::testing {

template <class Loop> class SimDesktopWithLoop final : public platform::Platform {
  public:
    explicit SimDesktopWithLoop(sim::SimDesktop& desktop) : desktop_(desktop), loop(desktop.loop()) {}

    Loop& runLoop() override { return loop; }
    platform::Accessibility& accessibility() override { return desktop_.accessibility(); }
    platform::WindowServer& windowServer() override { return desktop_.windowServer(); }
    platform::Screens& screens() override { return desktop_.screens(); }
    platform::Workspace& workspace() override { return desktop_.workspace(); }
    platform::UserDefaults& userDefaults() override { return desktop_.userDefaults(); }
    platform::NotificationCenter& notificationCenter() override { return desktop_.notificationCenter(); }
    platform::FolderWatcher& folderWatcher() override { return desktop_.folderWatcher(); }
    platform::ProcessInfo& processInfo() override { return desktop_.processInfo(); }
    platform::LoginItems& loginItems() override { return desktop_.loginItems(); }
    platform::HotKeys& hotKeys() override { return desktop_.hotKeys(); }

  private:
    sim::SimDesktop& desktop_;

  public:
    Loop loop;
};

} // namespace korvane::testing
