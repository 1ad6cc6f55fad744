// Putting another application's window into a zone: record it on top of the stack, give it the zone's
// frame and check it (a window that stays out of the zone is not placed), bring its application forward
// when asked, and keep the window-to-zone mapping right while the window's number is still unknown; and
// the swap of a window with a zone's top.
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <cmath>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;

namespace {

// How long a move lets a window settle in its new frame (a terminal taking in its new size) after the
// window manager has carried the move out, before its frame is checked.
constexpr Nanos kSettleBeforeFrameCheck = milliseconds(50);
constexpr double kDriftTolerance = 2.0; // points; exactly this much counts as in place
constexpr double kReconcileInterval = 0.12;
constexpr int kReconcileAttempts = 8;
constexpr double kSwapFocusReturnDelay = 0.1;
// How long, and how often, a window is watched after its move's check: a window manager that answers
// late may carry a move out after it was judged refused, and a window may move itself back out.
constexpr Nanos kFollowAfterMove = milliseconds(3000);
constexpr Nanos kFollowInterval = milliseconds(100);

std::shared_ptr<WMState> stateOf(const MultiDisplayState& multiState, const std::string& displayUUID) {
    auto found = multiState.states.find(displayUUID);
    if (found == multiState.states.end()) return nullptr;
    return found->second;
}

pid_t pidOf(platform::Accessibility& accessibility, const AXElement& element) {
    pid_t pid = 0;
    if (accessibility.pidOf(element, pid) != AXError::success) return 0;
    return pid;
}

bool drifted(const Rect& actual, const Rect& target) {
    return std::fabs(actual.origin.x - target.origin.x) > kDriftTolerance ||
           std::fabs(actual.origin.y - target.origin.y) > kDriftTolerance ||
           std::fabs(actual.size.width - target.size.width) > kDriftTolerance ||
           std::fabs(actual.size.height - target.size.height) > kDriftTolerance;
}

// The window with the keyboard, by its number.
std::optional<WindowID> keyboardHolder(AXUtil& ax) {
    const auto focused = ax.focusedWindow();
    return focused ? ax.windowID(*focused) : std::nullopt;
}

// Whether the frame lies within the zone, allowing the tolerance of the frame check on every side.
bool within(const Rect& frame, const Rect& zone) {
    return frame.minX() >= zone.minX() - kDriftTolerance && frame.minY() >= zone.minY() - kDriftTolerance &&
           frame.maxX() <= zone.maxX() + kDriftTolerance && frame.maxY() <= zone.maxY() + kDriftTolerance;
}

// The frame of a window that the move left clearly out of the zone: its centre outside the zone, or its
// frame where it was before and reaching out of the zone (a window its window manager keeps full screen,
// one that nobody moves once the window manager is gone). Nothing when the window is in the zone, also
// at the smaller frame its own size steps or limits give it there, or when its frame cannot be read.
std::optional<Rect> frameOutsideZone(AXUtil& ax, const AXElement& element, const std::optional<Rect>& before,
                                     const Rect& target) {
    const auto after = ax.frame(element);
    if (!after || !drifted(*after, target)) return std::nullopt;
    if (const auto granted = ax.grantedFrame(element, target); granted && !drifted(*after, *granted))
        return std::nullopt;
    if (!target.contains(after->center())) return after;
    const bool unchanged = before && !drifted(*after, *before);
    if (unchanged && !within(*after, target)) return after;
    return std::nullopt;
}

} // namespace

struct WMController::PendingMove {
    std::uint64_t number = 0;
    AXElement element;
    std::optional<WindowID> wid;
    pid_t pid = 0;
    int toZone = 0;
    std::string displayUUID;
    std::string tag;
    MoveActivation activation = MoveActivation::leaveFocus;
    Rect target;
    std::optional<Rect> before;
    // The state the window was attached in, and where it stood there before: put back should the window
    // not get into the zone.
    std::weak_ptr<WMState> state;
    bool attached = false;
    WMState::Place place;
    AXUtil::FrameRequest request;
    // Set as the move is placed when its window's application is to be brought forward.
    bool bringForward = false;
    // As the check left it, for the watch after it: whether the window is in the zone, its number, and
    // the zone it was left in when it is not.
    bool placed = false;
    std::optional<WindowID> known;
    std::optional<int> zoneLeftIn;
    // The screens as the watch began, and how many looks in a row found the placed window out of its zone.
    std::vector<platform::ScreenInfo> screens;
    int looksOutside = 0;
    // Where the keyboard was as the move was asked for (activating moves only): a window the user gave
    // it to since keeps it.
    std::optional<WindowID> keyboardAtPress;
    // Cancelled once a later move of the same window starts: this one then asks for nothing more.
    platform::CancellationSource overtaken;
};

