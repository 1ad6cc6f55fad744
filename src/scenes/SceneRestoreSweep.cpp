// The window sweep of a restore: the pool of running windows read from the window list, the choice of
// a window for each hint, the requests to launch applications that have none, and placing a window.
#include "scenes/SceneRestoreEngine.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/OwnWindows.h"
#include "core/Rescuer.h"
#include "core/ScreenSpace.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <cmath>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
namespace WK = platform::WindowKey;

namespace {

// The window number an accessibility number stands for, truncated to 32 bits as the window server's are.
std::optional<WindowID> windowNumberOf(const AXValue& value) {
    const double* d = std::get_if<double>(&value);
    if (!d || !std::isfinite(*d) || std::fabs(*d) >= 9.0e18) return std::nullopt;
    return static_cast<WindowID>(static_cast<std::int64_t>(*d));
}

bool readsAsTrue(const AXValue& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b;
    if (const double* d = std::get_if<double>(&value)) return *d != 0;
    return false;
}

template <class Map> std::vector<std::string> sortedKeys(const Map& map) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : map)
        keys.push_back(key);
    return keys; // a std::map's keys are in ascending order already
}

} // namespace

Rect SceneRestoreEngine::SweepState::bottomLeft(const Rect& windowListBounds) const {
    return flipHeight ? flipRect(windowListBounds, *flipHeight) : windowListBounds;
}

int SceneRestoreEngine::poolScore(const std::string& name, const std::string& ownerName, const Rect& frame) {
    int score = 0;
    const std::string title = trimmingWhitespaceAndNewlines(name);
    if (!title.empty() && title != trimmingWhitespaceAndNewlines(ownerName)) score += 10;
    if (std::min(frame.size.width, frame.size.height) >= 260) score += 5;
    if (frame.size.width * frame.size.height >= 200000) score += 3;
    return score;
}

void SceneRestoreEngine::sortCandidatesByScore(std::vector<PoolCandidate>& candidates) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const PoolCandidate& a, const PoolCandidate& b) { return a.score > b.score; });
}

std::optional<SceneRestoreEngine::PoolCandidate>
SceneRestoreEngine::takeNextCandidate(const std::string& bundleID, const std::string& displayUUID,
                                      Pool& pool) {
    std::vector<std::string> order{displayUUID};
    for (const auto& [uuid, byBundle] : pool)
        if (uuid != displayUUID) order.push_back(uuid);
    for (const auto& uuid : order) {
        auto display = pool.find(uuid);
        if (display == pool.end()) continue;
        auto list = display->second.find(bundleID);
        if (list == display->second.end() || list->second.empty()) continue;
        sortCandidatesByScore(list->second);
        PoolCandidate best = list->second.front();
        list->second.erase(list->second.begin());
        if (uuid != displayUUID)
            Log::sceneManager.info("Window sweep fallback: bundle '%s' from '%s' to '%s'", bundleID, uuid,
                                   displayUUID);
        return best;
    }
    return std::nullopt;
}

void SceneRestoreEngine::keepWindowsInTheirZones(const std::vector<platform::ScreenInfo>& screens,
                                                 const SceneDisplayResolution& resolution,
                                                 SweepState& sweep) {
    // Hints are served display by display, and the fallback hands a hint any window of its application:
    // without this, a hint of an earlier display would carry off a window that sits in its own zone on a
    // later one, and that zone would have the application started again for it. "Lies in" is the middle
    // of the window, as its display is the one holding its middle.
    for (const auto& screen : screens) {
        const std::string displayUUID = DisplayUtil::displayUUID(screen);
        auto hints = resolution.windowHints.find(displayUUID);
        auto display = sweep.pool.find(displayUUID);
        if (!resolution.layoutRefs.contains(displayUUID) || hints == resolution.windowHints.end() ||
            display == sweep.pool.end())
            continue;
        for (const auto& hint : hints->second) {
            auto list = display->second.find(hint.bundleID);
            if (list == display->second.end() || list->second.empty()) continue;
            const std::optional<Rect> zone = zoneFrameResolver(displayUUID, hint.zoneID);
            if (!zone) continue;
            sortCandidatesByScore(list->second);
            auto inZone = std::find_if(list->second.begin(), list->second.end(), [&](const PoolCandidate& c) {
                return zone->contains(sweep.bottomLeft(c.frame).center());
            });
            if (inZone == list->second.end()) continue;
            Log::sceneManager.debug("[diag] Pool keep: bundle='%s' wid=%u zone=%ld display='%s'",
                                    hint.bundleID, inZone->wid, hint.zoneID, displayUUID);
            sweep.stayingWids.insert(inZone->wid);
            sweep.staying[{displayUUID, hint.zoneID, hint.bundleID}].push_back(*inZone);
            list->second.erase(inZone);
        }
    }
}

