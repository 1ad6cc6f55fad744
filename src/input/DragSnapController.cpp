// The drag-snap controller: its states, the activation decision, the snap after the release and the
// window-list fallback.
#include "input/DragSnapController.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/GestureGeometry.h"
#include "platform/HotKeys.h"
#include "platform/Platform.h"
#include "platform/TextCase.h"
#include "ui/overlays/ZoneHighlightController.h"

#include <algorithm>
#include <cmath>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::MouseEventType;

namespace {

constexpr std::uint64_t kChord = platform::kEventFlagControl | platform::kEventFlagOption;
// Two reads of a window's frame that did not change differ by less than this: rounding of frame reads.
constexpr double kFrameTolerance = 2.0;

bool differs(Point a, Point b) {
    return std::abs(a.x - b.x) > kFrameTolerance || std::abs(a.y - b.y) > kFrameTolerance;
}

bool differs(Size a, Size b) {
    return std::abs(a.width - b.width) > kFrameTolerance || std::abs(a.height - b.height) > kFrameTolerance;
}

// Whether a window whose size changed from `before` to `now` (top-left global) was fitted by the window
// manager to the monitor it was carried onto, as a maximised window is: in each side that changed it
// filled its monitor's visible frame, and fills that of the monitor it is on now. The frame of a window
// resized from an edge does not follow the monitors so.
bool fittedToAnotherMonitor(platform::Screens& screens, const Rect& before, const Rect& now) {
    const double height = primaryScreenHeight(screens).value_or(0);
    std::optional<Rect> from, to;
    for (const auto& screen : screens.screens()) {
        const Rect visible = flipRect(screen.visibleFrame, height);
        if (!from && visible.contains(before.center())) from = visible;
        if (!to && visible.contains(now.center())) to = visible;
    }
    if (!from || !to || *from == *to) return false;
    const auto fits = [](double was, double wasRoom, double is, double isRoom) {
        return std::abs(was - is) <= kFrameTolerance ||
               (std::abs(was - wasRoom) <= kFrameTolerance && std::abs(is - isRoom) <= kFrameTolerance);
    };
    return fits(before.width(), from->width(), now.width(), to->width()) &&
           fits(before.height(), from->height(), now.height(), to->height());
}

// The visible frame (top-left global) that a window (top-left global) fills, as a maximised one does.
std::optional<Rect> filledMonitor(platform::Screens& screens, const Rect& window) {
    const double height = primaryScreenHeight(screens).value_or(0);
    for (const auto& screen : screens.screens()) {
        const Rect visible = flipRect(screen.visibleFrame, height);
        if (!differs(window.origin, visible.origin) && !differs(window.size, visible.size)) return visible;
    }
    return std::nullopt;
}

std::optional<AXElement> elementAttribute(platform::Accessibility& ax, const AXElement& element,
                                          const char* attribute) {
    platform::AXValue value;
    if (ax.copyAttribute(element, attribute, value) != AXError::success) return std::nullopt;
    if (const auto* e = std::get_if<AXElement>(&value)) return *e;
    return std::nullopt;
}

std::optional<Point> pointAttribute(platform::Accessibility& ax, const AXElement& element,
                                    const char* attribute) {
    platform::AXValue value;
    if (ax.copyAttribute(element, attribute, value) != AXError::success) return std::nullopt;
    if (const auto* p = std::get_if<Point>(&value)) return *p;
    return std::nullopt;
}

std::optional<Size> sizeAttribute(platform::Accessibility& ax, const AXElement& element,
                                  const char* attribute) {
    platform::AXValue value;
    if (ax.copyAttribute(element, attribute, value) != AXError::success) return std::nullopt;
    if (const auto* s = std::get_if<Size>(&value)) return *s;
    return std::nullopt;
}

} // namespace

DragSnapController::DragSnapController(platform::Platform& platform,
                                       const std::shared_ptr<WMController>& controller,
                                       const std::shared_ptr<MultiDisplayState>& multiState)
    : platform_(platform), wmController_(controller), multiState_(multiState),
      zoneHighlight_(std::make_unique<ZoneHighlightController>(platform)),
      blacklist_(storedBlacklist(platform.userDefaults())) {
    // The observation ends with the controller, so the handler never outlives what it refreshes.
    blacklistObservation_ = platform.notificationCenter().addObserver(
        kBlacklistChanged, platform::NotificationCenter::Delivery::mainQueue,
        [this](const std::string&, const nlohmann::json&) {
            blacklist_ = storedBlacklist(platform_.userDefaults());
        });
}