void WMController::moveWindow(const AXElement& element, std::optional<WindowID> wid, pid_t pid, int toZone,
                              const std::string& displayUUID, const std::string& tag,
                              MoveActivation activation, MoveCompletion completion) {
    auto& loop = platform().runLoop();
    const auto refuse = [&] {
        if (completion) loop.post([completion] { completion(MoveOutcome::noZone); });
    };
    auto state = stateOf(*multiState, displayUUID);
    if (!state) {
        Log::wm.error("State not found for display %s", displayUUID);
        refuse();
        return;
    }
    const auto zone = state->zone(toZone);
    if (!zone) {
        Log::wm.error("Zone not found id=%ld on display %s", toZone, displayUUID);
        refuse();
        return;
    }

    auto move = std::make_shared<PendingMove>();
    move->number = ++lastMove_;
    move->element = element;
    move->wid = wid;
    move->pid = pid;
    move->toZone = toZone;
    move->displayUUID = displayUUID;
    move->tag = tag;
    move->activation = activation;
    move->target = zone->frame;
    move->before = ax->frame(element);
    move->state = state;
    // Attached before the move, so that the window is the zone's top while it is being moved, and at
    // once, for the keys that follow. The new top is this window, whose recorded element is the one given.
    if (wid) {
        move->place = state->placeBefore(*wid, toZone);
        move->attached =
            state->attach(WinRef{*wid, pid, element, std::nullopt, move->before}, toZone).newTop.has_value();
    }
    std::erase_if(latestMoveOf_, [](const auto& entry) { return entry.second.expired(); });
    auto& latest = latestMoveOf_[element];
    if (auto previous = latest.lock()) previous->overtaken.cancel();
    latest = move;
    if (activation == MoveActivation::activate) {
        latestActivatingMove_ = move->number;
        move->keyboardAtPress = keyboardHolder(*ax);
    }
    // Asked at once, so that what the key asked for is under way before anything else is served.
    move->request = ax->requestMoveResize(element, move->target);
    platform::spawn(loop, runMove(weak_from_this(), ax, std::move(move), std::move(completion)));
}

platform::Task<void> WMController::runMove(std::weak_ptr<WMController> weak, std::shared_ptr<AXUtil> ax,
                                           std::shared_ptr<PendingMove> move, MoveCompletion completion) {
    auto& loop = ax->platform().runLoop();
    auto answered = ax->awaitMoveResize(move->element, move->target, move->request, move->overtaken.token());
    const auto told = co_await std::move(answered);
    if (move->attached)
        Log::wm.debug("%s: moved wid=%u to frame=%s", move->tag, *move->wid,
                      platform::describe(move->target));
    else
        Log::wm.debug("%s: moved window (no X window id) frame=%s", move->tag,
                      platform::describe(move->target));
    co_await platform::sleepFor(loop, kSettleBeforeFrameCheck);

    bool again = false;
    if (auto self = weak.lock(); self && !self->superseded(*move))
        again = self->frameDrifted(move->element, move->target, told);
    if (again) {
        // Kept as the move's own request: a request of anyone else's after it is what the watch after
        // the check stands down for.
        move->request = ax->requestMoveResize(move->element, move->target);
        auto answeredAgain =
            ax->awaitMoveResize(move->element, move->target, move->request, move->overtaken.token());
        co_await std::move(answeredAgain);
    }

    auto self = weak.lock();
    if (!self) co_return;
    const MoveOutcome outcome = self->finishMove(*move);
    self.reset();
    if (outcome == MoveOutcome::placed || outcome == MoveOutcome::outsideZone)
        platform::spawn(loop, followMove(weak, ax, move));
    if (move->bringForward) {
        // A move started since that is to bring its own window forward takes over: the keyboard goes
        // with the window the user moved last. A window the user gave the keyboard to meanwhile (a click)
        // keeps it.
        std::function<bool()> overtaken = [weak, move] {
            auto self = weak.lock();
            if (!self) return false;
            if (self->latestActivatingMove_ > move->number) {
                Log::wm.info("%s: bringing forward left to a later move", move->tag);
                return true;
            }
            return self->keyboardMovedOn(*move);
        };
        // The move is reported once its window has been brought forward, or left where the user chose.
        auto activating = activateApp(weak, move->element, move->tag, true, std::move(overtaken));
        co_await std::move(activating);
    }
    if (completion) completion(outcome);
}

