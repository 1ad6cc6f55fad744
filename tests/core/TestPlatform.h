// A platform for core tests that need only the process facts and the clock: the sim's process info,
// run loop, defaults and notification centre, installed as the current platform for the test's lifetime.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimFolderWatcher.h"
#include "platform/sim/SimNotificationCenter.h"
#include "platform/sim/SimProcessInfo.h"
#include "platform/sim/SimRunLoop.h"
#include "platform/sim/SimUserDefaults.h"

#include <stdexcept>

namespace korvane::testing {

class ProcessOnlyPlatform final : public platform::Platform {
  public:
    ProcessOnlyPlatform() : notifications(loop), folders(loop) { platform::Platform::setCurrent(this); }
    ~ProcessOnlyPlatform() override { platform::Platform::setCurrent(nullptr); }

    platform::RunLoop& runLoop() override { return loop; }
    platform::Accessibility& accessibility() override { unavailable("accessibility"); }
    platform::WindowServer& windowServer() override { unavailable("window server"); }
    platform::Screens& screens() override { unavailable("screens"); }
    platform::Workspace& workspace() override { unavailable("workspace"); }
    platform::UserDefaults& userDefaults() override { return defaults; }
    platform::NotificationCenter& notificationCenter() override { return notifications; }
    platform::FolderWatcher& folderWatcher() override { return folders; }
    platform::ProcessInfo& processInfo() override { return process; }

    sim::SimRunLoop loop;
    sim::SimProcessInfo process;
    sim::SimUserDefaults defaults;
    sim::SimNotificationCenter notifications;
    sim::SimFolderWatcher folders;

  private:
    [[noreturn]] static void unavailable(const char* what) {
        throw std::logic_error(std::string(what) + " is not part of this test platform");
    }
};

} // namespace korvane::testing