std::optional<SceneRestoreEngine::PoolCandidate>
SceneRestoreEngine::nextCandidate(const WindowHint& hint, const std::string& displayUUID, SweepState& sweep) {
    auto kept = sweep.staying.find({displayUUID, hint.zoneID, hint.bundleID});
    if (kept != sweep.staying.end() && !kept->second.empty()) {
        PoolCandidate candidate = kept->second.front();
        kept->second.pop_front();
        return candidate;
    }
    return takeNextCandidate(hint.bundleID, displayUUID, sweep.pool);
}

std::optional<pid_t> SceneRestoreEngine::pidForBundleID(const std::string& bundleID,
                                                        const std::map<pid_t, std::string>& bundleByPID) {
    for (const auto& [pid, bundle] : bundleByPID)
        if (bundle == bundleID) return pid;
    return std::nullopt;
}

void SceneRestoreEngine::sweepWindows(const std::vector<platform::ScreenInfo>& screens,
                                      const SceneDisplayResolution& resolution, ParkingScope parking,
                                      SweepReport reported) {
    if (sweep_) {
        // The later sweep decides where every window goes: the earlier one's moves still under way are
        // no longer watched (a window it still moves goes where this one sends it), and it reports nothing.
        Log::sceneManager.info("Window sweep: a later sweep takes over; %ld moves of the one before are "
                               "given up",
                               sweep_->movesUnderWay);
        sweep_->givenUp.cancel();
        sweep_.reset();
    }
    auto sweep = std::make_shared<SweepState>();
    sweep->reported = std::move(reported);
    sweep->ofRestore = parking == ParkingScope::everyDisplay;
    if (parking == ParkingScope::sweptScreens)
        for (const auto& screen : screens)
            sweep->parkingDisplays.insert(DisplayUtil::displayUUID(screen));
    // Without any screen nothing is flipped (and nothing will be placed).
    sweep->flipHeight = flipHeight(platform_.screens());
    if (!buildPool(*sweep)) {
        if (sweep->reported) sweep->reported({});
        return;
    }
    sweep_ = sweep;
    Log::sceneManager.debug("Window sweep: zoneFrameResolver=%{bool}d screens=%ld resolution.layoutRefs=%s "
                            "resolution.hintDisplays=%s",
                            static_cast<bool>(zoneFrameResolver), screens.size(),
                            platform::describeList(sortedKeys(resolution.layoutRefs)),
                            platform::describeList(sortedKeys(resolution.windowHints)));

    if (zoneFrameResolver && !screens.empty()) {
        keepWindowsInTheirZones(screens, resolution, *sweep);
        for (const auto& screen : screens)
            serveDisplay(screen, resolution, *sweep);
    }
    parkUnplacedWindows(*sweep);
    sweep->allAsked = true;
    finishSweepIfDone(sweep);
}