bool WMController::superseded(const PendingMove& move) const {
    return move.overtaken.isCancelled();
}

MoveOutcome WMController::finishMove(PendingMove& move) {
    if (superseded(move)) {
        Log::wm.info("%s: superseded by a later move of the window", move.tag);
        return MoveOutcome::superseded;
    }
    const auto state = move.state.lock();
    // Zones that changed while the window was being moved (a strut, a monitor) leave the frame asked for
    // no longer the zone's: the window stays in the zone, which the pass after the change places again.
    const bool current = state && state == stateOf(*multiState, move.displayUUID);
    const auto zoneNow = current ? state->zone(move.toZone) : std::nullopt;
    const bool zoneMoved = zoneNow && zoneNow->frame != move.target;
    std::optional<Rect> outside;
    if (!zoneMoved) outside = frameOutsideZone(*ax, move.element, move.before, move.target);
    if (outside) {
        // Only the attach goes back: other windows may have been placed meanwhile. A state replaced
        // since (the display took other zones) never held it.
        if (move.attached && current) {
            state->takeBack(*move.wid, move.toZone, move.place);
            move.known = move.wid;
            if (auto mapped = state->zoneOf.find(*move.wid); mapped != state->zoneOf.end())
                move.zoneLeftIn = mapped->second;
        }
        Log::wm.error("%s: window left outside R%ld at frame=%s (zone frame=%s), not placed", move.tag,
                      move.toZone, platform::describe(*outside), platform::describe(move.target));
        return MoveOutcome::outsideZone;
    }

    std::optional<WindowID> known = move.attached ? move.wid : std::nullopt;
    if (!move.attached) {
        if (auto found = ax->windowID(move.element)) {
            if (auto current = stateOf(*multiState, move.displayUUID)) {
                move.place = current->placeBefore(*found, move.toZone);
                current->attach(WinRef{*found, move.pid, move.element, std::nullopt, ax->frame(move.element)},
                                move.toZone);
            }
            Log::wm.info("%s: attached after move wid=%u", move.tag, *found);
            known = found;
        } else {
            Log::wm.debug("%s: unable to attach after move (no X window id)", move.tag);
        }
    }

    move.placed = true;
    move.known = known;
    // Pushed or carried over from another display, the window leaves the zone it had there.
    if (known) multiState->keepOnlyOn(*known, move.displayUUID);
    // Brought forward as the move ends, unless a move started since is to bring its own window forward:
    // the keyboard goes with the window the user moved last.
    if (latestActivatingMove_ > move.number)
        Log::wm.info("%s: bringing forward left to a later move", move.tag);
    else if (move.activation == MoveActivation::activate)
        move.bringForward = true;
    else
        platform().accessibility().performAction(move.element, "AXRaise");
    if (known && onWindowMoved) onWindowMoved(*known, move.toZone);
    reconcileMapping(move.element, move.pid, move.toZone, move.displayUUID, known, move.tag, 0,
                     kReconcileAttempts);
    return MoveOutcome::placed;
}

platform::Task<void> WMController::followMove(std::weak_ptr<WMController> weak, std::shared_ptr<AXUtil> ax,
                                              std::shared_ptr<PendingMove> move) {
    auto& loop = ax->platform().runLoop();
    const Nanos end = loop.now() + kFollowAfterMove;
    const platform::CancellationToken overtaken = move->overtaken.token();
    move->screens = ax->platform().screens().screens();
    bool following = true;
    while (following && loop.now() < end) {
        // A later move of the window, or another frame asked of it since by anyone (a restore, a display
        // change), decides where it belongs now.
        if (co_await platform::sleepFor(loop, kFollowInterval, overtaken)) break;
        if (move->request.replaced.isCancelled()) break;
        auto self = weak.lock();
        if (!self) co_return;
        following = self->followStep(*move);
    }
    auto self = weak.lock();
    if (!self) co_return;
    if (auto latest = self->latestMoveOf_.find(move->element);
        latest != self->latestMoveOf_.end() && latest->second.lock() == move)
        self->latestMoveOf_.erase(latest);
}

