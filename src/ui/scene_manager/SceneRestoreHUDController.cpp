// The restore heads-up display's one window: made afresh for every report, gone 1.5 s after its last news
// or when the next report comes.
#include "ui/scene_manager/SceneRestoreHUDController.h"

#include "platform/Platform.h"
#include "platform/ProcessWide.h"
#include "scenes/SceneRestoreEngine.h"
#include "ui/overlays/Overlay.h"
#include "ui/overlays/OverlayAnimation.h"
#include "ui/scene_manager/SceneRestoreHUDView.h"

#include <QApplication>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

platform::ProcessWide<SceneRestoreHUDController> gShared;

constexpr const char* kWindowTitle = "Scene Restored";

} // namespace

SceneRestoreHUDController::SceneRestoreHUDController(platform::Platform& platform) : platform_(platform) {}

SceneRestoreHUDController::~SceneRestoreHUDController() {
    if (dismissTimer) dismissTimer->invalidate();
    entrance_.reset();
    if (window_ && QCoreApplication::instance()) delete window_.data();
}

std::shared_ptr<SceneRestoreHUDController> SceneRestoreHUDController::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<SceneRestoreHUDController>(platform); });
}

void SceneRestoreHUDController::setShared(std::shared_ptr<SceneRestoreHUDController> instance) {
    gShared.set(std::move(instance));
}

void SceneRestoreHUDController::show(const SceneRestoreResult& result,
                                     const std::optional<platform::ScreenInfo>& screen,
                                     bool awaitsLaunchedWindows) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    dismiss();
    const std::uint64_t show = ++shows_;

    auto& screens = platform_.screens();
    std::optional<platform::ScreenInfo> target = screen ? screen : screens.mainScreen();
    if (!target) {
        const auto all = screens.screens();
        if (all.empty()) return;
        target = all.front();
    }
    report_ = result;
    awaitsLaunches_ = awaitsLaunchedWindows;

    // Out of the window manager's hands: a managed window sits in a frame of the manager's, and a frame
    // that does not copy the card's empty input region takes the clicks meant for the window below.
    auto* window = new OverlayWindow(screens, kWindowTitle, Qt::X11BypassWindowManagerHint);
    // Making the window let the events that waited run: a second press of a card's digit may have
    // restored again and shown its card, which is the newer report. This card would stand beside it
    // with no timer to take it away.
    if (show != shows_) {
        delete window;
        return;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The application may end while a report shows: the window goes while the application still exists.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                     [window] { delete window; });
    // From the report as it stands now: news may have come while the window was being made.
    new SceneRestoreHUDView(*report_, window); // the window's child, at its corner

    const QRect place =
        topCentredIn(qtGlobalRect(screens, target->visibleFrame),
                     QSize(SceneRestoreHUDView::kWidth, SceneRestoreHUDView::kHeight), kTopOffset);
    window->setFixedSize(place.size());
    // Where nothing blends the window with the desktop, the card's corners are cut away instead.
    if (!window->isTranslucent())
        window->setMask(roundedRegion(window->rect(), SceneRestoreHUDView::kCornerRadius));

    // The entrance: from transparent and 10 points higher into place. The opacity shows only where a
    // compositing manager blends windows; the slide shows everywhere.
    window->setWindowOpacity(0.0);
    window->move(place.topLeft() - QPoint(0, kEntranceRise));
    window->show();
    window_ = window;
    QPointer<QWidget> guarded(window);
    entrance_ = OverlayAnimation::start(
        platform_.runLoop(), seconds(kEntranceDuration), AnimationCurve::criticalSpring,
        [guarded, place](double value) {
            if (!guarded) return;
            guarded->setWindowOpacity(value);
            guarded->move(place.left(),
                          place.top() - static_cast<int>(std::lround(kEntranceRise * (1 - value))));
        });

    scheduleDismiss();
}

void SceneRestoreHUDController::addPlacedWindow() {
    if (!report_) return;
    ++report_->placedWindows;
    refresh();
}

void SceneRestoreHUDController::addUnstartedApp(const std::string& bundleID) {
    if (!report_) return;
    auto& apps = report_->unstartedApps;
    const auto at = std::lower_bound(apps.begin(), apps.end(), bundleID);
    if (at != apps.end() && *at == bundleID) return;
    apps.insert(at, bundleID);
    refresh();
}

void SceneRestoreHUDController::launchesEnded() {
    if (!report_ || !awaitsLaunches_) return;
    awaitsLaunches_ = false;
    if (window_) scheduleDismiss();
}

void SceneRestoreHUDController::refresh() {
    auto* view = window_ ? window_->findChild<SceneRestoreHUDView*>() : nullptr;
    if (!view) return;
    view->setResult(*report_);
    scheduleDismiss();
}

void SceneRestoreHUDController::scheduleDismiss() {
    if (dismissTimer) dismissTimer->invalidate();
    const double wait = awaitsLaunches_ ? kLaunchWaitLimit + kVisibleFor : kVisibleFor;
    dismissTimer = platform_.runLoop().scheduleTimer(seconds(wait), false, platform::RunLoopMode::Common,
                                                     [weak = weak_from_this()](platform::Timer&) {
                                                         if (auto self = weak.lock()) self->dismiss();
                                                     });
}

void SceneRestoreHUDController::dismiss() {
    if (dismissTimer) dismissTimer->invalidate();
    dismissTimer.reset();
    entrance_.reset();
    report_.reset();
    awaitsLaunches_ = false;
    if (!window_) return;
    // Closing deletes the window once the current event is done.
    window_->close();
    window_ = nullptr;
}

} // namespace korvane