bool SceneRestoreEngine::buildPool(SweepState& sweep) {
    // Every window, minimised ones included: a minimised window of the scene is brought back.
    auto list = platform_.windowServer().copyWindowInfo(platform::kExcludeDesktopElements);
    if (!list || !std::all_of(list->begin(), list->end(), [](const auto& e) { return e.is_object(); }))
        return false;

    for (const auto& app : platform_.workspace().runningApplications())
        if (app.bundleID) sweep.bundleByPID[app.pid] = *app.bundleID;
    auto& screens = platform_.screens();
    const auto connected = screens.screens();

    for (const auto& entry : *list) {
        if (windowinfo::integerValue(entry, WK::layer) != 0) continue;
        const auto owner = windowinfo::stringValue(entry, WK::ownerName);
        if (!owner || *owner == "WindowServer") continue;
        const auto wid = windowinfo::windowNumber(entry);
        const auto pid = windowinfo::ownerPID(entry);
        if (!wid || !pid || isOwnProcess(platform_, *pid)) continue;
        auto bundle = sweep.bundleByPID.find(*pid);
        if (bundle == sweep.bundleByPID.end()) continue;
        const std::string& bundleID = bundle->second;

        const Rect frame = windowinfo::boundsOrZero(entry);
        const Rect bottomLeft = sweep.bottomLeft(frame);
        const std::string displayUUID = DisplayUtil::displayUUID(screens, bottomLeft);
        const bool parked = isParkedWindow(entry, bottomLeft, connected);
        sweep.entries.push_back({*pid, *wid, displayUUID, bundleID, frame, parked});

        const std::string name = windowinfo::stringValue(entry, WK::name).value_or("");
        auto alphaValue = entry.find(WK::alpha);
        const double alpha =
            alphaValue != entry.end() && alphaValue->is_number() ? alphaValue->get<double>() : 1.0;
        if (alpha <= 0.01 || frame.size.width <= 2.0 || frame.size.height <= 2.0) {
            Log::sceneManager.debug("[diag] Pool skip ghost: bundle='%s' wid=%u name='%s' alpha=%f frame=%s",
                                    bundleID, *wid, name, alpha, platform::describe(frame));
            continue;
        }
        // A parked window is still the application's window, but a visible one serves a hint better.
        int score = poolScore(name, *owner, frame);
        if (parked) score -= 20;
        sweep.pool[displayUUID][bundleID].push_back({*pid, *wid, name, *owner, frame, score});
        Log::sceneManager.debug(
            "[diag] Pool admit: bundle='%s' wid=%u score=%ld name='%s' frame=%s display='%s'", bundleID, *wid,
            score, name, platform::describe(frame), displayUUID);
    }
    return true;
}

void SceneRestoreEngine::serveDisplay(const platform::ScreenInfo& screen,
                                      const SceneDisplayResolution& resolution, SweepState& sweep) {
    const std::string displayUUID = DisplayUtil::displayUUID(screen);
    // Any reference counts as an assignment here, also a blank or placeholder one the restore could not
    // resolve: the display still has zones from its earlier layout.
    const bool hasLayoutAssignment = resolution.layoutRefs.contains(displayUUID);
    auto found = resolution.windowHints.find(displayUUID);
    const std::vector<WindowHint> none;
    const std::vector<WindowHint>& hints = found == resolution.windowHints.end() ? none : found->second;
    Log::sceneManager.debug("Window sweep: display='%s' hasLayoutAssignment=%{bool}d hints=%ld", displayUUID,
                            hasLayoutAssignment, hints.size());
    if (!hasLayoutAssignment) return;
    sweep.totalHints += static_cast<int>(hints.size());
    for (const auto& hint : hints)
        serveHint(hint, screen, displayUUID, sweep);
}

void SceneRestoreEngine::serveHint(const WindowHint& hint, const platform::ScreenInfo& screen,
                                   const std::string& displayUUID, SweepState& sweep) {
    sweep.sceneBundleIDs.insert(hint.bundleID);
    const std::optional<Rect> zone = zoneFrameResolver(displayUUID, hint.zoneID);
    Log::sceneManager.debug("Window sweep: zoneResolver display='%s' zone=%ld bundle='%s' result=%s",
                            displayUUID, hint.zoneID, hint.bundleID, zone ? "ok" : "nil");
    if (!zone) {
        ++sweep.zoneResolverMisses;
        Log::sceneManager.error("Window sweep: zoneFrameResolver returned nil for display='%s' zone='%ld'",
                                displayUUID, hint.zoneID);
        return;
    }

    Rect target = *zone;
    if (const auto& f = hint.normalizedFrame) {
        // The fractions were taken of the visible frame when the scene was saved; measured against the
        // whole frame the window would slide under panels and docks and grow by their size.
        const Rect& v = screen.visibleFrame;
        target = Rect{v.minX() + f->x * v.width(), v.minY() + f->y * v.height(), f->width * v.width(),
                      f->height * v.height()};
    }

    std::optional<WindowID> poolWid;
    while (auto candidate = nextCandidate(hint, displayUUID, sweep)) {
        poolWid = candidate->wid;
        if (auto window = ax_->axElement(candidate->wid, candidate->pid)) {
            placeWindow(*window, target, hint, displayUUID, poolWid, sweep);
            return;
        }
        Log::sceneManager.error(
            "Window sweep: AX failed wid=%u score=%ld bundle='%s' — trying next candidate", candidate->wid,
            candidate->score, hint.bundleID);
    }
    if (placeFromAllWindows(hint, target, displayUUID, poolWid, sweep)) return;

    auto& requested = sweep.requestedZones[displayUUID];
    if (requested.contains(hint.zoneID)) {
        Log::sceneManager.info("Window sweep: skip duplicate autolaunch zone=%ld bundle='%s'", hint.zoneID,
                               hint.bundleID);
        return;
    }
    requested.insert(hint.zoneID);
    Log::sceneManager.info(
        "Window sweep: no window for '%s' zone=%ld — calling onAppLaunchNeeded (handler=%{bool}d)",
        hint.bundleID, hint.zoneID, static_cast<bool>(onAppLaunchNeeded));
    if (onAppLaunchNeeded && !onAppLaunchNeeded(displayUUID, hint)) sweep.unstartedApps.insert(hint.bundleID);
}

