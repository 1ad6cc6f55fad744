// The main run loop of the real desktop: Qt's event loop carries the main queue, the timers and the
// descriptors to watch; background queues run on threads of their own.
#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <memory>

namespace korvane::x11 {

// Ends the watch of a descriptor when destroyed; the callback is not called afterwards.
class DescriptorWatch {
  public:
    virtual ~DescriptorWatch() = default;
};

class X11RunLoop final : public platform::RunLoop {
  public:
    // Made on the thread of the Qt application object, which is the main thread from then on.
    X11RunLoop();
    ~X11RunLoop() override;
    X11RunLoop(const X11RunLoop&) = delete;
    X11RunLoop& operator=(const X11RunLoop&) = delete;

    Nanos now() const override;
    Nanos wallClock() const override;
    void post(std::function<void()> block) override;
    platform::WorkItemRef postAfter(Nanos delay, std::function<void()> block) override;
    // A timer that comes due in a mode it does not fire in waits for its mode, then fires once, late.
    platform::TimerRef scheduleTimer(Nanos interval, bool repeats, platform::RunLoopMode mode,
                                     std::function<void(platform::Timer&)> fire) override;
    bool isMainThread() const override;
    void sleepBlocking(Nanos duration) override;
    void dispatchGlobal(platform::QueueQoS qos, std::function<void()> block) override;
    std::shared_ptr<platform::SerialQueue> makeSerialQueue(const std::string& label) override;
    // Default, or event tracking while a menu's nested loop runs between enter and leave.
    platform::RunLoopMode currentMode() const override;
    void enterEventTracking() override;
    void leaveEventTracking() override;

    // Runs the event loop on the main thread until `done` holds or `timeout` has passed; returns whether
    // `done` held.
    bool runUntil(const std::function<bool()>& done, Nanos timeout);

    // Calls `onReadable` on the main thread whenever the descriptor has data. Any thread.
    [[nodiscard]] std::unique_ptr<DescriptorWatch> watchDescriptor(int fd, std::function<void()> onReadable);

    // Called on the main thread each time the loop is about to wait for events: the last chance to
    // look at data that a library has already read off a descriptor.
    void setAboutToBlock(std::function<void()> hook);

    // Stops the background threads and the serial queues made here (whoever still holds one), dropping
    // their pending blocks and waiting for running ones; the desktop does this before it takes down the
    // services those blocks might use.
    void stopBackgroundWork();

    struct Impl;

  private:
    std::shared_ptr<Impl> impl_;
};

} // namespace korvane::x11
