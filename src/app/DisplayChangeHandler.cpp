// The debounced display-change pass and the reconciliation of each display's zones with its screen.
#include "app/DisplayChangeHandler.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "app/DisplayObserver.h"
#include "app/DisplayRecords.h"
#include "app/DisplayTopologySnapshot.h"
#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/WindowMappingRebuild.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "tracking/MappingTransaction.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvane {

namespace {

std::string seconds2(Nanos n) {
    return platform::format("%.2f", toSeconds(n));
}

double millisecondsBetween(Nanos from, Nanos to) {
    return static_cast<double>(to - from) / 1e6;
}

std::string ms1(double ms) {
    return platform::format("%.1f", ms);
}

// Truncated toward zero, as the summary line writes coordinates.
std::string whole(double v) {
    return std::isfinite(v) ? std::to_string(static_cast<long long>(std::trunc(v))) : "0";
}

// "37D8A1@(0,25 1512x957)" per screen, joined by "; ".
std::string summaryOf(const DisplayTopologySnapshot& snapshot) {
    std::string out;
    for (const auto& entry : snapshot.entries) {
        const Rect& v = entry.visibleFrame;
        if (!out.empty()) out += "; ";
        out += entry.displayUUID.substr(0, 6) + "@(" + whole(v.origin.x) + "," + whole(v.origin.y) + " " +
               whole(v.size.width) + "x" + whole(v.size.height) + ")";
    }
    return out;
}

// The union of all zone frames; nothing without zones.
std::optional<Rect> zoneBounds(const Layout& layout) {
    std::optional<Rect> bounds;
    for (const auto& [id, zone] : layout.zones) {
        const Rect& f = zone.frame;
        if (!bounds) {
            bounds = Rect{f.minX(), f.minY(), f.width(), f.height()};
            continue;
        }
        const double x0 = std::min(bounds->minX(), f.minX()), y0 = std::min(bounds->minY(), f.minY());
        const double x1 = std::max(bounds->maxX(), f.maxX()), y1 = std::max(bounds->maxY(), f.maxY());
        bounds = Rect{x0, y0, x1 - x0, y1 - y0};
    }
    return bounds;
}

// Whether the frame reaches into the part of the screen that its visible frame leaves out. A point of
// slack: frames and zones are rounded to whole pixels on the way to the window server and back.
bool reachesPastVisibleFrame(const Rect& frame, const platform::ScreenInfo& screen) {
    constexpr double slack = 1.0;
    const Rect onScreen = frame.intersection(screen.frame);
    const Rect& v = screen.visibleFrame;
    return !onScreen.isEmpty() && (onScreen.minX() < v.minX() - slack || onScreen.maxX() > v.maxX() + slack ||
                                   onScreen.minY() < v.minY() - slack || onScreen.maxY() > v.maxY() + slack);
}

} // namespace

std::shared_ptr<DisplayChangeHandler> DisplayChangeHandler::create(platform::Platform& platform,
                                                                   Dependencies dependencies) {
    return std::shared_ptr<DisplayChangeHandler>(new DisplayChangeHandler(platform, std::move(dependencies)));
}

DisplayChangeHandler::DisplayChangeHandler(platform::Platform& platform, Dependencies dependencies)
    : platform_(platform), deps_(std::move(dependencies)) {}

DisplayChangeHandler::~DisplayChangeHandler() {
    if (displayChangeTimer) displayChangeTimer->invalidate();
    placingAgain_.cancel();
}

std::string DisplayChangeHandler::modeName() const {
    return std::string(platform::toString(platform_.runLoop().currentMode()));
}

// ---- Probes, debounce and deferrals ----

void DisplayChangeHandler::startDisplayLayoutProbeSubscription() {
    if (displayLayoutProbeSubscription) displayLayoutProbeSubscription->cancel();
    displayLayoutProbeSubscription.reset();
    displayLayoutProbeSubscription = deps_.displayLayoutEventBus->subscribe(
        [weak = weak_from_this()](const DisplayLayoutProbeEvent& probe) {
            if (auto self = weak.lock()) self->handleDisplayLayoutProbe(probe);
        });
}

void DisplayChangeHandler::stopDisplayLayoutProbeSubscription() {
    if (!displayLayoutProbeSubscription) return;
    displayLayoutProbeSubscription->cancel();
    displayLayoutProbeSubscription.reset();
}

void DisplayChangeHandler::handleDisplayLayoutProbe(const DisplayLayoutProbeEvent& probe) {
    const std::string text = std::string(toString(probe.reason)) + ":" + probe.source;
    if (probe.forceImmediate) {
        handleDisplayChange("probe.immediate:" + text);
        return;
    }
    scheduleDisplayChange("probe:" + text);
}