bool SceneRestoreEngine::placeFromAllWindows(const WindowHint& hint, const Rect& target,
                                             const std::string& displayUUID, std::optional<WindowID> poolWid,
                                             SweepState& sweep) {
    const auto pid = pidForBundleID(hint.bundleID, sweep.bundleByPID);
    if (!pid) return false;
    auto& accessibility = platform_.accessibility();
    AXValue value;
    if (accessibility.copyAttribute(accessibility.applicationElement(*pid), "AXAllWindows", value) !=
        AXError::success)
        return false;
    const auto* windows = std::get_if<std::vector<AXElement>>(&value);
    if (!windows || windows->empty()) return false;

    // An earlier hint may have placed the application's windows already, or a later one keeps a window
    // in its zone; taking one would pull it out of that zone and leave the other without its own, where
    // starting the application gives one.
    const AXElement* chosen = nullptr;
    for (const auto& window : *windows) {
        const auto number = ax_->windowID(window);
        if (!number || (!sweep.placed.contains(*number) && !sweep.stayingWids.contains(*number))) {
            chosen = &window;
            break;
        }
    }
    if (!chosen) return false;
    AXValue title;
    accessibility.copyAttribute(*chosen, "AXTitle", title);
    const std::string* text = std::get_if<std::string>(&title);
    Log::sceneManager.debug("[diag] AXAllWindows fallback: bundle='%s' pid=%d candidates=%ld chosen='%s'",
                            hint.bundleID, *pid, windows->size(), text ? *text : std::string());
    placeWindow(*chosen, target, hint, displayUUID, poolWid, sweep);
    return true;
}

void SceneRestoreEngine::placeWindow(const AXElement& window, const Rect& target, const WindowHint& hint,
                                     const std::string& displayUUID, std::optional<WindowID> poolWid,
                                     SweepState& sweep) {
    auto& accessibility = platform_.accessibility();
    SweepMove move{SweepMove::Kind::placement, window, target, hint.bundleID, std::nullopt, false};
    AXValue minimized;
    if (accessibility.copyAttribute(window, "AXMinimized", minimized) == AXError::success &&
        readsAsTrue(minimized)) {
        accessibility.setAttribute(window, "AXMinimized", false);
        move.unminimized = true;
    }

    // Recorded in its zone as its move is asked for, so that the keys pressed while it moves find it
    // there; only what became of the move is counted, once it has ended.
    std::optional<WindowID> wid;
    AXValue number;
    if (accessibility.copyAttribute(window, "_AXWindowID", number) == AXError::success)
        wid = windowNumberOf(number);
    if (!wid) {
        if ((wid = ax_->windowID(window))) {
            Log::sceneManager.info(
                "Window sweep: _AXWindowID unavailable, inferred wid=%u via windowId() for "
                "bundle='%s'",
                *wid, hint.bundleID);
        } else if ((wid = poolWid)) {
            Log::sceneManager.info("Window sweep: _AXWindowID unavailable, using pool wid=%u for bundle='%s'",
                                   *wid, hint.bundleID);
        } else {
            Log::sceneManager.error(
                "Window sweep: no wid available for bundle='%s' zone=%ld — onWindowPlaced skipped",
                hint.bundleID, hint.zoneID);
        }
    }
    pid_t pid = 0;
    if (accessibility.pidOf(window, pid) != AXError::success) pid = 0;
    Log::sceneManager.debug("[diag] Restore placed: bundle='%s' zone=%ld wid=%u pid=%d display='%s'",
                            hint.bundleID, hint.zoneID, wid.value_or(0), pid, displayUUID);
    if (wid) {
        if (onWindowPlaced) onWindowPlaced(displayUUID, *wid, pid, window, hint.zoneID);
        sweep.placed.insert(*wid);
    }
    move.wid = wid;
    if (sweep_.get() == &sweep) startMove(sweep_, std::move(move));
}

} // namespace korvane
