// The heads-up display that reports how a scene restore went: a card of 320 by 80 near the top of a
// screen for 1.5 s, above every window and on every workspace, that takes neither the focus nor a click.
// One per process.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

namespace korvane {

struct SceneRestoreResult;
class OverlayAnimation;

namespace platform {
class Platform;
}

// Main thread only. Shows nothing where no widget application runs. Invariant: `dismissTimer` runs only
// while `window` shows; there is never more than one card.
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
    // hides 1.5 s after this call.
    void show(const SceneRestoreResult& result, const std::optional<platform::ScreenInfo>& screen);
    // A window launched for the restore the card reports has been placed: the card counts it and stays
    // 1.5 s from now, so that the count it ends with can be read. Nothing when no card shows.
    void addPlacedWindow();
    // Hides the card at once; harmless when none shows.
    void dismiss();

    // The card's window while it shows; nullptr otherwise.
    QWidget* window() const { return window_; }

    static constexpr int kTopOffset = 40;            // from the visible frame's top to the card's top edge
    static constexpr int kEntranceRise = 10;         // the card starts this much higher and slides into place
    static constexpr double kVisibleFor = 1.5;       // seconds
    static constexpr double kEntranceDuration = 0.5; // seconds, for the spring to settle

  private:
    // Hides the card kVisibleFor from now.
    void scheduleDismiss();

    platform::Platform& platform_;
    QPointer<QWidget> window_;
    platform::TimerRef dismissTimer;
    std::shared_ptr<OverlayAnimation> entrance_;
};

} // namespace korvane
