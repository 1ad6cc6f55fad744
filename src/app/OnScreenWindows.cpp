// Collecting the application windows on screen by display.
#include "app/OnScreenWindows.h"

#include "app/DisplayUtil.h"
#include "app/WindowMappingClassifier.h"
#include "core/OwnWindows.h"
#include "core/ScreenSpace.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"
#include "tracking/WindowTracker.h"

#include <set>

namespace korvane {

OnScreenWindows::OnScreenWindows(platform::Platform& platform, std::shared_ptr<const WindowTracker> tracker,
                                 std::shared_ptr<WindowMappingClassifier> classifier)
    : platform_(platform), tracker_(std::move(tracker)), classifier_(std::move(classifier)) {}

std::optional<std::map<std::string, std::vector<OnScreenWindow>>> OnScreenWindows::collect() {
    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (!list) return std::nullopt;

    std::map<std::string, std::vector<OnScreenWindow>> observed;
    auto& screens = platform_.screens();
    // Window-list bounds share the primary screen's top edge as origin. The highest top edge of all
    // screens would shift every window as soon as a display sits above the primary, and put windows of
    // the primary on that display; it is only the best guess when no screen is the primary.
    const double flipHeight = korvane::flipHeight(screens).value_or(0);
    const auto ownBundleID = platform_.processInfo().bundleIdentifier();
    auto& workspace = platform_.workspace();
    const auto& managed = tracker_->managed();
    // The classifier asks accessibility about every tracked window: once per display and collection.
    std::map<std::string, std::set<WindowID>> excludedByDisplay;

    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        const auto layer = windowinfo::integerValue(entry, platform::WindowKey::layer);
        if (!layer || *layer != 0) continue;
        const auto wid = windowinfo::windowNumber(entry);
        if (!wid) continue;
        const auto pid = windowinfo::ownerPID(entry);
        if (!pid || *pid == 0 || isOwnProcess(platform_, *pid)) continue;
        const auto app = workspace.runningApplication(*pid);
        if (!app || !app->bundleID || app->bundleID->empty() ||
            (ownBundleID && *app->bundleID == *ownBundleID))
            continue;
        const auto bounds = windowinfo::bounds(entry);
        if (!bounds) continue;

        const Rect frame = flipRect(*bounds, flipHeight);
        std::string display = DisplayUtil::displayUUID(screens, frame);
        auto excluded = excludedByDisplay.find(display);
        if (excluded == excludedByDisplay.end())
            excluded =
                excludedByDisplay.emplace(display, classifier_->classifyWindowForMapping(display)).first;
        if (excluded->second.contains(*wid)) continue;

        std::optional<platform::AXElement> element;
        if (auto tracked = managed.find(*wid); tracked != managed.end()) element = tracked->second;
        auto& windows = observed[display];
        windows.push_back(
            OnScreenWindow{*wid, *pid, *app->bundleID, std::move(display), frame, std::move(element)});
    }
    return observed;
}

} // namespace korvane
