// The prompt's countdown, its hover pause and its fades. Time is the platform's monotonic clock, so a
// simulated desktop drives the countdown as a real one does.
#include "ui/scene_manager/UnconfiguredDisplayToastController.h"

#include "platform/Platform.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_manager/UnconfiguredDisplayToastPanel.h"

#include <QApplication>

#include <algorithm>

namespace korvane {

namespace {

// Opacity steps of a fade: smooth enough to the eye, few enough to cost nothing.
constexpr Nanos kFadeStep = milliseconds(20);

} // namespace

UnconfiguredDisplayToastController::UnconfiguredDisplayToastController(platform::Platform& platform)
    : platform_(platform) {}

UnconfiguredDisplayToastController::~UnconfiguredDisplayToastController() {
    dismiss();
}

void UnconfiguredDisplayToastController::show(const platform::ScreenInfo& screen,
                                              UnconfiguredDisplayToastView::Content content) {
    dismiss();
    const bool withApply = content.sceneName.has_value() && content.onApply;
    content.onHoverChanged = [weak = weak_from_this()](bool inside) {
        if (auto self = weak.lock()) self->hoverChanged(inside);
    };

    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const int height = withApply ? kHeightWithApply : kHeightWithoutApply;
        const QRect frame = topCentredIn(qtGlobalRect(platform_.screens(), screen.visibleFrame),
                                         QSize(UnconfiguredDisplayToastView::kWidth, height), kTopMargin);
        auto* panel = new UnconfiguredDisplayToastPanel(platform_.screens(), frame);
        // The application may end while the prompt shows: the panel goes while the application exists.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                         [panel] { delete panel; });
        panel->setContentView(new UnconfiguredDisplayToastView(std::move(content)));
        panel->setWindowOpacity(0);
        panel->show();
        panel_ = panel;
        fade(1.0, kFadeIn, nullptr);
    }
    remainingDuration = kDuration;
    startDismissTimer();
}

UnconfiguredDisplayToastPanel* UnconfiguredDisplayToastController::panel() const {
    return panel_;
}

void UnconfiguredDisplayToastController::startDismissTimer() {
    if (dismissTimer_) dismissTimer_->invalidate();
    timerStartedAt_ = platform_.runLoop().now();
    platform::RunLoop& loop = platform_.runLoop();
    dismissTimer_ = loop.scheduleTimer(seconds(remainingDuration), false, platform::RunLoopMode::Common,
                                       [weak = weak_from_this(), &loop](platform::Timer&) {
                                           loop.post([weak] {
                                               if (auto self = weak.lock()) self->fadeOutAndDismiss();
                                           });
                                       });
}

void UnconfiguredDisplayToastController::dismiss() {
    if (dismissTimer_) dismissTimer_->invalidate();
    dismissTimer_.reset();
    timerStartedAt_.reset();
    if (fadeTimer_) fadeTimer_->invalidate();
    fadeTimer_.reset();
    if (panel_ && QCoreApplication::instance()) {
        panel_->hide();
        // Later: a button of the panel may be the one whose click ends the prompt.
        panel_->deleteLater();
    }
    panel_ = nullptr;
}

void UnconfiguredDisplayToastController::hoverChanged(bool inside) {
    if (inside) {
        if (!timerStartedAt_) return;
        const double elapsed = toSeconds(platform_.runLoop().now() - *timerStartedAt_);
        remainingDuration = std::max(remainingDuration - elapsed, kMinimumRemaining);
        if (dismissTimer_) dismissTimer_->invalidate();
        dismissTimer_.reset();
        timerStartedAt_.reset();
        return;
    }
    if (dismissTimer_) return;
    remainingDuration = std::max(remainingDuration, kMinimumAfterHover);
    startDismissTimer();
}

void UnconfiguredDisplayToastController::dismissThen(
    const std::weak_ptr<UnconfiguredDisplayToastController>& controller,
    const std::function<void()>& action) {
    if (auto self = controller.lock()) self->dismiss();
    if (action) action();
}

void UnconfiguredDisplayToastController::fadeOutAndDismiss() {
    // The countdown is over: nothing runs it any more while the panel fades.
    if (dismissTimer_) dismissTimer_->invalidate();
    dismissTimer_.reset();
    timerStartedAt_.reset();
    if (!panel_) {
        dismiss();
        return;
    }
    platform::RunLoop& loop = platform_.runLoop();
    fade(0.0, kFadeOut, [weak = weak_from_this(), &loop] {
        loop.post([weak] {
            if (auto self = weak.lock()) self->dismiss();
        });
    });
}

void UnconfiguredDisplayToastController::fade(double target, double duration, std::function<void()> done) {
    if (fadeTimer_) fadeTimer_->invalidate();
    if (!panel_) return;
    const double from = panel_->windowOpacity();
    const Nanos start = platform_.runLoop().now();
    const Nanos length = seconds(duration);
    fadeTimer_ = platform_.runLoop().scheduleTimer(
        kFadeStep, true, platform::RunLoopMode::Common,
        [weak = weak_from_this(), from, target, start, length, done](platform::Timer& timer) {
            auto self = weak.lock();
            if (!self || !self->panel_) {
                timer.invalidate();
                return;
            }
            const double t = std::min(1.0, static_cast<double>(self->platform_.runLoop().now() - start) /
                                               static_cast<double>(length));
            self->panel_->setWindowOpacity(from + (target - from) * t);
            if (t < 1.0) return;
            timer.invalidate();
            if (done) done();
        });
}

} // namespace korvane