void DisplayChangeHandler::scheduleDisplayChange(const std::string& reason) {
    auto& loop = platform_.runLoop();
    if (!loop.isMainThread()) {
        loop.post([weak = weak_from_this(), reason] {
            if (auto self = weak.lock()) self->scheduleDisplayChange(reason);
        });
        return;
    }
    // The request pending so far is dropped with its reason: the latest one wins.
    if (displayChangeTimer) displayChangeTimer->invalidate();
    displayChangeTimer.reset();
    Log::app.debug("[DisplayChange] scheduled reason=%s debounce=%.*f mode=%s", reason, 2,
                   toSeconds(displayChangeDebounce), modeName());
    armDisplayChangeTimer(reason, displayChangeDebounce);
}

void DisplayChangeHandler::armDisplayChangeTimer(const std::string& reason, Nanos interval) {
    displayChangeTimer = platform_.runLoop().scheduleTimer(
        interval, false, platform::RunLoopMode::Default, [weak = weak_from_this(), reason](platform::Timer&) {
            if (auto self = weak.lock()) self->fireOrDeferDisplayChange(reason);
        });
}

void DisplayChangeHandler::rearm(const std::string& reason, Nanos interval) {
    if (displayChangeTimer) displayChangeTimer->invalidate();
    displayChangeTimer.reset();
    armDisplayChangeTimer(reason, interval);
}

void DisplayChangeHandler::fireOrDeferDisplayChange(std::string reason) {
    // Whole nanoseconds on both sides, so a debounce and a wait that add up to the settle window end
    // exactly on it instead of a hair short.
    const Nanos elapsed = platform_.runLoop().now() - deps_.displayObserver->lastChangeAt();
    if (elapsed < kSettleWindow) {
        const Nanos wait = std::max(kSettleWindow - elapsed, kMinimumSettleWait);
        Log::app.debug("[DisplayChange] defer reason=%s unstableFor=%ss wait=%ss", reason, seconds2(elapsed),
                       seconds2(wait));
        rearm(reason, wait);
        return;
    }
    // A list that cannot be read does not count as empty.
    const auto windows = platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly);
    if (windows && windows->empty()) {
        const Nanos now = platform_.runLoop().now();
        if (!emptyWindowListSince_) emptyWindowListSince_ = now;
        if (now - *emptyWindowListSince_ < kEmptyWindowListPatience) {
            Log::app.info("[DisplayChange] defer reason=%s windowListEmpty=1 wait=%ss", reason,
                          seconds2(kEmptyWindowListWait));
            rearm(reason, kEmptyWindowListWait);
            return;
        }
        Log::app.info("[DisplayChange] window list still empty after %ss; handling reason=%s",
                      seconds2(now - *emptyWindowListSince_), reason);
    }
    if (isMenuOpen && isMenuOpen()) {
        Log::app.info("[DisplayChange] defer reason=%s menuOpen=1 mode=%s wait=%ss", reason, modeName(),
                      seconds2(kOpenMenuWait));
        rearm(reason, kOpenMenuWait);
        return;
    }
    Log::app.info("[DisplayChange] fired reason=%s mode=%s", reason, modeName());
    handleDisplayChange(reason);
}

// ---- The pass ----

void DisplayChangeHandler::handleDisplayChange(const std::string& reason) {
    emptyWindowListSince_.reset();
    auto interval = Log::signposts.beginInterval("DisplayChangeHandle");
    auto& loop = platform_.runLoop();
    const Nanos startedAt = loop.now();
    Log::app.info("[DisplayChange] handle start reason=%s", reason);

    const DisplayTopologySnapshot snapshot = DisplayTopologySnapshot::capture(platform_.screens());
    const bool topologyChanged = snapshot.digest != lastDisplayTopologyDigest_;
    if (topologyChanged) {
        Log::app.info("[DisplayChange] topology changed reason=%s screens=%ld summary=%s", reason,
                      static_cast<std::int64_t>(snapshot.entries.size()), summaryOf(snapshot));
        lastDisplayTopologyDigest_ = snapshot.digest;
    }

    if (forceCancelMenu) forceCancelMenu();

    const Nanos initStart = loop.now();
    deps_.displayLayouts->initializeAllDisplays();
    const double initMs = millisecondsBetween(initStart, loop.now());

    const Nanos reconcileStart = loop.now();
    reconcileDisplayStates(reason, topologyChanged);
    // Only when the screens changed: a window moved past a visible frame by hand stays where it was put.
    if (topologyChanged) placeWindowsPastVisibleFrames(reason);
    const double reconcileMs = millisecondsBetween(reconcileStart, loop.now());

    // Placements opened against the zones as they were must not land in the zones as they are now.
    for (const auto& uuid : availableDisplayUUIDs())
        deps_.mappingTransactions->bumpEpoch(uuid, "display-change:" + reason);
    deps_.mappingTransactions->expireStale();
    deps_.mappingTransactions->prune(kIntentPruneAge);

    const std::string target = deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
    std::string current = target;
    if (auto state = deps_.multiState->states.find(target);
        state != deps_.multiState->states.end() && state->second)
        current = state->second->layout.screenId;
    if (!target.empty() && target != current) {
        Log::app.info("Display change detected (reason=%s) %s -> %s", reason, current, target);
        if (!deps_.displayLayouts->setActiveDisplay(target, true)) {
            Log::app.error("Display change: activateDisplayContext failed for %s; fallback to 50:50", target);
            const auto focused = deps_.displayRecords->focusedWindow();
            const std::string display =
                focused ? focused->displayUUID : deps_.displayRecords->resolveActiveDisplayUUID(std::nullopt);
            deps_.displayLayouts->applyRegionSet(builtinSplit5050Layout(), display, false);
        }
    }

    if (!autoApplyLayoutOnDisplayChange)
        Log::app.info("Auto-apply on display change is disabled; state synced but layout migration skipped "
                      "for reason=%s",
                      reason);

    finishDisplayChange(reason, startedAt, initMs, reconcileMs);
}

