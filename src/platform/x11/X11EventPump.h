// Hands the connection's events to their handlers whenever some may be waiting, until the connection
// breaks; then, once, it stops watching the dead socket and tells the desktop's observers.
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
    void connectionLost();

    X11Connection& connection_;
    X11RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    std::unique_ptr<DescriptorWatch> watch_;
    bool lost_ = false;
    // Watched by the posted notice, which does nothing once the pump is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvane::x11
