// The status item's menu, its deferred actions and its lazily refreshed title. Everything that touches
// the item is kept away from the moments when the displays change: a menu built or a title written while
// the screens are being rearranged is what the 1.5 s guard and the owed refresh avoid.
#include "ui/switchers/StatusBarController.h"

#include "app/DisplayObserver.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "core/Log.h"
#include "platform/Platform.h"
#include "scenes/model/SceneNameInText.h"

#include <variant>

namespace korvane {

namespace {

constexpr Nanos kDisplayChangeWindow = 1'500'000'000;
constexpr Nanos kRefreshDelay = milliseconds(50);
constexpr Nanos kRefreshRetry = milliseconds(500);
constexpr Nanos kRefreshAfterClose = milliseconds(100);
constexpr Nanos kActionDelay = milliseconds(120);
constexpr Nanos kQuitDelay = milliseconds(50);

// The application has no bundle identifier on this desktop, so the menu logs under the subsystem.
const platform::Logger& statusBarLog() {
    static const platform::Logger log = Log::category("StatusBar");
    return log;
}

StatusMenuRow separator() {
    StatusMenuRow row;
    row.isSeparator = true;
    return row;
}

StatusMenuRow item(std::string title, StatusMenuAction action, std::string key, bool command, bool option,
                   std::string symbol, bool enabled) {
    return StatusMenuRow{false,  std::move(title),  action, std::move(key), command,
                         option, std::move(symbol), enabled};
}

} // namespace

StatusBarController::StatusBarController(platform::Platform& platform,
                                         std::shared_ptr<DisplayObserver> displayObserver,
                                         std::shared_ptr<StatusItemHost> host)
    : platform_(platform), displayObserver_(std::move(displayObserver)), host_(std::move(host)) {}

std::shared_ptr<StatusBarController>
StatusBarController::create(platform::Platform& platform, std::shared_ptr<DisplayObserver> displayObserver,
                            std::shared_ptr<StatusItemHost> host) {
    return std::shared_ptr<StatusBarController>(
        new StatusBarController(platform, std::move(displayObserver), std::move(host)));
}

std::shared_ptr<StatusBarController> StatusBarController::create() {
    return create(platform::Platform::current(), DisplayObserver::shared(), nullptr);
}

StatusBarController::~StatusBarController() {
    if (performRefreshTimer_) performRefreshTimer_->invalidate();
}

void StatusBarController::bind(const std::shared_ptr<StatusBarEventBus>& eventBus) {
    eventBus_ = eventBus;
    if (invalidationSubscription_) invalidationSubscription_->cancel();
    invalidationSubscription_.reset();
    if (!eventBus_) return;
    invalidationSubscription_ =
        eventBus_->subscribeInvalidations([weak = weak_from_this()](const StatusBarInvalidationEvent& event) {
            auto self = weak.lock();
            if (!self) return;
            if (std::holds_alternative<StatusBarInvalidationEvent::DisplayTopologyChanged>(event.value))
                self->forceCancelMenu();
            self->markDirty();
        });
}

void StatusBarController::forceCancelMenu() {
    if (!isMenuOpen && !isMenuWindowVisible()) return;
    if (host_) host_->cancelMenuTracking();
    isMenuOpen = false;
    needsRefreshAfterClose_ = true;
    statusBarLog().info("Forced menu cancellation due to external request (likely display change)");
}

bool StatusBarController::isMenuWindowVisible() const {
    return host_ && host_->isMenuWindowVisible();
}

bool StatusBarController::withinDisplayChangeWindow() const {
    if (!displayObserver_) return false;
    return platform_.runLoop().now() - displayObserver_->lastChangeAt() < kDisplayChangeWindow;
}

void StatusBarController::reloadCaches() {
    cachedScenes_ = scenesProvider ? scenesProvider() : std::vector<SceneEntry>{};
    cachedActiveSceneID_ = activeSceneIDProvider ? activeSceneIDProvider() : std::nullopt;
}

std::optional<std::string> StatusBarController::activeSceneName() const {
    if (!cachedActiveSceneID_) return std::nullopt;
    for (const auto& scene : cachedScenes_)
        if (scene.id == *cachedActiveSceneID_) return scene.name;
    return std::nullopt;
}

std::vector<StatusMenuRow> StatusBarController::menuRows() const {
    const auto name = activeSceneName();
    const std::string shown = name ? sceneNameInText(*name) : std::string();
    StatusMenuRow header;
    header.title = name ? "Scene: " + shown : "No active scene";
    return {
        header,
        separator(),
        item("Save Current Scene...", StatusMenuAction::saveScene, "s", true, true,
             "plus.rectangle.on.rectangle", true),
        item(name ? "Update \"" + shown + "\"" : "Update Active Scene", StatusMenuAction::updateActiveScene,
             "", false, false, "arrow.triangle.2.circlepath", cachedActiveSceneID_.has_value()),
        separator(),
        item("Scene Manager...", StatusMenuAction::openLayoutManager, "m", true, false, "rectangle.3.group",
             true),
        item("Preferences...", StatusMenuAction::openSettings, ",", true, false, "gearshape", true),
        separator(),
        item("Quit Korvane", StatusMenuAction::quit, "q", true, false, "", true),
    };
}

void StatusBarController::statusItemClicked() {
    if (isBuilding_) return;
    if (withinDisplayChangeWindow()) {
        statusBarLog().error(
            "Status bar clicked during display change window - ignoring to prevent layout crash");
        if (host_) host_->beep();
        return;
    }
    isBuilding_ = true;
    reloadCaches();
    const auto rows = menuRows();
    isBuilding_ = false;
    std::string shown;
    for (const auto& row : rows)
        shown += (shown.empty() ? "" : " | ") + (row.isSeparator ? "-" : row.title);
    statusBarLog().info("Menu opened: %s", shown);

    // The owner of the item may let go of the controller from inside the menu's loop.
    const auto keep = weak_from_this().lock();
    isMenuOpen = true;
    if (host_) {
        // Default-mode timers (the display-change pass among them) wait until the menu has closed.
        platform::EventTrackingScope tracking(platform_.runLoop());
        host_->popUpMenu(rows, [weak = weak_from_this()](StatusMenuAction action) {
            if (auto self = weak.lock()) self->perform(action);
        });
    }
    isMenuOpen = false;
    if (needsRefreshAfterClose_) {
        needsRefreshAfterClose_ = false;
        platform_.runLoop().postAfter(kRefreshAfterClose, [weak = weak_from_this()] {
            if (auto self = weak.lock()) self->refreshIfNeeded();
        });
    }
}

void StatusBarController::perform(StatusMenuAction action) {
    switch (action) {
    case StatusMenuAction::saveScene:
        publishActionDeferred(StatusBarActionEvent::saveScene, kActionDelay);
        break;
    case StatusMenuAction::updateActiveScene:
        publishActionDeferred(StatusBarActionEvent::updateActiveScene, kActionDelay);
        break;
    case StatusMenuAction::openLayoutManager:
        publishActionDeferred(StatusBarActionEvent::openSceneManager, kActionDelay);
        break;
    case StatusMenuAction::openSettings:
        publishActionDeferred(StatusBarActionEvent::openSettings, kActionDelay);
        break;
    case StatusMenuAction::quit:
        if (!eventBus_) {
            statusBarLog().error("quit fallback: eventBus is not bound");
            if (terminate) terminate();
            return;
        }
        publishActionDeferred(StatusBarActionEvent::quit, kQuitDelay);
        break;
    }
}

void StatusBarController::publishActionDeferred(StatusBarActionEvent action, Nanos delay) {
    if (!eventBus_) {
        statusBarLog().error("publishActionDeferred ignored: eventBus is not bound");
        return;
    }
    platform_.runLoop().postAfter(delay, [bus = eventBus_, action] { bus->publish(action); });
}

void StatusBarController::markDirty() {
    isDirty_ = true;
    if (isMenuOpen || isMenuWindowVisible() || isBuilding_) {
        // The menu's close brings it.
        needsRefreshAfterClose_ = true;
        return;
    }
    // Within the moments after a change of the displays the refresh retries until they are over: the
    // start of the program is such a moment, and what it publishes then may be all there is to show
    // until the next scene switch.
    schedulePerformRefresh(kRefreshDelay);
}

void StatusBarController::schedulePerformRefresh(Nanos delay) {
    // One pending refresh at a time: a burst of invalidations ends in one write.
    if (performRefreshTimer_) performRefreshTimer_->invalidate();
    performRefreshTimer_ = platform_.runLoop().scheduleTimer(delay, false, platform::RunLoopMode::Default,
                                                             [weak = weak_from_this()](platform::Timer&) {
                                                                 if (auto self = weak.lock())
                                                                     self->refreshIfNeeded();
                                                             });
}

void StatusBarController::refreshIfNeeded() {
    if (!isDirty_) return;
    if (isMenuOpen || isMenuWindowVisible() || isBuilding_) {
        needsRefreshAfterClose_ = true;
        return;
    }
    if (withinDisplayChangeWindow()) {
        needsRefreshAfterClose_ = true;
        schedulePerformRefresh(kRefreshRetry);
        return;
    }
    isDirty_ = false;
    reloadCaches();
    updateTitle();
}

void StatusBarController::updateTitle() {
    if (isMenuOpen || isMenuWindowVisible() || withinDisplayChangeWindow()) return;
    if (!host_ || !host_->hasButton()) return;
    const std::string title = activeSceneName().value_or("");
    if (lastRenderedSceneTitle_ && *lastRenderedSceneTitle_ == title) return;
    const Nanos now = platform_.runLoop().now();
    if (lastTitleUpdateAt_ && now - *lastTitleUpdateAt_ < kMinTitleUpdateInterval) {
        // Written later rather than dropped.
        isDirty_ = true;
        schedulePerformRefresh(kMinTitleUpdateInterval);
        return;
    }
    if (host_->title() != title) host_->setTitle(title, !title.empty());
    lastRenderedSceneTitle_ = title;
    lastTitleUpdateAt_ = now;
}

} // namespace korvane
