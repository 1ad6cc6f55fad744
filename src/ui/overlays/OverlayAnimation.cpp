// Frame stepping of overlay animations on the run loop's clock.
#include "ui/overlays/OverlayAnimation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvane {

namespace {

// About sixty frames a second: smooth enough where a compositing manager shows the fade, and few enough
// not to matter where none does.
constexpr Nanos kFrameInterval = 16'666'667;

// The spring's response: the period it would swing with, undamped.
constexpr double kSpringResponse = 0.28; // seconds

} // namespace

std::shared_ptr<OverlayAnimation> OverlayAnimation::start(platform::RunLoop& loop, Nanos duration,
                                                          AnimationCurve curve,
                                                          std::function<void(double)> step,
                                                          std::function<void()> completion) {
    auto animation =
        std::make_shared<OverlayAnimation>(loop, duration, curve, std::move(step), std::move(completion));
    if (animation->step_) animation->step_(0.0);
    animation->frames_ = loop.scheduleTimer(kFrameInterval, true, platform::RunLoopMode::Common,
                                            [weak = animation->weak_from_this()](platform::Timer&) {
                                                if (auto self = weak.lock()) self->frame();
                                            });
    return animation;
}

OverlayAnimation::OverlayAnimation(platform::RunLoop& loop, Nanos duration, AnimationCurve curve,
                                   std::function<void(double)> step, std::function<void()> completion)
    : loop_(loop), startedAt_(loop.now()), duration_(std::max<Nanos>(duration, 0)), curve_(curve),
      step_(std::move(step)), completion_(std::move(completion)) {}

OverlayAnimation::~OverlayAnimation() {
    stop();
}

void OverlayAnimation::stop() {
    if (frames_) frames_->invalidate();
    frames_.reset();
    if (completionItem_) completionItem_->cancel();
    completionItem_.reset();
}

double OverlayAnimation::value(AnimationCurve curve, double progress, Nanos duration) {
    const double p = std::clamp(progress, 0.0, 1.0);
    if (p >= 1.0) return 1.0;
    switch (curve) {
    case AnimationCurve::easeInOut:
        return p * p * (3.0 - 2.0 * p);
    case AnimationCurve::criticalSpring: {
        const double omega = 2.0 * std::numbers::pi / kSpringResponse;
        const double t = p * toSeconds(duration);
        return 1.0 - (1.0 + omega * t) * std::exp(-omega * t);
    }
    }
    return p;
}

void OverlayAnimation::frame() {
    if (!frames_) return;
    const Nanos elapsed = loop_.now() - startedAt_;
    const double progress =
        duration_ == 0 ? 1.0 : static_cast<double>(elapsed) / static_cast<double>(duration_);
    if (step_) step_(value(curve_, progress, duration_));
    if (progress < 1.0) return;
    frames_->invalidate();
    frames_.reset();
    if (!completion_) return;
    completionItem_ = loop_.postAfter(0, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        self->completionItem_.reset();
        // Moved out first: the completion may drop the animation's last reference.
        auto completion = std::move(self->completion_);
        self.reset();
        completion();
    });
}

} // namespace korvane