bool WMController::followStep(PendingMove& move) {
    // Monitors that come, go or change move windows themselves, before the display's zones follow them:
    // where the window lies then says nothing of the move.
    if (ax->platform().screens().screens() != move.screens) return false;
    const auto state = move.state.lock();
    if (!state || state != stateOf(*multiState, move.displayUUID)) return false;
    if (const auto zone = state->zone(move.toZone); !zone || zone->frame != move.target) return false;
    const auto frame = ax->frame(move.element);
    if (!frame || !move.known) return false;
    const WindowID wid = *move.known;
    std::optional<int> mapped;
    if (auto found = state->zoneOf.find(wid); found != state->zoneOf.end()) mapped = found->second;

    if (move.placed) {
        // Placed anew since (a drag, an adoption): no longer this move's to judge.
        if (mapped != move.toZone) return false;
        // Judged as the move's own check judges it.
        // Back where it stood before the move, and seen there on two looks in a row: a window the window
        // manager rearranges for a change of the screens not yet heard here goes elsewhere, and is not
        // taken for one that refused the zone.
        auto outside = frameOutsideZone(*ax, move.element, move.before, move.target);
        if (outside && (!move.before || !move.before->contains(outside->center()))) outside.reset();
        move.looksOutside = outside ? move.looksOutside + 1 : 0;
        if (move.looksOutside < 2) return true;
        state->takeBack(wid, move.toZone, move.place);
        Log::wm.error("%s: window moved itself out of R%ld to frame=%s, taken out of the zone", move.tag,
                      move.toZone, platform::describe(*outside));
        return false;
    }
    if (mapped != move.zoneLeftIn) return false;
    if (frameOutsideZone(*ax, move.element, move.before, move.target)) return true;
    move.place = state->placeBefore(wid, move.toZone);
    state->attach(WinRef{wid, move.pid, move.element, std::nullopt, move.before}, move.toZone);
    multiState->keepOnlyOn(wid, move.displayUUID);
    move.placed = true;
    Log::wm.info("%s: window reached R%ld late at frame=%s, placed", move.tag, move.toZone,
                 platform::describe(*frame));
    if (onWindowMoved) onWindowMoved(wid, move.toZone);
    return true;
}

bool WMController::keyboardMovedOn(const PendingMove& move) {
    if (!move.keyboardAtPress) return false;
    const auto now = keyboardHolder(*ax);
    if (!now || *now == *move.keyboardAtPress || (move.wid && *now == *move.wid)) return false;
    Log::wm.info("%s: the keyboard went to wid=%u since the key; it stays there", move.tag, *now);
    return true;
}

bool WMController::frameDrifted(const AXElement& element, const Rect& target,
                                const std::optional<Rect>& told) {
    const auto actual = ax->frame(element);
    if (actual && !drifted(*actual, target)) return false;
    // A window that sizes itself in steps (a terminal's character cells) falls short of the zone by less
    // than a step: set again, it would only jump and come back to the same frame. What it told the move
    // is taken as said: asked again now, a window busy taking in its new size may not answer, and would
    // be set again for nothing.
    if (actual) {
        if (const auto granted = told ? told : ax->grantedFrame(element, target);
            granted && !drifted(*actual, *granted))
            return false;
    }
    return true;
}

void WMController::reconcileMapping(const AXElement& element, pid_t pid, int zone,
                                    const std::string& displayUUID, std::optional<WindowID> expected,
                                    const std::string& tag, int attempt, int maxAttempts) {
    auto state = stateOf(*multiState, displayUUID);
    if (!state) return;
    // An element that still reports the expected number needs no lookup, and the frame is read only
    // where a mapping is written: the common reconcile, right after a move, then costs one read.
    AXValue number;
    const bool reportsExpected =
        expected &&
        platform().accessibility().copyAttribute(element, "AXWindowNumber", number) == AXError::success &&
        number == AXValue(static_cast<double>(*expected));
    const std::optional<WindowID> wid = reportsExpected ? expected : ax->windowID(element);

    if (!wid) {
        if (attempt + 1 < maxAttempts) {
            std::weak_ptr<WMController> weak = weak_from_this();
            platform().runLoop().scheduleTimer(
                seconds(kReconcileInterval), false, platform::RunLoopMode::Default,
                [weak, element, pid, zone, displayUUID, expected, tag, attempt,
                 maxAttempts](platform::Timer&) {
                    if (auto self = weak.lock())
                        self->reconcileMapping(element, pid, zone, displayUUID, expected, tag, attempt + 1,
                                               maxAttempts);
                });
        } else {
            Log::wm.debug("%s: reconcile mapping gave up after %ld attempts (no window id)", tag,
                          maxAttempts);
        }
        return;
    }

    if (expected && *expected != *wid && !state->zoneOf.contains(*wid)) {
        const AXElement appElement = platform().accessibility().applicationElement(pid);
        if (state->replaceWindow(*expected, *wid, pid, element, ax->frame(element), appElement)) {
            Log::wm.info("%s: reconciled wid migration %u->%u for R%ld", tag, *expected, *wid, zone);
            if (onWindowMoved) onWindowMoved(*wid, zone);
            return;
        }
    }
    if (auto mapped = state->zoneOf.find(*wid); mapped != state->zoneOf.end() && mapped->second == zone)
        return;

    // A window closed while it moved has had its end heard already: recorded now, it would stay in the
    // zone for good.
    const std::optional<Rect> frame = ax->frame(element);
    if (!frame) {
        Log::wm.info("%s: wid=%u is gone; not mapped to R%ld", tag, *wid, zone);
        return;
    }
    state->attach(WinRef{*wid, pid, element, std::nullopt, frame}, zone);
    multiState->keepOnlyOn(*wid, displayUUID);
    Log::wm.info("%s: reconciled mapping wid=%u -> R%ld attempt=%ld", tag, *wid, zone, attempt + 1);
    if (onWindowMoved) onWindowMoved(*wid, zone);
}

