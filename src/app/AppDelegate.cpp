// Construction of the application object and what its concerns share.
#include "app/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "app/StatusBarEvent.h"
#include "core/AXUtil.h"
#include "platform/Platform.h"

#include <algorithm>

namespace korvane {

AppDelegate::AppDelegate(platform::Platform& platform)
    : statusBarEventBus(StatusBarEventBus::create(platform)), ax(AXUtil::shared()),
      layoutSelection(LayoutSelectionStore::load()), layoutTemplates(LayoutTemplateSet::load()),
      displayWorkbenches(DisplayWorkbenchSet::load()), platform_(platform) {}

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

std::vector<std::string> AppDelegate::connectedDisplayUUIDs() {
    std::vector<std::string> uuids;
    for (const auto& screen : platform_.screens().screens())
        uuids.push_back(DisplayUtil::displayUUID(screen));
    return uuids;
}

std::optional<platform::ScreenInfo> AppDelegate::screenOfDisplay(const std::string& displayUUID) {
    for (const auto& screen : platform_.screens().screens())
        if (DisplayUtil::displayUUID(screen) == displayUUID) return screen;
    return platform_.screens().mainScreen();
}

int AppDelegate::defaultZone(const std::string& displayUUID, const std::map<int, Zone>& zones) const {
    if (auto it = lastUsedRegionByDisplay.find(displayUUID); it != lastUsedRegionByDisplay.end())
        return it->second;
    if (!zones.empty()) return zones.begin()->first;
    return 1;
}

Layout AppDelegate::layoutOfZones(const std::string& displayUUID, std::map<int, Zone> zones) {
    Layout layout;
    layout.screenId = displayUUID;
    layout.gridSpec = GridSpec{1, std::max(1, static_cast<int>(zones.size())), 0, 0};
    layout.zones = std::move(zones);
    return layout;
}

} // namespace korvane
