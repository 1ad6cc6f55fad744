// One prompt offered on a newly connected display: its panel and its countdown. The prompt hides itself
// 10 s after it shows, holds the countdown while the pointer rests on it, and fades in and out.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "platform/Time.h"
#include "ui/scene_manager/UnconfiguredDisplayToastView.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace korvane {

class UnconfiguredDisplayToastPanel;

namespace platform {
class Platform;
}

// Main thread only. A controller serves one prompt: once hidden it is not shown again. Its timers and
// fades hold it weakly and do nothing once it is gone.
class UnconfiguredDisplayToastController
    : public std::enable_shared_from_this<UnconfiguredDisplayToastController> {
  public:
    static constexpr double kDuration = 10.0;         // seconds shown without the pointer on it
    static constexpr double kMinimumAfterHover = 3.0; // seconds left at least once the pointer leaves
    static constexpr double kMinimumRemaining = 0.1;
    static constexpr double kFadeIn = 0.3;
    static constexpr double kFadeOut = 0.2;
    static constexpr int kHeightWithApply = 88;
    static constexpr int kHeightWithoutApply = 80;
    static constexpr int kTopMargin = 20; // from the visible frame's top to the panel's top edge

    explicit UnconfiguredDisplayToastController(platform::Platform& platform);
    ~UnconfiguredDisplayToastController();
    UnconfiguredDisplayToastController(const UnconfiguredDisplayToastController&) = delete;
    UnconfiguredDisplayToastController& operator=(const UnconfiguredDisplayToastController&) = delete;

    // Shows the prompt centred on the screen's visible frame, its top 20 points below the visible top, 380
    // wide and 88 high with "Apply Layout" (80 without), fading in over 0.3 s, and starts the 10 s
    // countdown. The view's hover reports reach hoverChanged(). Nothing shows where no widget application
    // runs; the countdown runs all the same.
    void show(const platform::ScreenInfo& screen, UnconfiguredDisplayToastView::Content content);

    // (Re)starts the countdown with remainingDuration; when it ends the prompt fades out over 0.2 s and
    // hides. The owner is not told.
    void startDismissTimer();
    // Hides the prompt at once: no timer, no start time, no panel. Harmless when hidden already.
    void dismiss();
    // Pointer inside: holds the countdown with what is left of it (at least 0.1 s). Pointer outside with
    // no countdown running: restarts it with what is left, but at least 3 s.
    void hoverChanged(bool inside);
    // Hides the prompt while the controller exists, then runs the action, also when it is gone.
    static void dismissThen(const std::weak_ptr<UnconfiguredDisplayToastController>& controller,
                            const std::function<void()>& action);

    // The prompt's window while it shows; nothing once hidden.
    UnconfiguredDisplayToastPanel* panel() const;
    bool isCountingDown() const { return dismissTimer_ != nullptr; }
    double remainingDuration = kDuration; // seconds
    const std::optional<Nanos>& timerStartedAt() const { return timerStartedAt_; }

  private:
    void fadeOutAndDismiss();
    // Steps the panel's opacity to `target` over `duration` seconds, then runs `done` (holding self weakly).
    void fade(double target, double duration, std::function<void()> done);

    platform::Platform& platform_;
    QPointer<UnconfiguredDisplayToastPanel> panel_;
    platform::TimerRef dismissTimer_;
    std::optional<Nanos> timerStartedAt_;
    platform::TimerRef fadeTimer_;
};

} // namespace korvane