void WMController::swapPush(const AXElement& element, int from, int to, const std::string& displayUUID) {
    auto state = stateOf(*multiState, displayUUID);
    if (!state) {
        Log::wm.error("SwapPush: State not found for display %s", displayUUID);
        return;
    }
    auto& accessibility = platform().accessibility();
    auto plainPush = [&] {
        moveWindow(element, ax->windowID(element), pidOf(accessibility, element), to, displayUUID,
                   platform::format("AutoPush rid=%ld", to), MoveActivation::activate);
    };

    const auto target = state->zone(to);
    if (!target || target->stack.empty()) {
        Log::wm.info("SwapPush: Target zone %ld empty, using regular push", to);
        plainPush();
        return;
    }
    // The zone's front window as the user sees it: the latest of its stack that is not on a desktop of
    // the window manager's other than the one shown. A window out of view is neither moved nor brought
    // forward by a swap the user made over a zone that looks empty.
    std::optional<WindowID> front;
    std::optional<ElementAndFrame> bWindow;
    pid_t bRecordedPid = 0;
    for (auto it = target->stack.rbegin(); it != target->stack.rend() && !front; ++it) {
        std::optional<ElementAndFrame> found;
        pid_t recorded = 0;
        if (auto ref = state->wins.find(*it); ref != state->wins.end()) {
            recorded = ref->second.pid;
            found = ax->axAndFrame(*it, recorded, false);
        }
        if (found && axNumberAttribute(accessibility, found->element, platform::kOtherDesktopAttribute)
                         .value_or(false))
            continue;
        front = *it;
        bWindow = found;
        bRecordedPid = recorded;
    }
    if (!front) {
        Log::wm.info("SwapPush: Target zone %ld shows no window on the desktop shown, using regular push",
                     to);
        plainPush();
        return;
    }
    const WindowID b = *front;
    if (!bWindow) {
        Log::wm.error("SwapPush: Cannot resolve AX element for target top window %u", b);
        plainPush();
        return;
    }

    const pid_t aPid = pidOf(accessibility, element);
    const auto aWid = ax->windowID(element);
    pid_t bPid = pidOf(accessibility, bWindow->element);
    if (bPid == 0) bPid = bRecordedPid;
    Log::wm.info("SwapPush: Swapping window A (wid=%s, source=%ld) with window B (wid=%u, target=%ld)",
                 platform::describeOptional(aWid), from, b, to);
    // The focus goes back once both windows are where they go: a move still under way raises its window
    // as it ends, over the one given the focus.
    auto moving = std::make_shared<int>(2);
    std::weak_ptr<WMController> weak = weak_from_this();
    const MoveCompletion returnFocus = [weak, moving, from, displayUUID](MoveOutcome) {
        auto self = weak.lock();
        if (!self || --*moving > 0) return;
        self->platform().runLoop().scheduleTimer(
            seconds(kSwapFocusReturnDelay), false, platform::RunLoopMode::Default,
            [weak, from, displayUUID](platform::Timer&) {
                auto self = weak.lock();
                if (!self) return;
                self->focusZone(from, displayUUID);
                Log::wm.info("SwapPush: Completed, focus returned to source zone %ld", from);
            });
    };
    moveWindow(bWindow->element, b, bPid, from, displayUUID, "SwapPush B->source", MoveActivation::leaveFocus,
               returnFocus);
    moveWindow(element, aWid, aPid, to, displayUUID, "SwapPush A->target", MoveActivation::leaveFocus,
               returnFocus);
}

} // namespace korvane