std::vector<std::string> DragSnapController::defaultBlacklist() {
    // Telegram, as X11 knows it: the id of the desktop entry it installs, and its WM_CLASS instance where
    // no entry names it; then its bundle identifier of the other desktop.
    return {"org.telegram.desktop", "telegram-desktop", "ru.keepcoder.Telegram"};
}

std::vector<std::string> DragSnapController::storedBlacklist(platform::UserDefaults& defaults) {
    const auto value = defaults.object(kBlacklistKey);
    if (!value || !value->is_array()) return defaultBlacklist();
    std::vector<std::string> list;
    for (const auto& entry : *value) {
        if (!entry.is_string()) return defaultBlacklist();
        list.push_back(entry.get<std::string>());
    }
    return list;
}

DragSnapController::~DragSnapController() {
    stopCancelChecks();
}

void DragSnapController::handle(const platform::MouseEvent& event) {
    if ((event.flags & kChord) == kChord) {
        reset();
        return;
    }
    if (event.type != MouseEventType::leftMouseDragged && event.type != MouseEventType::leftMouseUp) return;
    if (isOwnAppFrontmost()) {
        reset();
        return;
    }
    if (event.type == MouseEventType::leftMouseDragged) {
        drag(event);
        return;
    }
    if (const auto* h = std::get_if<Highlighting>(&state_)) {
        zoneHighlight_->hide();
        stopCancelChecks();
        if (moveCancelled(h->window, event.location)) {
            Log::dragSnap.info("DragSnap: drag cancelled by the window manager, nothing snapped");
        } else {
            // After the release: the window manager lets go of the window first, and its own placement
            // must not land on top of the snap.
            platform_.runLoop().post([weak = weak_from_this(), h = *h] {
                if (auto self = weak.lock()) self->snap(h.zoneID, h.displayUUID, h.useSwap, h.window);
            });
        }
    }
    state_ = Idle{};
}

void DragSnapController::reset() {
    if (std::holds_alternative<Highlighting>(state_)) zoneHighlight_->hide();
    stopCancelChecks();
    state_ = Idle{};
}

bool DragSnapController::moveCancelled(const DraggedWindow& dragged, Point pointer) {
    if (!dragged.startPosition || dragged.element.isNull()) return false;
    if (std::hypot(pointer.x - dragged.startPointer.x, pointer.y - dragged.startPointer.y) <
        activationDistance)
        return false;
    const auto position = pointAttribute(platform_.accessibility(), dragged.element, "AXPosition");
    return position && !differs(*position, *dragged.startPosition);
}

void DragSnapController::checkCancelled() {
    auto* h = std::get_if<Highlighting>(&state_);
    if (!h) {
        stopCancelChecks();
        return;
    }
    const bool back = moveCancelled(h->window, h->pointer);
    if (back == h->putBack) return;
    h->putBack = back;
    if (back) {
        Log::dragSnap.info("DragSnap: dragged window put back where its drag began, highlight hidden");
        zoneHighlight_->hide();
    } else {
        // Held at an edge by the window manager's resistance, say, and carried on since.
        zoneHighlight_->show(h->zoneFrame);
    }
}

void DragSnapController::stopCancelChecks() {
    if (cancelCheck_) cancelCheck_->invalidate();
    cancelCheck_.reset();
}

bool DragSnapController::isOwnAppFrontmost() {
    const auto front = platform_.workspace().frontmostApplication();
    if (!front) return false;
    if (isOwnProcess(platform_, front->pid)) return true;
    return front->bundleID == platform_.processInfo().bundleIdentifier();
}

void DragSnapController::drag(const platform::MouseEvent& event) {
    const bool shift = event.flags & platform::kEventFlagShift;
    if (std::holds_alternative<Idle>(state_)) {
        dragStartedOn_ = processUnder(event.location);
        state_ = Tracking{event.location, focusedWindow(), std::nullopt};
    } else if (const auto* tracking = std::get_if<Tracking>(&state_)) {
        const double dx = event.location.x - tracking->origin.x;
        const double dy = event.location.y - tracking->origin.y;
        if (std::hypot(dx, dy) < activationDistance) return;
        if (tracking->heldOn && tracking->heldOn->contains(event.location)) return;
        decide(Tracking(*tracking), event.location, shift);
    } else if (const auto* h = std::get_if<Highlighting>(&state_)) {
        zoneStep(event.location, shift, DraggedWindow(h->window));
    }
}

