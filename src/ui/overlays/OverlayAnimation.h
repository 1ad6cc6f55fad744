// Animations of the program's floating windows (fades, the slide of an entrance), stepped by the main run
// loop's clock so that a simulated desktop's virtual time drives them like every other timer.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Time.h"

#include <functional>
#include <memory>

namespace korvane {

// How the animated value moves from 0 to 1 over the animation.
enum class AnimationCurve {
    // Slow at both ends.
    easeInOut,
    // A critically damped spring that settles in about 0.28 s: fast at first, then easing into place
    // without overshooting. It is cut at the animation's end, where it stands within a thousandth of 1.
    criticalSpring,
};

// One running animation. Main thread only. `step` gets the curve's value at each frame (about 60 a
// second) and exactly 1 at the end; `completion` then runs once, posted to the main queue so that it
// never runs inside the call that started the animation. Stopping it, or dropping the last reference,
// ends it at once: neither another step nor the completion follows. The frame timer holds it weakly.
class OverlayAnimation : public std::enable_shared_from_this<OverlayAnimation> {
  public:
    static std::shared_ptr<OverlayAnimation> start(platform::RunLoop& loop, Nanos duration,
                                                   AnimationCurve curve, std::function<void(double)> step,
                                                   std::function<void()> completion = {});
    OverlayAnimation(platform::RunLoop& loop, Nanos duration, AnimationCurve curve,
                     std::function<void(double)> step, std::function<void()> completion);
    ~OverlayAnimation();
    OverlayAnimation(const OverlayAnimation&) = delete;
    OverlayAnimation& operator=(const OverlayAnimation&) = delete;

    void stop();
    bool isRunning() const { return frames_ != nullptr; }

    // The curve's value at `progress` (0 to 1 of the duration), for the steps and for tests.
    static double value(AnimationCurve curve, double progress, Nanos duration);

  private:
    void frame();

    platform::RunLoop& loop_;
    Nanos startedAt_;
    Nanos duration_;
    AnimationCurve curve_;
    std::function<void(double)> step_;
    std::function<void()> completion_;
    platform::TimerRef frames_;
    platform::WorkItemRef completionItem_;
};

} // namespace korvane
