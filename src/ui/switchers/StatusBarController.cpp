// Binding the status item to the bus and cancelling its menu.
#include "ui/switchers/StatusBarController.h"

#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "core/Log.h"

#include <variant>

namespace korvane {

namespace {

// The application has no bundle identifier on this desktop, so the menu logs under the subsystem.
const platform::Logger& statusBarLog() {
    static const platform::Logger log = Log::category("StatusBar");
    return log;
}

} // namespace

std::shared_ptr<StatusBarController> StatusBarController::create() {
    return std::shared_ptr<StatusBarController>(new StatusBarController());
}

StatusBarController::~StatusBarController() = default;

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
    isMenuOpen = false;
    needsRefreshAfterClose_ = true;
    statusBarLog().info("Forced menu cancellation due to external request (likely display change)");
}

bool StatusBarController::isMenuWindowVisible() const {
    return false;
}

void StatusBarController::markDirty() {
    isDirty_ = true;
    // The menu shows what it read as it opened; what changed meanwhile is refreshed once it closes.
    if (isMenuOpen || isMenuWindowVisible()) needsRefreshAfterClose_ = true;
}

} // namespace korvane