void DragSnapController::decide(const Tracking& tracking, Point location, bool shift) {
    const auto now = focusedWindow();
    const bool same = now && tracking.window && now->element == tracking.window->element;
    if (same && differs(now->size, tracking.window->size) &&
        !fittedToAnotherMonitor(platform_.screens(), Rect{tracking.window->position, tracking.window->size},
                                Rect{now->position, now->size})) {
        Log::dragSnap.debug("DragSnap: window resized, not dragged, skipped");
        state_ = Skipping{};
        return;
    }
    std::optional<DraggedWindow> dragged;
    if (const auto listed = listedFrontmostApplication(); listed && dragStartedOn_ == *listed) {
        // Without a focused window, any window of the application may be the one it moves.
        dragged =
            now ? draggedWindow(now->element, same ? tracking.window->size : now->size)
                : DraggedWindow{*listed, std::nullopt, std::nullopt, std::nullopt, {}, std::nullopt, Point{}};
    } else if (now && !same) {
        // The press gave the focus to the window under it: that one is judged from here on.
        state_ = Tracking{location, now, std::nullopt};
        return;
    } else if (same && differs(now->position, tracking.window->position)) {
        dragged = draggedWindow(now->element, tracking.window->size);
        dragged->startPosition = tracking.window->position;
        dragged->startPointer = tracking.origin;
    } else if (same) {
        // A maximised window stays over its monitor while its title bar is dragged there, and is put over
        // the monitor the pointer takes it to: its drag shows only then. It is judged again at each step
        // the pointer takes off that monitor until it follows; a drag inside the window (a selection)
        // leaves it where it is wherever the pointer goes, and never snaps.
        if (auto held = filledMonitor(platform_.screens(), Rect{now->position, now->size})) {
            state_ = Tracking{tracking.origin, tracking.window, held};
            return;
        }
    }
    if (!dragged) {
        Log::dragSnap.debug("DragSnap: drag of no window, skipped");
        state_ = Skipping{};
        return;
    }
    // onGestureActivated stays silent: its handler examines the displays (epoch raised, mappings rebuilt),
    // a pass no drag needs before its snap, which has them examined through onBeforeSnap.
    // No zone under the cursor yet: the zone step goes back to tracking from here.
    zoneStep(location, shift, *dragged);
}

std::optional<pid_t> DragSnapController::listedFrontmostApplication() {
    const auto front = platform_.workspace().frontmostApplication();
    if (!front || !front->bundleID) return std::nullopt;
    // Identifiers are matched in any case: a hand-written one may take the case of the WM_CLASS name.
    const std::string id = asciiLowercased(*front->bundleID);
    const bool listed = std::any_of(blacklist_.begin(), blacklist_.end(),
                                    [&](const std::string& entry) { return asciiLowercased(entry) == id; });
    if (!listed) return std::nullopt;
    return front->pid;
}

std::optional<pid_t> DragSnapController::processUnder(Point location) {
    if (blacklist_.empty()) return std::nullopt;
    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (!list) return std::nullopt;
    // The front-most window there, named or not: a window that does not say its process (xcalc) must
    // not let the one beneath it pass for the window the drag began on. Korvane's own windows let clicks
    // through to what lies beneath.
    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        const auto bounds = boundsOf(entry);
        if (!bounds || !bounds->contains(location)) continue;
        const auto owner = entry.find(platform::WindowKey::ownerPID);
        if (owner == entry.end() || !owner->is_number_integer()) return std::nullopt;
        const auto pid = static_cast<pid_t>(owner->get<long long>());
        if (pid == ::getpid()) continue;
        return pid;
    }
    return std::nullopt;
}

std::optional<DragSnapController::WindowSnapshot> DragSnapController::focusedWindow() {
    auto& ax = platform_.accessibility();
    const auto app = elementAttribute(ax, ax.systemWideElement(), "AXFocusedApplication");
    if (!app) return std::nullopt;
    const auto window = elementAttribute(ax, *app, "AXFocusedWindow");
    if (!window) return std::nullopt;
    const auto position = pointAttribute(ax, *window, "AXPosition");
    const auto size = sizeAttribute(ax, *window, "AXSize");
    if (!position || !size) return std::nullopt;
    return WindowSnapshot{*window, *position, *size};
}

DragSnapController::DraggedWindow DragSnapController::draggedWindow(const AXElement& window,
                                                                    std::optional<Size> size) {
    DraggedWindow dragged{
        window.pid, AXUtil::shared()->windowID(window), std::nullopt, size, window, std::nullopt, Point{}};
    platform_.accessibility().pidOf(window, dragged.pid);
    dragged.title = AXUtil::shared()->stringAttribute("AXTitle", window);
    return dragged;
}

