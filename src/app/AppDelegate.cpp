// Construction of the application object and what its concerns share.
#include "app/AppDelegate.h"

#include "app/StatusBarEvent.h"
#include "platform/Platform.h"

namespace korvane {

AppDelegate::AppDelegate(platform::Platform& platform)
    : statusBarEventBus(StatusBarEventBus::create(platform)), layoutSelection(LayoutSelectionStore::load()),
      layoutTemplates(LayoutTemplateSet::load()), displayWorkbenches(DisplayWorkbenchSet::load()),
      platform_(platform) {}

std::shared_ptr<AppDelegate> AppDelegate::create(platform::Platform& platform) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(platform));
}

AppDelegate::~AppDelegate() {
    stopLayoutDirectoryWatcher();
}

void AppDelegate::publishRefresh(const std::string& source) {
    statusBarEventBus->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, source));
}

} // namespace korvane
