// The heads-up display that reports how a scene restore went. One per process.
#pragma once

#include "platform/Screens.h"

#include <memory>
#include <optional>

namespace korvane {

struct SceneRestoreResult;

namespace platform {
class Platform;
}

// Main thread only.
class SceneRestoreHUDController {
  public:
    explicit SceneRestoreHUDController(platform::Platform& platform);
    SceneRestoreHUDController(const SceneRestoreHUDController&) = delete;
    SceneRestoreHUDController& operator=(const SceneRestoreHUDController&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<SceneRestoreHUDController> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<SceneRestoreHUDController> instance);

    // Reports the restore on the screen, the main screen when none is given. The display's window does
    // not exist yet; the report is dropped.
    void show(const SceneRestoreResult& result, const std::optional<platform::ScreenInfo>& screen);

  private:
    platform::Platform& platform_;
};

} // namespace korvane