bool DragSnapController::isDragged(const AXElement& window, const DraggedWindow& dragged) {
    const auto number = AXUtil::shared()->windowID(window);
    if (number && dragged.number) return *number == *dragged.number;
    pid_t pid = 0;
    return platform_.accessibility().pidOf(window, pid) == AXError::success && pid == dragged.pid &&
           (!dragged.title || AXUtil::shared()->stringAttribute("AXTitle", window) == dragged.title);
}

bool DragSnapController::wasResized(const AXElement& window, const DraggedWindow& dragged) {
    // An edge resize can pass for a move while the window manager has moved the window but not yet
    // resized it; by the release the size tells.
    const auto size = sizeAttribute(platform_.accessibility(), window, "AXSize");
    if (!dragged.size || !size || !differs(*size, *dragged.size)) return false;
    if (const auto position = pointAttribute(platform_.accessibility(), window, "AXPosition");
        position && dragged.startPosition &&
        fittedToAnotherMonitor(platform_.screens(), Rect{*dragged.startPosition, *dragged.size},
                               Rect{*position, *size}))
        return false;
    Log::dragSnap.info("DragSnap: dragged window was resized, not snapped");
    return true;
}

void DragSnapController::zoneStep(Point location, bool shift, const DraggedWindow& dragged) {
    auto multiState = multiState_.lock();
    if (!multiState) return;
    auto& screens = platform_.screens();
    const auto zone = zoneAtPoint(screens, *multiState, DisplayUtil::flipPoint(screens, location));
    if (!zone) {
        zoneHighlight_->hide();
        stopCancelChecks();
        state_ = Tracking{location, focusedWindow(), std::nullopt};
        return;
    }
    bool putBack = false;
    if (auto* h = std::get_if<Highlighting>(&state_)) {
        h->pointer = location;
        if (h->zoneID == zone->zoneID && h->displayUUID == zone->displayUUID) return;
        putBack = h->putBack;
    }
    if (!putBack) zoneHighlight_->show(zone->frame);
    state_ = Highlighting{zone->zoneID, zone->displayUUID, shift, dragged, location, zone->frame, putBack};
    if (!cancelCheck_)
        cancelCheck_ =
            platform_.runLoop().scheduleTimer(kCancelCheckInterval, true, platform::RunLoopMode::Common,
                                              [weak = weak_from_this()](platform::Timer&) {
                                                  if (auto self = weak.lock()) self->checkCancelled();
                                              });
}

void DragSnapController::snap(int zoneID, const std::string& displayUUID, bool useSwap,
                              const DraggedWindow& dragged) {
    auto controller = wmController_.lock();
    if (!controller) return;
    if (onBeforeSnap) onBeforeSnap(displayUUID);
    auto& ax = platform_.accessibility();
    const auto app = elementAttribute(ax, ax.systemWideElement(), "AXFocusedApplication");
    if (!app) {
        Log::dragSnap.error(
            "DragSnap: cannot get focused app at mouseUp, trying _NET_CLIENT_LIST_STACKING fallback");
        fallback(zoneID, displayUUID, useSwap, dragged);
        return;
    }
    const auto window = elementAttribute(ax, *app, "AXFocusedWindow");
    if (!window) {
        pid_t pid = 0;
        ax.pidOf(*app, pid);
        Log::dragSnap.error("DragSnap: cannot get focused window at mouseUp (pid=%d), trying "
                            "_NET_CLIENT_LIST_STACKING fallback",
                            static_cast<int>(pid));
        fallback(zoneID, displayUUID, useSwap, dragged);
        return;
    }
    if (!isDragged(*window, dragged)) {
        // The dragged window closed, or another took the focus: only a window at the cursor may still be
        // the dragged one.
        Log::dragSnap.info("DragSnap: focused window at mouseUp is not the dragged one, trying "
                           "_NET_CLIENT_LIST_STACKING fallback");
        fallback(zoneID, displayUUID, useSwap, dragged);
        return;
    }
    if (wasResized(*window, dragged)) return;
    if (useSwap) {
        const auto source = sourceZone(*window, displayUUID);
        if (source && *source != zoneID) {
            controller->swapPush(*window, *source, zoneID, displayUUID);
            Log::dragSnap.info("DragSnap: swapped window from zone %ld to %ld", *source, zoneID);
            return;
        }
    }
    push(*window, zoneID, displayUUID);
}

void DragSnapController::push(const AXElement& window, int zoneID, const std::string& displayUUID) {
    auto controller = wmController_.lock();
    if (!controller) return;
    pid_t pid = 0;
    platform_.accessibility().pidOf(window, pid);
    const auto wid = AXUtil::shared()->windowID(window);
    controller->moveWindow(window, wid, pid, zoneID, displayUUID, "AutoPush rid=" + std::to_string(zoneID),
                           MoveActivation::activate);
}

