// A reload reads the desktop once (applications, window list, the active display's zones) and hands
// the rest to the pipeline and the hints; the signpost brackets it so its cost shows in traces.
#include "ui/switchers/SwitcherDataSource.h"

#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "ui/switchers/CGPipeline.h"
#include "ui/switchers/SwitcherHints.h"

#include <utility>

namespace korvane {

namespace {

constexpr const char* kDebugDuplicatesKey = "GlobalSwitcherDebugDuplicates";

} // namespace

SwitcherDataSource::SwitcherDataSource(platform::Platform& platform, std::shared_ptr<WindowTracker> tracker,
                                       std::shared_ptr<WMController> wmController)
    : tracker(std::move(tracker)), wmController(std::move(wmController)), platform_(platform) {}

bool SwitcherDataSource::useWarmSnapshot() {
    if (cachedItems.empty() || !snapshotTime) return false;
    if (platform_.runLoop().now() - *snapshotTime > seconds(warmSnapshotTTL)) return false;
    items = cachedItems;
    regionDisplays = cachedRegionDisplays;
    Log::switcher.debug("SwitcherDataSource: warm snapshot %ld items", static_cast<long>(items.size()));
    return true;
}

void SwitcherDataSource::dropWarmSnapshot() {
    cachedItems.clear();
    cachedRegionDisplays.clear();
    snapshotTime.reset();
}

std::vector<RunningAppSnapshot>
SwitcherDataSource::runningAppSnapshots(const std::optional<std::string>& ownBundleID) {
    std::vector<RunningAppSnapshot> out;
    for (const auto& app : platform_.workspace().runningApplications()) {
        RunningAppSnapshot snap;
        snap.pid = app.pid;
        snap.bundleID = trimmingWhitespaceAndNewlines(app.bundleID.value_or(""));
        if (snap.bundleID.empty()) snap.bundleID = "pid:" + std::to_string(app.pid);
        snap.localizedName = app.name;
        snap.isRegularApp = app.activationPolicy == platform::ActivationPolicy::regular;
        snap.isSelf = ownBundleID && snap.bundleID == *ownBundleID;
        out.push_back(std::move(snap));
    }
    return out;
}

void SwitcherDataSource::reload(const Rect& frame) {
    auto& loop = platform_.runLoop();
    lastReloadTime = loop.now();
    auto interval = Log::signposts.beginInterval("GlobalSwitcherReload");

    CGPipeline::Context context;
    const auto apps = runningAppSnapshots(platform_.processInfo().bundleIdentifier());
    for (const auto& app : apps)
        context.appsByPID.emplace(app.pid, app);

    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);

    if (wmController && wmController->multiState)
        if (auto state = wmController->multiState->activeState())
            for (const auto& [wid, zone] : state->zoneOf)
                context.zoneByWindowID.emplace(wid, zone);

    context.screens = platform_.screens().screens();
    context.primaryHeight = primaryScreenHeight(platform_.screens());
    context.logDuplicates = platform_.userDefaults().boolValue(kDebugDuplicatesKey).value_or(false);

    std::vector<SwitcherItem> built =
        list ? CGPipeline::buildItems(*list, context) : std::vector<SwitcherItem>{};
    built = CGPipeline::appendWindowlessApplications(std::move(built), apps);
    CGPipeline::sortItems(built);
    SwitcherHints::assignHints(built);

    items = std::move(built);
    regionDisplays = {ZoneDisplayModel{std::nullopt, frame, std::nullopt, "", items}};
    cachedItems = items;
    cachedRegionDisplays = regionDisplays;
    snapshotTime = loop.now();
    Log::switcher.debug("SwitcherDataSource: reload %ld items", static_cast<long>(items.size()));
    interval.end();
}

} // namespace korvane
