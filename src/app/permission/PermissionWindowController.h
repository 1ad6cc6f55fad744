// The permission window: a floating 480 by 500 panel titled "Korvane Permissions" with no close,
// minimise or zoom control, translucent where a compositing manager runs, moved by dragging its
// background and centred once when it is made. The permission manager makes it, shows it and closes it;
// nothing else does.
#pragma once

#include "app/PermissionManager.h"

#include <QPointer>

#include <functional>

class QWidget;

namespace korvane {

namespace platform {
class Platform;
}

class PermissionWindowController final : public PermissionWindow {
  public:
    static constexpr const char* kTitle = "Korvane Permissions";

    // Builds the window over the manager's grants as they are now; it is not shown yet. `terminate` is
    // what "Quit & Relaunch" calls.
    PermissionWindowController(PermissionManager& manager, platform::Platform& platform,
                               std::function<void()> terminate);
    ~PermissionWindowController() override;
    PermissionWindowController(const PermissionWindowController&) = delete;
    PermissionWindowController& operator=(const PermissionWindowController&) = delete;

    void show() override;
    void close() override;

    // The top-level window; nothing once closed.
    QWidget* window() const { return window_; }

  private:
    QPointer<QWidget> window_;
};

// Makes the manager show this window while a grant is missing. `terminate` asks the application to quit
// through its usual path.
void installPermissionWindow(PermissionManager& manager, platform::Platform& platform,
                             std::function<void()> terminate);

} // namespace korvane
