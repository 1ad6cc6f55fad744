// The simulated desktop as one platform: a virtual-time run loop and deterministic services over one
// in-memory model, with the test hooks on the concrete service classes.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimFolderWatcher.h"
#include "platform/sim/SimHotKeys.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimNotificationCenter.h"
#include "platform/sim/SimProcessInfo.h"
#include "platform/sim/SimRunLoop.h"
#include "platform/sim/SimScreens.h"
#include "platform/sim/SimUserDefaults.h"
#include "platform/sim/SimWindowServer.h"
#include "platform/sim/SimWindows.h"
#include "platform/sim/SimWorkspace.h"

#include <memory>

namespace korvane::sim {

class SimModel;

class SimDesktop final : public platform::Platform {
  public:
    SimDesktop();
    ~SimDesktop() override;
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    SimRunLoop& runLoop() override { return *loop_; }
    SimAccessibility& accessibility() override { return *accessibility_; }
    SimWindowServer& windowServer() override { return *windowServer_; }
    SimScreens& screens() override { return *screens_; }
    SimWorkspace& workspace() override { return *workspace_; }
    SimUserDefaults& userDefaults() override { return *defaults_; }
    SimNotificationCenter& notificationCenter() override { return *notifications_; }
    SimFolderWatcher& folderWatcher() override { return *folders_; }
    SimProcessInfo& processInfo() override { return *process_; }
    SimLoginItems& loginItems() override { return *loginItems_; }
    SimHotKeys& hotKeys() override { return *hotKeys_; }

    SimRunLoop& loop() { return *loop_; }
    SimUserDefaults& defaults() { return *defaults_; }
    SimNotificationCenter& notifications() { return *notifications_; }
    SimFolderWatcher& folders() { return *folders_; }
    SimProcessInfo& process() { return *process_; }
    SimWindows& windows() { return *windows_; }

    // The system woke from sleep: kDidWake is posted through the loop.
    void simulateWake();

  private:
    // Declared first so it is destroyed last: queued work refers to the services and is dropped unrun.
    std::unique_ptr<SimRunLoop> loop_;
    std::unique_ptr<SimUserDefaults> defaults_;
    std::unique_ptr<SimNotificationCenter> notifications_;
    std::unique_ptr<SimFolderWatcher> folders_;
    std::unique_ptr<SimProcessInfo> process_;
    std::unique_ptr<SimLoginItems> loginItems_;
    std::unique_ptr<SimHotKeys> hotKeys_;
    std::shared_ptr<SimModel> model_;
    std::unique_ptr<SimAccessibility> accessibility_;
    std::unique_ptr<SimWindowServer> windowServer_;
    std::unique_ptr<SimScreens> screens_;
    std::unique_ptr<SimWorkspace> workspace_;
    std::unique_ptr<SimWindows> windows_;
};

// A simulated desktop that is the current platform for its lifetime; the previous one comes back after.
class ScopedSimDesktop {
  public:
    ScopedSimDesktop();
    ~ScopedSimDesktop();
    ScopedSimDesktop(const ScopedSimDesktop&) = delete;
    ScopedSimDesktop& operator=(const ScopedSimDesktop&) = delete;

    SimDesktop& operator*() { return *desktop_; }
    SimDesktop* operator->() { return desktop_.get(); }
    SimDesktop& get() { return *desktop_; }

  private:
    platform::Platform* previous_;
    std::unique_ptr<SimDesktop> desktop_;
};

} // namespace korvane::sim
