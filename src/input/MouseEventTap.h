// The one place where the application sees global mouse input: every registered handler observes each
// event, then the gesture delegate may swallow it. One tap per process.
#pragma once

#include <memory>
#include <vector>

namespace korvane {

// Observes the tap's mouse events without consuming them.
class MouseEventHandler {
  public:
    virtual ~MouseEventHandler() = default;
};

// Sees each event after the handlers and alone decides whether the event is swallowed.
class SDPInteractionDelegate {
  public:
    virtual ~SDPInteractionDelegate() = default;
};

namespace platform {
class Platform;
}

// Main thread only. Holds its handlers and its delegate weakly: a handler leaves the list when it is
// released, there is no way to remove one.
class MouseEventTap {
  public:
    explicit MouseEventTap(platform::Platform& platform);
    MouseEventTap(const MouseEventTap&) = delete;
    MouseEventTap& operator=(const MouseEventTap&) = delete;

    // The process-wide instance, made on first use for the platform in use with every field empty.
    static std::shared_ptr<MouseEventTap> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<MouseEventTap> instance);

    // Installs the tap at start-up: from then on the handlers and the delegate are to see the mouse
    // events. The platform delivers no global mouse events yet, so nothing reaches them. Again: nothing.
    void start();
    // Takes the tap out at shut-down: no event reaches a handler or the delegate afterwards.
    void stop();
    bool isRunning() const { return isRunning_; }

    // Drops the handlers that are gone, then appends this one unless it is registered already.
    void addHandler(const std::shared_ptr<MouseEventHandler>& handler);
    // Compacts the list in place, keeping the order of the live entries.
    void removeDeadHandlers();
    const std::vector<std::weak_ptr<MouseEventHandler>>& handlers() const { return handlers_; }

    std::weak_ptr<SDPInteractionDelegate> delegate;

  private:
    platform::Platform& platform_;
    bool isRunning_ = false;
    std::vector<std::weak_ptr<MouseEventHandler>> handlers_; // in registration order
};

} // namespace korvane
