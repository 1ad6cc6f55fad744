// The end of every window sweep: parking the windows of ordinary applications that the scene does not
// place just off the left edge of their display's row of screens, when the user wants it; watching the
// sweep's moves until the window manager has carried them out; and reporting the sweep once they have.
#include "scenes/SceneRestoreEngine.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/Rescuer.h"
#include "platform/Platform.h"

#include <cmath>

namespace korvane {

namespace {

// A point and a half on any side: a target of fractional points lands on whole pixels.
bool apart(const Rect& a, const Rect& b) {
    return std::fabs(a.minX() - b.minX()) > 1.5 || std::fabs(a.minY() - b.minY()) > 1.5 ||
           std::fabs(a.width() - b.width()) > 1.5 || std::fabs(a.height() - b.height()) > 1.5;
}

// Whether the frame lies inside the zone, give or take the same point and a half on each side.
bool liesWithin(const Rect& frame, const Rect& zone) {
    return frame.minX() >= zone.minX() - 1.5 && frame.minY() >= zone.minY() - 1.5 &&
           frame.maxX() <= zone.maxX() + 1.5 && frame.maxY() <= zone.maxY() + 1.5;
}

} // namespace

void SceneRestoreEngine::parkUnplacedWindows(SweepState& sweep) {
    sweep.parking = platform_.userDefaults().boolValue(kParkUnmanagedWindowsKey).value_or(false);
    if (!sweep.parking) {
        Log::sceneManager.info("Window sweep: parking disabled; skip unmanaged parking");
        return;
    }
    // Agents and accessories keep their windows where they are: they are no part of a workspace.
    std::set<pid_t> regular;
    for (const auto& app : platform_.workspace().runningApplications())
        if (app.activationPolicy == platform::ActivationPolicy::regular) regular.insert(app.pid);
    auto& screens = platform_.screens();

    for (const auto& entry : sweep.entries) {
        if (sweep.placed.contains(entry.wid)) continue;
        if (!sweep.parkingDisplays.empty() && !sweep.parkingDisplays.contains(entry.displayUUID)) continue;
        // Every window of an application the scene names stays, also one that no hint took.
        if (sweep.sceneBundleIDs.contains(entry.bundleID)) continue;
        if (!regular.contains(entry.pid)) continue;
        if (entry.parked) {
            sweep.parkedBundleIDs.insert(entry.bundleID);
            if (onWindowParked) onWindowParked(entry.wid);
            continue;
        }
        const auto window = ax_->axElement(entry.wid, entry.pid);
        if (!window) continue;
        // A minimised window is out of sight already, and stays minimised: raised for a move, it would be
        // brought back, as a strip at the edge.
        if (axNumberAttribute(platform_.accessibility(), *window, "AXMinimized").value_or(false)) {
            sweep.parkedBundleIDs.insert(entry.bundleID);
            if (onWindowParked) onWindowParked(entry.wid);
            continue;
        }
        const Rect frame = sweep.bottomLeft(entry.frame);
        // Without any screen there is no edge to park at; the window stays rather than the program
        // stopping.
        const auto screen = DisplayUtil::screen(screens, frame);
        if (!screen) continue;
        // Out of its zone as it is sent off, so that no key brings it forward meanwhile.
        if (onWindowParked) onWindowParked(entry.wid);
        SweepMove move{SweepMove::Kind::parking, *window,
                       parkingFrame(frame, screen->visibleFrame, screens.screens()), entry.bundleID,
                       entry.wid};
        // The move takes the state away; the mark keeps it for the window's way back.
        move.maximized = axNumberAttribute(platform_.accessibility(), *window, platform::kMaximizedAttribute)
                             .value_or(false);
        if (sweep_.get() == &sweep) startMove(sweep_, std::move(move));
    }
}

void SceneRestoreEngine::startMove(const std::shared_ptr<SweepState>& sweep, SweepMove move) {
    ++sweep->movesUnderWay;
    // Raised in the order the moves are asked, as the sweep records the windows: a zone's last window
    // placed is its top, on screen as in its stack.
    platform_.accessibility().performAction(move.window, "AXRaise");
    platform::spawn(platform_.runLoop(), runMove(weak_from_this(), ax_, sweep, std::move(move)));
}

platform::Task<void> SceneRestoreEngine::runMove(std::weak_ptr<SceneRestoreEngine> weak,
                                                 std::shared_ptr<AXUtil> ax,
                                                 std::shared_ptr<SweepState> sweep, SweepMove move) {
    auto& loop = ax->platform().runLoop();
    const platform::CancellationToken givenUp = sweep->givenUp.token();
    MoveEnd end = MoveEnd::givenUp;
    // The window must be back before it can be moved.
    const bool cutShort = move.unminimized && co_await platform::sleepFor(loop, kUnminimizePause, givenUp);
    if (!cutShort && !givenUp.isCancelled()) {
        const std::optional<Rect> before = ax->frame(move.window);
        const AXUtil::FrameRequest request = ax->requestMoveResize(move.window, move.target);
        // Given up either way: the sweep was, or another move of the window took over.
        platform::CancellationSource ended;
        const auto endWith = [ended]() mutable { ended.cancel(); };
        const platform::CancellationRegistration bySweep = givenUp.onCancel(endWith);
        const platform::CancellationRegistration byRequest = request.replaced.onCancel(endWith);
        const platform::CancellationToken stop = ended.token();

        auto answered = ax->awaitMoveResize(move.window, move.target, request, stop);
        const std::optional<Rect> granted = co_await std::move(answered);
        const Nanos start = loop.now();
        for (;;) {
            if (stop.isCancelled()) break;
            const auto now = ax->frame(move.window);
            if (!now) {
                end = MoveEnd::gone;
                break;
            }
            // Where it was sent, where it told it would go, or wherever else the window manager put it:
            // any of these is the window manager's answer.
            const bool answered = !apart(*now, move.target) || (granted && !apart(*now, *granted)) ||
                                  !before || apart(*now, *before);
            // A parked window stays parked wherever the window manager keeps it; a placed one counts only
            // once it lies in its zone. A window manager that goes on after a stall works through what it
            // was asked in order, earlier moves of the window first: a frame elsewhere is watched on.
            if (answered && (move.kind == SweepMove::Kind::parking || liesWithin(*now, move.target))) {
                end = MoveEnd::arrived;
                break;
            }
            // A window manager stopped or busy answers once it goes on, in the order it was asked; a
            // request that could not be sent is answered by nobody.
            if (!request.sent || loop.now() - start >= kMoveAnswerLimit) {
                end = answered ? MoveEnd::outsideZone : MoveEnd::unanswered;
                break;
            }
            if (co_await platform::sleepFor(loop, kLateMovePollInterval, stop)) break;
        }
    }
    if (auto self = weak.lock()) {
        self->moveEnded(*sweep, move, end);
        self->finishSweepIfDone(sweep);
    }
}

void SceneRestoreEngine::moveEnded(SweepState& sweep, const SweepMove& move, MoveEnd end) {
    --sweep.movesUnderWay;
    if (sweep.givenUp.isCancelled()) return;
    const std::string wid = move.wid ? std::to_string(*move.wid) : std::string("-");
    const bool parking = move.kind == SweepMove::Kind::parking;
    switch (end) {
    case MoveEnd::arrived:
        if (!parking) {
            ++sweep.placedCount;
            return;
        }
        // Marked where the window manager has put it, which is the frame the mark holds: a window
        // manager keeps part of a window on screen, and the mark keeps it a parked window there.
        platform_.accessibility().setAttribute(move.window, platform::kParkedAttribute, true);
        if (move.maximized)
            platform_.accessibility().setAttribute(move.window, platform::kParkedMaximizedAttribute, true);
        sweep.parkedBundleIDs.insert(move.bundleID);
        ++sweep.parkedCount;
        Log::sceneManager.info("Scene park: '%s' wid=%s", move.bundleID, wid);
        return;
    case MoveEnd::unanswered:
        Log::sceneManager.error(
            "Window sweep: the window manager did not move '%s' wid=%s; not counted as %s", move.bundleID,
            wid, parking ? "parked" : "placed");
        return;
    case MoveEnd::outsideZone:
        Log::sceneManager.error("Window sweep: the window manager left '%s' wid=%s outside its zone; not "
                                "counted as placed",
                                move.bundleID, wid);
        return;
    case MoveEnd::gone:
        Log::sceneManager.info("Window sweep: '%s' wid=%s went before its move ended", move.bundleID, wid);
        return;
    case MoveEnd::givenUp:
        Log::sceneManager.info("Window sweep: '%s' wid=%s was moved elsewhere before its move ended",
                               move.bundleID, wid);
        return;
    }
}

void SceneRestoreEngine::finishSweepIfDone(const std::shared_ptr<SweepState>& sweep) {
    if (!sweep->allAsked || sweep->movesUnderWay > 0 || sweep->givenUp.isCancelled()) return;
    if (sweep_ == sweep) sweep_.reset();
    if (sweep->parking)
        Log::sceneManager.info("Window sweep: placed %ld/%ld windows, parked %ld unmanaged, "
                               "zoneResolverMisses=%ld, sceneBundleIDs=%ld",
                               sweep->placedCount, sweep->totalHints, sweep->parkedCount,
                               sweep->zoneResolverMisses, sweep->sceneBundleIDs.size());
    if (onSweepCompleted)
        onSweepCompleted(sweep->placed, sweep->sceneBundleIDs, sweep->bundleByPID, sweep->parkedBundleIDs);
    if (sweep->reported)
        sweep->reported({sweep->placedCount, sweep->totalHints, sweep->parkedCount, sweep->unstartedApps,
                         sweep->zoneResolverMisses});
}

} // namespace korvane
