// The heads-up display that reports how a scene restore went: a card of 320 by 80 near the top of a
// screen, above every window and on every workspace, that takes neither the focus nor a click. It stays
// 1.5 s, or, while applications the restore started may still bring their windows, until they have
// and 1.5 s more. One per process.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"

#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class OverlayAnimation;

namespace platform {
class Platform;
}

// Main thread only. Shows nothing where no widget application runs. Invariant: `dismissTimer` runs only
// while `window` shows; there is never more than one card, even when a report comes while the card of
// the one before is being made (making a window lets the toolkit deliver the events that wait).
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

    // Replaces any card with one for this result on the screen, else the main screen, else the first
    // screen (nothing at all without a screen). Horizontally centred on the screen's visible frame with
    // its top 40 points below the visible top, it fades in while sliding down the last 10 points, and
    // hides 1.5 s after this call; when the restore awaits windows of applications it started, 1.5 s
    // after launchesEnded(), and at the latest kLaunchWaitLimit and 1.5 s after its last news, so that a
    // card always goes.
    void show(const SceneRestoreResult& result, const std::optional<platform::ScreenInfo>& screen,
              bool awaitsLaunchedWindows = false);
    // A window launched for the restore the card reports has been placed: the card counts it and stays
    // 1.5 s from now at least, so that the count it ends with can be read. Nothing when no card shows.
    void addPlacedWindow();
    // An application the restore started ended, or brought no window in time: the card counts it among
    // the applications not started (each once), and shows no check mark. Nothing when no card shows.
    void addUnstartedApp(const std::string& bundleID);
    // The restore awaits no more windows: the card goes 1.5 s from now.
    void launchesEnded();
    // Hides the card at once; harmless when none shows.
    void dismiss();

    // The card's window while it shows; nullptr otherwise.
    QWidget* window() const { return window_; }

    static constexpr int kTopOffset = 40;            // from the visible frame's top to the card's top edge
    static constexpr int kEntranceRise = 10;         // the card starts this much higher and slides into place
    static constexpr double kVisibleFor = 1.5;       // seconds
    static constexpr double kEntranceDuration = 0.5; // seconds, for the spring to settle
    // The longest a card waits for news of started applications: their launch's time-out, and a second
    // for the news to come.
    static constexpr double kLaunchWaitLimit = SceneRestoreServices::kAutoLaunchIntentLifetime + 1.0;

  private:
    // Hides the card kVisibleFor from now, or kLaunchWaitLimit later while launches are awaited.
    void scheduleDismiss();
    // The card shows the report as it now stands.
    void refresh();

    platform::Platform& platform_;
    // What the card reports, from show() to dismiss(); news of the restore's launches counted in. Held
    // here rather than in the view, so that news coming while the card is being made is not lost.
    std::optional<SceneRestoreResult> report_;
    bool awaitsLaunches_ = false;
    // Counts the calls of show(), to tell that another report came while a card was being made.
    std::uint64_t shows_ = 0;
    QPointer<QWidget> window_;
    platform::TimerRef dismissTimer;
    std::shared_ptr<OverlayAnimation> entrance_;
};

} // namespace korvane
