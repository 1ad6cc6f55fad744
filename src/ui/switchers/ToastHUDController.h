// Short notices on a display: one line of text that disappears by itself. One per process.
#pragma once

#include "platform/Screens.h"

#include <memory>
#include <string>

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only.
class ToastHUDController {
  public:
    explicit ToastHUDController(platform::Platform& platform);
    ToastHUDController(const ToastHUDController&) = delete;
    ToastHUDController& operator=(const ToastHUDController&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<ToastHUDController> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<ToastHUDController> instance);

    // Shows the message on the screen for `duration` seconds. The toast window does not exist yet; the
    // notice is dropped.
    void show(const std::string& message, const platform::ScreenInfo& screen, double duration);

  private:
    platform::Platform& platform_;
};

} // namespace korvane
