// The heads-up display that reports how a scene restore went: a small panel of 320 by 80 that shows for
// 1.5 s above every window, on every workspace, without taking the focus or the pointer. One per process.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct SceneRestoreResult;

namespace platform {
class Platform;
}

// Main thread only. Shows nothing where no widget application runs.
class SceneRestoreHUDController : public std::enable_shared_from_this<SceneRestoreHUDController> {
  public:
    explicit SceneRestoreHUDController(platform::Platform& platform);
    ~SceneRestoreHUDController();
    SceneRestoreHUDController(const SceneRestoreHUDController&) = delete;
    SceneRestoreHUDController& operator=(const SceneRestoreHUDController&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<SceneRestoreHUDController> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<SceneRestoreHUDController> instance);

    // Reports the restore centred on the screen (the main screen when none is given), replacing a report
    // still showing, and hides it 1.5 s later.
    void show(const SceneRestoreResult& result, const std::optional<platform::ScreenInfo>& screen);
    // The report on screen; nothing before the first one and once it has hidden.
    QWidget* window() const { return window_; }

    // What a report says, line by line: the scene's name, then what was restored or why nothing was.
    static std::vector<std::string> lines(const SceneRestoreResult& result, platform::Screens& screens);

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 80;
    static constexpr double kVisibleFor = 1.5; // seconds

  private:
    void dismiss();

    platform::Platform& platform_;
    QPointer<QWidget> window_;
    platform::WorkItemRef hideLater_;
};

} // namespace korvane
