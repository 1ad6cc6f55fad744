// The callbacks that lead from the window controller back to the application object, and the hooks
// that the layout operations call on the parts of the application that come later.
#include "app/AppDelegate.h"

#include "core/WMController.h"

namespace korvane {

void AppDelegate::wireControllerCallbacks() {
    if (!controller) return;
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    controller->onLayoutChange = [weak] {
        if (auto self = weak.lock()) self->publishRefresh("WMController.onLayoutChange");
    };
    controller->onWindowFocus = [weak](WindowID wid) {
        if (auto self = weak.lock()) self->onWindowFocusSync(wid);
    };
    controller->onCycleBounce = [weak](const std::string& displayUUID) {
        if (auto self = weak.lock()) self->showToast("No other windows in this zone", displayUUID, 0.7);
    };
}

void AppDelegate::registerHotkeys() {
    // The hot-key manager and its configuration do not exist yet; there is nothing to register again.
}

void AppDelegate::showToast(const std::string&, const std::string&, double) {
    // The toast window does not exist yet; the notice is dropped.
}

} // namespace korvane