void DisplayChangeHandler::finishDisplayChange(const std::string& reason, Nanos startedAt, double initMs,
                                               double reconcileMs) {
    auto& loop = platform_.runLoop();
    const Nanos mapStart = loop.now();
    deps_.mappingRebuild->rebuildWindowRegionMappings(true, "display-change:" + reason);
    const Nanos end = loop.now();
    Log::app.info("[DisplayChange] handle end reason=%s initMs=%s reconcileMs=%s mapMs=%s totalMs=%s", reason,
                  ms1(initMs), ms1(reconcileMs), ms1(millisecondsBetween(mapStart, end)),
                  ms1(millisecondsBetween(startedAt, end)));
}

// ---- Reconciling zones with screens ----

void DisplayChangeHandler::reconcileDisplayStates(const std::string& reason, bool topologyChanged) {
    std::int64_t checked = 0, repaired = 0;
    for (const auto& screen : platform_.screens().screens()) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        auto found = deps_.multiState->states.find(uuid);
        if (found == deps_.multiState->states.end() || !found->second) {
            deps_.displayLayouts->ensureState(uuid);
            continue;
        }
        ++checked;
        // Held by its own reference: a resync must not lose the state it works on.
        const std::shared_ptr<WMState> state = found->second;
        if (displayStateDrifted(*state, screen) && resyncDisplayState(uuid, *state, screen, reason))
            ++repaired;
    }
    if (!topologyChanged && repaired == 0) return;
    Log::app.info("[DisplayReconcile] checked=%ld repaired=%ld topologyChanged=%{bool}d reason=%s", checked,
                  repaired, topologyChanged, reason);
}

void DisplayChangeHandler::placeWindowsPastVisibleFrames(const std::string& reason) {
    // The moves a pass before this one still watches are its business no more: this pass decides.
    placingAgain_.cancel();
    placingAgain_ = platform::CancellationSource();
    auto pass = std::make_shared<PlacingAgain>();
    pass->givenUp = placingAgain_.token();
    auto& moves = pass->moves;
    for (const auto& screen : platform_.screens().screens()) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        const auto found = deps_.multiState->states.find(uuid);
        if (found == deps_.multiState->states.end() || !found->second) continue;
        const WMState& state = *found->second;
        for (const auto& [id, zone] : state.layout.zones) {
            // A zone that is itself out of step with the screen would not help.
            if (reachesPastVisibleFrame(zone.frame, screen)) continue;
            for (WindowID wid : zone.stack) {
                const auto ref = state.wins.find(wid);
                if (ref == state.wins.end()) continue;
                // A window gone meanwhile has no frame; the mapping rebuild drops it.
                const auto frame = deps_.ax->frame(ref->second.ax);
                if (!frame || !reachesPastVisibleFrame(*frame, screen)) continue;
                // Asked at once and watched without holding the pass up: keys and drawing go on while
                // the window manager moves the windows.
                moves.push_back(
                    {ref->second.ax, zone.frame, deps_.ax->requestMoveResize(ref->second.ax, zone.frame)});
                Log::app.info("[DisplayReconcile] placed again wid=%u zone=%d display=%s reason=%s", wid, id,
                              uuid, reason);
            }
        }
    }
    pass->underWay = moves.size();
    for (std::size_t i = 0; i < moves.size(); ++i)
        platform::spawn(platform_.runLoop(), awaitPlacedAgain(deps_.ax, pass, i));
}