std::optional<int> DragSnapController::sourceZone(const AXElement& window, const std::string& displayUUID) {
    auto multiState = multiState_.lock();
    if (!multiState) return std::nullopt;
    auto it = multiState->states.find(displayUUID);
    if (it == multiState->states.end() || !it->second) return std::nullopt;
    auto& ax = platform_.accessibility();
    const auto position = pointAttribute(ax, window, "AXPosition");
    const auto size = sizeAttribute(ax, window, "AXSize");
    if (!position || !size) return std::nullopt;
    // The accessibility rectangle is top-left; the zones bottom-left.
    const Rect topLeft{*position, *size};
    const double height = primaryScreenHeight(platform_.screens()).value_or(0);
    return zoneContaining(*it->second, flipRect(topLeft, height).center());
}

void DragSnapController::fallback(int zoneID, const std::string& displayUUID, bool useSwap,
                                  const DraggedWindow& dragged) {
    if (wmController_.expired()) return;
    if (useSwap)
        Log::dragSnap.error(
            "DragSnap: swap mode not supported in _NET_CLIENT_LIST_STACKING fallback, using regular push");
    auto& screens = platform_.screens();
    const Point point = DisplayUtil::flipPoint(screens, screens.mouseLocation());
    bool unavailable = false;
    const auto hit = windowAtPoint(platform_, point, WindowHit::otherProcess, unavailable);
    if (unavailable) {
        Log::dragSnap.error("DragSnap: _NET_CLIENT_LIST_STACKING fallback failed - cannot get window list");
        return;
    }
    if (!hit) {
        Log::dragSnap.error("DragSnap: _NET_CLIENT_LIST_STACKING fallback failed - no window at cursor");
        return;
    }
    const auto running = platform_.workspace().runningApplication(hit->pid);
    const std::string name =
        running && running->bundleID ? *running->bundleID : "pid:" + std::to_string(hit->pid);
    // A window found here is pushed only when it is the dragged one: a window under the cursor, or
    // focused, once the dragged one has closed belongs to someone else.
    bool others = false;
    auto& ax = platform_.accessibility();
    const auto app = ax.applicationElement(hit->pid);
    if (const auto window = elementAttribute(ax, app, "AXFocusedWindow")) {
        if (isDragged(*window, dragged)) {
            if (wasResized(*window, dragged)) return;
            Log::dragSnap.info("DragSnap: snap via focused window of %s", name);
            push(*window, zoneID, displayUUID);
            return;
        }
        others = true;
    }
    platform::AXValue windows;
    if (ax.copyAttribute(app, "AXWindows", windows) == AXError::success)
        if (const auto* list = std::get_if<std::vector<AXElement>>(&windows))
            for (const auto& window : *list) {
                if (!isDragged(window, dragged)) {
                    others = true;
                    continue;
                }
                if (wasResized(window, dragged)) return;
                Log::dragSnap.info("DragSnap: snap via first AXWindow of %s", name);
                push(window, zoneID, displayUUID);
                return;
            }
    if (const auto window = positionMatchedWindow(point, dragged)) {
        if (wasResized(*window, dragged)) return;
        Log::dragSnap.info("DragSnap: snap via position-matched window");
        push(*window, zoneID, displayUUID);
        return;
    }
    if (others)
        Log::dragSnap.info("DragSnap: dragged window not found at the cursor, nothing moved");
    else
        Log::dragSnap.error("DragSnap: all snap strategies failed for %s", name);
}

std::optional<AXElement> DragSnapController::positionMatchedWindow(Point topLeft,
                                                                   const DraggedWindow& dragged) {
    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (!list) return std::nullopt;
    auto& ax = platform_.accessibility();
    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        auto owner = entry.find(platform::WindowKey::ownerPID);
        if (owner == entry.end() || !owner->is_number_integer()) continue;
        const auto bounds = boundsOf(entry);
        if (!bounds || !bounds->contains(topLeft)) continue;
        platform::AXValue windows;
        if (ax.copyAttribute(ax.applicationElement(static_cast<pid_t>(owner->get<long long>())), "AXWindows",
                             windows) != AXError::success)
            continue;
        const auto* elements = std::get_if<std::vector<AXElement>>(&windows);
        if (!elements) continue;
        for (const auto& element : *elements)
            if (const auto p = pointAttribute(ax, element, "AXPosition");
                p && positionMatches(*p, *bounds) && isDragged(element, dragged))
                return element;
    }
    return std::nullopt;
}

} // namespace korvane
