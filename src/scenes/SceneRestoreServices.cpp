// The application's side of a scene restore and the automatic launch of applications without a window.
#include "scenes/SceneRestoreServices.h"

#include "app/DisplayLayouts.h"
#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextCase.h"
#include "scenes/SceneLaunchQueue.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/model/WindowHint.h"
#include "tracking/MappingTransaction.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>
#include <vector>

namespace korvane {

namespace {

std::optional<int> asZoneID(std::int64_t zoneID) {
    if (zoneID < std::numeric_limits<int>::min() || zoneID > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(zoneID);
}

} // namespace

std::shared_ptr<SceneRestoreServices> SceneRestoreServices::create(platform::Platform& platform,
                                                                   Dependencies dependencies) {
    auto services =
        std::shared_ptr<SceneRestoreServices>(new SceneRestoreServices(platform, std::move(dependencies)));
    std::weak_ptr<SceneRestoreServices> weak = services;
    services->launches_ = SceneLaunchQueue::create(
        platform.runLoop(), platform.workspace(), services->deps_.mappingTransactions,
        [weak](const std::string& bundleID, std::int64_t zoneID, const std::string& displayUUID) {
            auto self = weak.lock();
            return self ? self->launchAndPlaceApp(bundleID, zoneID, displayUUID) : std::nullopt;
        });
    services->launches_->onRestoredWindowPlaced = [weak] {
        if (auto self = weak.lock(); self && self->onLaunchedWindowPlaced) self->onLaunchedWindowPlaced();
    };
    services->launches_->zoneHoldsWindow = [weak](const std::string& displayUUID, std::int64_t zoneID,
                                                  WindowID wid) {
        auto self = weak.lock();
        if (!self) return false;
        const auto state = self->deps_.multiState->states.find(displayUUID);
        if (state == self->deps_.multiState->states.end() || !state->second) return false;
        const auto zone = state->second->zoneOf.find(wid);
        return zone != state->second->zoneOf.end() && zone->second == zoneID;
    };
    services->launches_->onRestoredAppNotStarted = [weak](const std::string& bundleID) {
        if (auto self = weak.lock(); self && self->onLaunchedAppNotStarted)
            self->onLaunchedAppNotStarted(bundleID);
    };
    services->launches_->onRestoreLaunchesEnded = [weak] {
        if (auto self = weak.lock(); self && self->onLaunchesEnded) self->onLaunchesEnded();
    };
    return services;
}

SceneRestoreServices::SceneRestoreServices(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)) {}

std::shared_ptr<SceneRestoreEngine> SceneRestoreServices::makeEngine(std::shared_ptr<SceneStore> store,
                                                                     std::shared_ptr<AXUtil> ax) {
    std::weak_ptr<SceneRestoreServices> weak = weak_from_this();
    auto engine = SceneRestoreEngine::create(
        platform_, std::move(store), std::move(ax),
        [weak](const std::string& ref, const platform::ScreenInfo& screen) -> std::optional<Layout> {
            auto self = weak.lock();
            return self ? self->resolveSceneLayout(ref, screen) : std::nullopt;
        });
    engine->onAfterRestore = [weak](const WMScene& scene) {
        if (auto self = weak.lock()) self->sceneDidRestore(scene);
    };
    engine->zoneFrameResolver = [weak](const std::string& displayUUID,
                                       std::int64_t zoneID) -> std::optional<Rect> {
        auto self = weak.lock();
        return self ? self->sceneZoneFrame(displayUUID, zoneID) : std::nullopt;
    };
    engine->onWindowPlaced = [weak](const std::string& displayUUID, WindowID wid, pid_t pid,
                                    const platform::AXElement& element, std::int64_t zoneID) {
        if (auto self = weak.lock()) self->sceneWindowPlaced(displayUUID, wid, pid, element, zoneID);
    };
    engine->onAppLaunchNeeded = [weak](const std::string& displayUUID, const WindowHint& hint) {
        auto self = weak.lock();
        return self && self->sceneAppLaunchNeeded(displayUUID, hint);
    };
    engine->onWindowParked = [weak](WindowID wid) {
        if (auto self = weak.lock()) self->sceneWindowParked(wid);
    };
    // Ends the restore's requests for launches too; the sweep of one display has its own.
    engine->onSweepCompleted = [weak](const std::set<WindowID>& placed,
                                      const std::set<std::string>& sceneBundleIDs,
                                      const std::map<pid_t, std::string>& bundleByPID,
                                      const std::set<std::string>& parkedBundleIDs) {
        sceneSweepCompleted(placed, sceneBundleIDs, bundleByPID, parkedBundleIDs);
        if (auto self = weak.lock()) self->launches_->endRestore();
    };
    return engine;
}

std::optional<Layout> SceneRestoreServices::resolveSceneLayout(const std::string& ref,
                                                               const platform::ScreenInfo& screen) const {
    const std::string uuid = DisplayUtil::displayUUID(screen);
    const auto set = deps_.layouts->regionSet(ref);
    if (!set) return std::nullopt;
    auto zones = LayoutBuilder::normalizedRegionIDs(*set, screen);
    if (zones.empty()) return std::nullopt;
    const int count = static_cast<int>(zones.size());
    return Layout{uuid, std::move(zones), GridSpec{1, count, 0, 0}};
}

void SceneRestoreServices::sceneDidRestore(const WMScene& scene) {
    // Called once per restore, right before its sweep asks for launches.
    launches_->beginRestore();
    deps_.displayLayouts->applyLayoutsFromScene(scene);
}

std::optional<Rect> SceneRestoreServices::sceneZoneFrame(const std::string& displayUUID,
                                                         std::int64_t zoneID) const {
    auto state = deps_.multiState->states.find(displayUUID);
    const auto id = asZoneID(zoneID);
    if (state == deps_.multiState->states.end() || !state->second || !id) return std::nullopt;
    const auto& zones = state->second->layout.zones;
    auto zone = zones.find(*id);
    if (zone == zones.end()) return std::nullopt;
    return zone->second.frame;
}

void SceneRestoreServices::sceneWindowPlaced(const std::string& displayUUID, WindowID wid, pid_t pid,
                                             const platform::AXElement& element, std::int64_t zoneID) {
    auto state = deps_.multiState->states.find(displayUUID);
    const auto id = asZoneID(zoneID);
    if (state == deps_.multiState->states.end() || !state->second || !id) return;
    state->second->attach(WinRef{wid, pid, element, *id, std::nullopt}, *id);
}

void SceneRestoreServices::sceneWindowParked(WindowID wid) {
    // The applied layouts have just taken back the windows the layout memory keeps for their zones, this
    // one among them; left there, the cycle and focus keys would bring it forward off screen.
    for (const auto& [displayUUID, state] : deps_.multiState->states) {
        if (!state) continue;
        const auto mapped = state->zoneOf.find(wid);
        if (mapped == state->zoneOf.end()) continue;
        const int zone = mapped->second;
        if (state->detach(wid, zone))
            Log::sceneManager.info("Scene park: wid=%u left zone %ld on %s", wid, zone, displayUUID);
    }
}

bool SceneRestoreServices::awaitsLaunchedWindows() const {
    return launches_->awaitsWindows();
}

bool SceneRestoreServices::sceneAppLaunchNeeded(const std::string& displayUUID, const WindowHint& hint) {
    return launches_->request(hint.bundleID, hint.zoneID, displayUUID);
}

std::optional<std::string> SceneRestoreServices::launchAndPlaceApp(const std::string& bundleID,
                                                                   std::int64_t zoneID,
                                                                   const std::string& displayUUID) {
    Log::sceneManager.info("Scene restore: launchAndPlaceApp called bundle='%s' zone=%ld", bundleID, zoneID);

    // The intent comes first, so that the window of an application that opens at once finds it; it is
    // cancelled again when the application cannot be started.
    auto& coordinator = *deps_.mappingTransactions;
    coordinator.expireStale();
    const Nanos now = coordinator.nowProvider();
    MappingIntent intent;
    intent.id = platform_.processInfo().makeUUID();
    intent.source = MappingIntentSource::autoLaunch;
    intent.targetDisplayUUID = displayUUID;
    intent.targetZoneID = zoneID;
    intent.displayEpoch = coordinator.currentEpoch(displayUUID);
    intent.bundleID = bundleID;
    intent.createdAt = now;
    intent.expiresAt = now + seconds(kAutoLaunchIntentLifetime);
    intent.stage = MappingIntentStage::intent;
    intent.note = kAutoLaunchNote;
    coordinator.intents[intent.id] = intent;
    Log::wm.info("[MappingTX] begin id=%{public}s source=%s display=%s rid=%ld epoch=%ld wid=%s pid=%d",
                 asciiUppercased(intent.id), toString(intent.source), displayUUID, zoneID,
                 intent.displayEpoch, "-", 0);
    coordinator.log("slot.claim.created", intent, std::nullopt, std::nullopt, 0.0);

    auto& workspace = platform_.workspace();
    const auto running = workspace.runningApplications();
    const auto app = std::find_if(running.begin(), running.end(), [&](const platform::RunningApplication& a) {
        return a.bundleID == bundleID;
    });
    std::weak_ptr<SceneRestoreServices> weak = weak_from_this();
    const auto launched = [weak, id = intent.id] {
        if (auto self = weak.lock()) self->launches_->startLaunched(id);
    };
    if (app != running.end() && workspace.activationOpensWindow()) {
        workspace.activate(app->pid, 0);
        Log::app.info("Scene restore: activated running app '%s' to create window", bundleID);
        // Told once the queue holds the start, after this returns.
        platform_.runLoop().post(launched);
        return intent.id;
    }
    // Where activation makes no window, every start of the application makes one.
    const bool again = app != running.end();
    if (again) Log::app.info("Scene restore: started running app '%s' again to create window", bundleID);
    // Asked also when nothing seems installed under the identifier: the workspace's answer says why the
    // application cannot be started, which the user needs to hear of. A launch refused outright is what
    // the restore reports; one that fails later is an error of its own.
    auto refused = std::make_shared<bool>(false);
    const bool started = workspace.openApplication(
        bundleID, false, again, [bundleID, refused, launched](platform::OpenApplicationResult result) {
            if (!result.error) {
                launched();
                return;
            }
            if (*refused)
                Log::app.info("Scene restore: could not start '%s': %s", bundleID, *result.error);
            else
                Log::app.error("Scene restore: failed to launch %s: %@", bundleID, *result.error);
        });
    *refused = !started;
    if (started) return intent.id;
    coordinator.cancel(intent.id, "launch refused");
    return std::nullopt;
}

void SceneRestoreServices::sceneSweepCompleted(const std::set<WindowID>& placed,
                                               const std::set<std::string>& sceneBundleIDs,
                                               const std::map<pid_t, std::string>&,
                                               const std::set<std::string>& parkedBundleIDs) {
    Log::sceneManager.debug(
        "[diag] Sweep complete: placed=%ld sceneBundles=%s", placed.size(),
        platform::describeList(std::vector<std::string>(sceneBundleIDs.begin(), sceneBundleIDs.end())));
    Log::sceneManager.info("Scene park: managed=%ld, parked=%ld", sceneBundleIDs.size(),
                           parkedBundleIDs.size());
}

} // namespace korvane