platform::Task<void> DisplayChangeHandler::awaitPlacedAgain(std::shared_ptr<AXUtil> ax,
                                                            std::shared_ptr<PlacingAgain> pass,
                                                            std::size_t index) {
    const PlacedAgain& move = pass->moves[index];
    auto answered = ax->awaitMoveResize(move.window, move.target, move.request, pass->givenUp);
    co_await std::move(answered);
    if (--pass->underWay > 0 || pass->givenUp.isCancelled()) co_return;
    // Raised once all have ended, in the order they were placed, each zone's bottom to top, so that every
    // zone keeps its top in front; a window another move took over meanwhile is that move's to raise.
    auto& accessibility = ax->platform().accessibility();
    for (const auto& placed : pass->moves)
        if (!placed.request.replaced.isCancelled()) accessibility.performAction(placed.window, "AXRaise");
}

bool DisplayChangeHandler::displayStateDrifted(const WMState& state,
                                               const platform::ScreenInfo& screen) const {
    const auto bounds = zoneBounds(state.layout);
    if (!bounds) return true;
    const Rect& visible = screen.visibleFrame;
    const bool within = std::fabs(bounds->minX() - visible.minX()) <= kDriftTolerance &&
                        std::fabs(bounds->maxX() - visible.maxX()) <= kDriftTolerance &&
                        std::fabs(bounds->minY() - visible.minY()) <= kDriftTolerance &&
                        std::fabs(bounds->maxY() - visible.maxY()) <= kDriftTolerance;
    if (within) return false;
    // Expected after every rearrangement of the displays or change of their work areas; the resync that
    // follows repairs it, and only its failure is an error.
    Log::app.info("[DisplayReconcile] drift detected display=%s zoneBounds=%s visible=%s",
                  state.layout.screenId, platform::describe(*bounds), platform::describe(visible));
    return true;
}

bool DisplayChangeHandler::resyncDisplayState(const std::string& displayUUID, WMState& state,
                                              const platform::ScreenInfo& screen, const std::string& reason) {
    std::optional<std::string> layoutID;
    const auto& workbenches = deps_.displayWorkbenches->workbenches;
    auto& selection = deps_.layoutSelection->lastByDisplay;
    if (auto workbench = workbenches.find(displayUUID); workbench != workbenches.end())
        layoutID = workbench->second.activeTemplateID;
    else if (auto selected = selection.find(displayUUID); selected != selection.end())
        layoutID = selected->second;

    if (layoutID) {
        const auto set = deps_.layouts->regionSet(*layoutID);
        auto zones = set ? LayoutBuilder::normalizedRegionIDs(*set, screen) : LayoutBuilder::Zones{};
        if (!zones.empty()) {
            Layout layout;
            layout.screenId = displayUUID;
            layout.gridSpec = GridSpec{1, static_cast<int>(zones.size()), 0, 0};
            layout.zones = std::move(zones);
            state.applyLayout(layout);
            if (auto selected = selection.find(displayUUID);
                selected == selection.end() || selected->second != *layoutID) {
                selection[displayUUID] = *layoutID;
                LayoutSelectionStore::save(*deps_.layoutSelection);
            }
            Log::app.info("[DisplayReconcile] resynced by template display=%s layout=%s reason=%s",
                          displayUUID, *layoutID, reason);
            return true;
        }
    }

    if (auto rebased = rebasedLayout(state, displayUUID, screen.visibleFrame)) {
        state.applyLayout(*rebased);
        Log::app.info("[DisplayReconcile] resynced by rebase display=%s reason=%s", displayUUID, reason);
        return true;
    }
    Log::app.error("[DisplayReconcile] resync failed display=%s reason=%s", displayUUID, reason);
    return false;
}

std::optional<Layout> DisplayChangeHandler::rebasedLayout(const WMState& state,
                                                          const std::string& displayUUID,
                                                          const Rect& visibleFrame) const {
    const auto bounds = zoneBounds(state.layout);
    if (!bounds) return std::nullopt;
    const Rect& b = *bounds;
    const Rect& v = visibleFrame;
    if (!(b.width() > kMinimumRebaseSize && b.height() > kMinimumRebaseSize &&
          v.width() > kMinimumRebaseSize && v.height() > kMinimumRebaseSize))
        return std::nullopt;

    Layout layout;
    layout.screenId = displayUUID;
    layout.gridSpec = state.layout.gridSpec;
    for (const auto& [id, zone] : state.layout.zones) {
        Zone rebased = zone;
        const Rect& f = zone.frame;
        rebased.frame = Rect{v.minX() + (f.minX() - b.minX()) / b.width() * v.width(),
                             v.minY() + (f.minY() - b.minY()) / b.height() * v.height(),
                             f.width() / b.width() * v.width(), f.height() / b.height() * v.height()};
        layout.zones[id] = std::move(rebased);
    }
    return layout;
}

std::vector<std::string> DisplayChangeHandler::availableDisplayUUIDs() const {
    return DisplayUtil::availableDisplayUUIDs(platform_.screens());
}

} // namespace korvane
