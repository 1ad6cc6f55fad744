// Following the platform's screen changes and announcing which displays came and went.
#include "app/DisplayObserver.h"

#include "app/DisplayUtil.h"
#include "platform/Format.h"
#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace korvane {

namespace {

platform::ProcessWide<DisplayObserver> gShared;

std::string whole(double v) {
    return std::isfinite(v) ? std::to_string(static_cast<long long>(std::trunc(v))) : "0";
}

// "id=? frame=WxH vf=(X,Y,WxH)", the numbers with their fractions dropped.
std::string describeScreen(const platform::ScreenInfo& s) {
    const Rect& f = s.frame;
    const Rect& v = s.visibleFrame;
    return "id=? frame=" + whole(f.size.width) + "x" + whole(f.size.height) + " vf=(" + whole(v.origin.x) +
           "," + whole(v.origin.y) + "," + whole(v.size.width) + "x" + whole(v.size.height) + ")";
}

std::vector<std::string> difference(const std::set<std::string>& a, const std::set<std::string>& b) {
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

} // namespace

DisplayObserver::DisplayObserver(platform::Platform& platform) : platform_(platform) {}

DisplayObserver::~DisplayObserver() = default;

std::shared_ptr<DisplayObserver> DisplayObserver::shared() {
    return gShared.get([](platform::Platform& p) { return std::make_shared<DisplayObserver>(p); });
}

void DisplayObserver::setShared(std::shared_ptr<DisplayObserver> instance) {
    gShared.set(std::move(instance));
}

std::set<std::string> DisplayObserver::currentDisplayUUIDs() {
    std::set<std::string> uuids;
    for (const auto& screen : platform_.screens().screens())
        uuids.insert(DisplayUtil::displayUUID(screen));
    return uuids;
}

void DisplayObserver::start() {
    if (isStarted_) return;
    isStarted_ = true;
    knownDisplayUUIDs_ = currentDisplayUUIDs();
    screenObserver_ = platform_.notificationCenter().addObserver(
        platform::kScreenParametersDidChange, platform::NotificationCenter::Delivery::mainQueue,
        [weak = weak_from_this()](const std::string&, const nlohmann::json&) {
            // Announced when the monitors change (RandR) or a dock's strut changes a visible frame.
            if (auto self = weak.lock()) self->handleScreenParametersChange("RandR/_NET_WM_STRUT");
        });
    handleScreenParametersChange("observer-start");
}

void DisplayObserver::handleScreenParametersChange(const std::string& reason) {
    lastChangeAt_ = platform_.runLoop().now();
    const auto screens = platform_.screens().screens();
    std::set<std::string> current;
    for (const auto& screen : screens)
        current.insert(DisplayUtil::displayUUID(screen));
    const auto added = difference(current, knownDisplayUUIDs_);
    const auto removed = difference(knownDisplayUUIDs_, current);
    knownDisplayUUIDs_ = std::move(current);

    std::string line =
        "[Display] parameters changed by=" + reason + " screens=" + std::to_string(screens.size()) +
        " added=" + platform::describeList(added) + " removed=" + platform::describeList(removed) + " -> ";
    for (std::size_t i = 0; i < screens.size(); ++i)
        line += (i ? "; " : "") + describeScreen(screens[i]);
    platform::printLine(line);

    platform_.notificationCenter().post(screenParametersChangedNotification,
                                        {{"addedDisplayUUIDs", added}, {"removedDisplayUUIDs", removed}});
}

} // namespace korvane
