// The simulated desktop seen through a run loop of the test's own (a clock that can go back, background
// work held until the test lets it run): every other service is the desktop's.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimDesktop.h"

#include <functional>
#include <memory>
#include <string>

namespace korvane::testing {

// The simulated run loop as it is; a test's loop overrides only what it changes.
class ForwardingRunLoop : public platform::RunLoop {
  public:
    explicit ForwardingRunLoop(sim::SimRunLoop& loop) : loop_(loop) {}

    Nanos now() const override { return loop_.now(); }
    Nanos wallClock() const override { return loop_.wallClock(); }
    void post(std::function<void()> block) override { loop_.post(std::move(block)); }
    platform::WorkItemRef postAfter(Nanos delay, std::function<void()> block) override {
        return loop_.postAfter(delay, std::move(block));
    }
    platform::TimerRef scheduleTimer(Nanos interval, bool repeats, platform::RunLoopMode mode,
                                     std::function<void(platform::Timer&)> fire) override {
        return loop_.scheduleTimer(interval, repeats, mode, std::move(fire));
    }
    bool isMainThread() const override { return loop_.isMainThread(); }
    void sleepBlocking(Nanos duration) override { loop_.sleepBlocking(duration); }
    void dispatchGlobal(platform::QueueQoS qos, std::function<void()> block) override {
        loop_.dispatchGlobal(qos, std::move(block));
    }
    std::shared_ptr<platform::SerialQueue> makeSerialQueue(const std::string& label) override {
        return loop_.makeSerialQueue(label);
    }
    platform::RunLoopMode currentMode() const override { return loop_.currentMode(); }
    void enterEventTracking() override { loop_.enterEventTracking(); }
    void leaveEventTracking() override { loop_.leaveEventTracking(); }

  protected:
    sim::SimRunLoop& loop_;
};

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
