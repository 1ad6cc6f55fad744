// Hands the connection's events to their handlers whenever some may be waiting, a batch at a time with
// the loop's other work served between batches, until the connection breaks; then, once, it stops watching
// the dead socket and tells the desktop's observers. It also keeps the property cache's own connection
// read, whose announcements would otherwise wait for an event on the desktop's connection, and gives back
// to the system the memory a burst of events left free.
#pragma once

#include <memory>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class DescriptorWatch;
class X11Connection;
class X11RunLoop;

class X11EventPump {
  public:
    // Main thread. Reads what is already waiting at once.
    X11EventPump(X11Connection& connection, X11RunLoop& loop, platform::NotificationCenter& notifications);
    ~X11EventPump();
    X11EventPump(const X11EventPump&) = delete;
    X11EventPump& operator=(const X11EventPump&) = delete;

  private:
    void pump();
    void drainCache();
    void trimAfterBurst();
    void connectionLost();

    X11Connection& connection_;
    X11RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    std::unique_ptr<DescriptorWatch> watch_;
    std::unique_ptr<DescriptorWatch> cacheWatch_;
    bool lost_ = false;
    // A turn of the pump is posted for the rest of a batch cut short; one at a time.
    bool resumePosted_ = false;
    // A batch was cut short since the heap was last trimmed; a trim is scheduled.
    bool burst_ = false;
    bool trimScheduled_ = false;
    // Watched by the posted blocks, which do nothing once the pump is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvane::x11
