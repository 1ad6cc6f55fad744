// Accessibility observers of the real desktop: registrations per observer, and the delivery of what the
// tracker reports ("AXWindowCreated", "AXUIElementDestroyed", "AXTitleChanged", focus changes) through
// the main queue, in the order it happened.
#pragma once

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/x11/X11Tracker.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvane::x11 {

class X11AXObserver;

// A notification registered on a window, or on its application, reaches the observer of the window's
// process.
class X11Observers final : public TrackerListener {
  public:
    // `validate` answers success for an element that still exists, else its error. Any thread.
    using Validator = std::function<platform::AXError(const platform::AXElement&)>;
    X11Observers(platform::RunLoop& loop, Validator validate);

    std::shared_ptr<platform::AXObserver> create(pid_t pid, platform::AXObserver::Callback callback,
                                                 platform::AXError& error);

    static platform::AXElement applicationElement(pid_t pid);
    static platform::AXElement windowElement(pid_t pid, std::uint32_t window);
    static bool isSupported(const std::string& notification);

    void windowCreated(const TrackedWindow& window) override;
    void windowDestroyed(const TrackedWindow& window) override;
    void titleChanged(const TrackedWindow& window) override;
    void activeChanged(const std::optional<TrackedWindow>& current) override;

  private:
    void emit(pid_t pid, const platform::AXElement& element, const std::string& notification);

    platform::RunLoop& loop_;
    Validator validate_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<X11AXObserver>> observers_;
};

} // namespace korvane::x11
