// The end of every window sweep: parking the windows of ordinary applications that the scene does not
// place just off the left edge of their display's row of screens, when the user wants it, and reporting
// the sweep.
#include "scenes/SceneRestoreEngine.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/Rescuer.h"
#include "platform/Platform.h"

namespace korvane {

int SceneRestoreEngine::finishSweep(SweepState& sweep) {
    std::set<std::string> parkedBundleIDs;
    if (!platform_.userDefaults().boolValue(kParkUnmanagedWindowsKey).value_or(false)) {
        Log::sceneManager.info("Window sweep: parking disabled; skip unmanaged parking");
        if (onSweepCompleted) onSweepCompleted(sweep.placed, sweep.sceneBundleIDs, sweep.bundleByPID, {});
        return 0;
    }
    const int parked = parkUnplacedWindows(sweep, parkedBundleIDs);
    Log::sceneManager.info("Window sweep: placed %ld/%ld windows, parked %ld unmanaged, "
                           "zoneResolverMisses=%ld, sceneBundleIDs=%ld",
                           sweep.placedCount, sweep.totalHints, parked, sweep.zoneResolverMisses,
                           sweep.sceneBundleIDs.size());
    if (onSweepCompleted)
        onSweepCompleted(sweep.placed, sweep.sceneBundleIDs, sweep.bundleByPID, parkedBundleIDs);
    return parked;
}

int SceneRestoreEngine::parkUnplacedWindows(SweepState& sweep, std::set<std::string>& parkedBundleIDs) {
    // Agents and accessories keep their windows where they are: they are no part of a workspace.
    std::set<pid_t> regular;
    for (const auto& app : platform_.workspace().runningApplications())
        if (app.activationPolicy == platform::ActivationPolicy::regular) regular.insert(app.pid);
    auto& screens = platform_.screens();

    int parked = 0;
    for (const auto& entry : sweep.entries) {
        if (sweep.placed.contains(entry.wid)) continue;
        if (!sweep.parkingDisplays.empty() && !sweep.parkingDisplays.contains(entry.displayUUID)) continue;
        // Every window of an application the scene names stays, also one that no hint took.
        if (sweep.sceneBundleIDs.contains(entry.bundleID)) continue;
        if (!regular.contains(entry.pid)) continue;
        if (entry.parked) {
            parkedBundleIDs.insert(entry.bundleID);
            if (onWindowParked) onWindowParked(entry.wid);
            continue;
        }
        const auto window = ax_->axElement(entry.wid, entry.pid);
        if (!window) continue;
        const Rect frame = sweep.bottomLeft(entry.frame);
        // Without any screen there is no edge to park at; the window stays rather than the program
        // stopping.
        const auto screen = DisplayUtil::screen(screens, frame);
        if (!screen) continue;
        ax_->moveResize(*window, parkingFrame(frame, screen->visibleFrame, screens.screens()));
        // Window managers keep part of a window on screen: the mark keeps it a parked window wherever it
        // stays.
        platform_.accessibility().setAttribute(*window, platform::kParkedAttribute, true);
        parkedBundleIDs.insert(entry.bundleID);
        ++parked;
        Log::sceneManager.info("Scene park: '%s' wid=%u", entry.bundleID, entry.wid);
        if (onWindowParked) onWindowParked(entry.wid);
    }
    return parked;
}

} // namespace korvane
