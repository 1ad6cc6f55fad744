// The one place where the application sees global mouse input: every registered handler observes each
// event, then the gesture delegate may swallow it. One tap per process.
#pragma once

#include "platform/MouseTap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {

// Observes the tap's mouse events without consuming them.
class MouseEventHandler {
  public:
    virtual ~MouseEventHandler() = default;
    // Returns at once for the event types the handler does not act on: every mouse move passes here.
    virtual void handle(const platform::MouseEvent& event) { (void)event; }
};

// Sees each event after the handlers and alone decides whether the event is swallowed.
class SDPInteractionDelegate {
  public:
    virtual ~SDPInteractionDelegate() = default;
    // True swallows the event.
    virtual bool handle(const platform::MouseEvent& event) = 0;
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

    // Installs the tap at start-up: from then on every handler, then the delegate, sees each mouse and
    // modifier event. Again while installed: nothing. Refused by the desktop: one console line, nothing
    // installed, and a later start() tries afresh.
    void start();
    // Takes the tap out at shut-down: no event reaches a handler or the delegate afterwards.
    void stop();
    bool isRunning() const { return tap_ != nullptr; }

    // The flags of the last modifier change seen.
    std::uint64_t currentModifiers() const { return currentModifiers_; }

    // What the desktop's tap calls for each event: true swallows it. A desktop's notice that it turned the
    // tap off turns it on again and reaches nobody.
    bool dispatch(const platform::MouseEvent& event);

    // Drops the handlers that are gone, then appends this one unless it is registered already.
    void addHandler(const std::shared_ptr<MouseEventHandler>& handler);
    // Compacts the list in place, keeping the order of the live entries.
    void removeDeadHandlers();
    const std::vector<std::weak_ptr<MouseEventHandler>>& handlers() const { return handlers_; }

    std::weak_ptr<SDPInteractionDelegate> delegate;

  private:
    platform::Platform& platform_;
    std::unique_ptr<platform::MouseTap> tap_;
    std::uint64_t currentModifiers_ = 0;
    std::vector<std::weak_ptr<MouseEventHandler>> handlers_; // in registration order
};

} // namespace korvane
