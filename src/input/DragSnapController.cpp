// The drag-snap controller: its states, the activation decision, the snap after the release and the
// window-list fallback.
#include "input/DragSnapController.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/GestureGeometry.h"
#include "platform/HotKeys.h"
#include "platform/Platform.h"
#include "ui/overlays/ZoneHighlightController.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::MouseEventType;

namespace {

constexpr std::uint64_t kChord = platform::kEventFlagControl | platform::kEventFlagOption;
// A window that stood still through the drag moved by less than this: rounding of frame reads.
constexpr double kMovedTolerance = 2.0;

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
    return {"ru.keepcoder.Telegram"};
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

DragSnapController::~DragSnapController() = default;

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
        // After the release: the window manager lets go of the window first, and its own placement must
        // not land on top of the snap.
        platform_.runLoop().post(
            [weak = weak_from_this(), zone = h->zoneID, uuid = h->displayUUID, swap = h->useSwap] {
                if (auto self = weak.lock()) self->snap(zone, uuid, swap);
            });
    }
    state_ = Idle{};
}

void DragSnapController::reset() {
    if (std::holds_alternative<Highlighting>(state_)) zoneHighlight_->hide();
    state_ = Idle{};
}

bool DragSnapController::isOwnAppFrontmost() {
    const auto front = platform_.workspace().frontmostApplication();
    if (!front) return false;
    if (front->pid == ::getpid()) return true;
    return front->bundleID == platform_.processInfo().bundleIdentifier();
}

void DragSnapController::drag(const platform::MouseEvent& event) {
    const bool shift = event.flags & platform::kEventFlagShift;
    if (std::holds_alternative<Idle>(state_)) {
        state_ = Tracking{event.location, focusedWindowPosition()};
    } else if (const auto* tracking = std::get_if<Tracking>(&state_)) {
        const double dx = event.location.x - tracking->origin.x;
        const double dy = event.location.y - tracking->origin.y;
        if (std::hypot(dx, dy) < activationDistance) return;
        if (isWindowDrag(*tracking)) {
            if (onGestureActivated) onGestureActivated();
            zoneStep(event.location, shift);
            // No zone under the cursor yet: the zone step went back to tracking from here.
        } else {
            Log::dragSnap.debug("DragSnap: drag of no window, skipped");
            state_ = Skipping{};
        }
    } else if (std::holds_alternative<Highlighting>(state_)) {
        zoneStep(event.location, shift);
    }
}

bool DragSnapController::isWindowDrag(const Tracking& tracking) {
    const auto front = platform_.workspace().frontmostApplication();
    if (front && front->bundleID &&
        std::find(blacklist_.begin(), blacklist_.end(), *front->bundleID) != blacklist_.end())
        return true;
    if (!tracking.windowOrigin) return false;
    const auto now = focusedWindowPosition();
    return now && (std::abs(now->x - tracking.windowOrigin->x) > kMovedTolerance ||
                   std::abs(now->y - tracking.windowOrigin->y) > kMovedTolerance);
}

std::optional<Point> DragSnapController::focusedWindowPosition() {
    auto& ax = platform_.accessibility();
    const auto app = elementAttribute(ax, ax.systemWideElement(), "AXFocusedApplication");
    if (!app) return std::nullopt;
    const auto window = elementAttribute(ax, *app, "AXFocusedWindow");
    if (!window) return std::nullopt;
    return pointAttribute(ax, *window, "AXPosition");
}

void DragSnapController::zoneStep(Point location, bool shift) {
    auto multiState = multiState_.lock();
    if (!multiState) return;
    auto& screens = platform_.screens();
    const auto zone = zoneAtPoint(screens, *multiState, DisplayUtil::flipPoint(screens, location));
    if (!zone) {
        zoneHighlight_->hide();
        state_ = Tracking{location, focusedWindowPosition()};
        return;
    }
    if (const auto* h = std::get_if<Highlighting>(&state_);
        h && h->zoneID == zone->zoneID && h->displayUUID == zone->displayUUID)
        return;
    zoneHighlight_->show(zone->frame);
    state_ = Highlighting{zone->zoneID, zone->displayUUID, shift};
}

void DragSnapController::snap(int zoneID, const std::string& displayUUID, bool useSwap) {
    auto controller = wmController_.lock();
    if (!controller) return;
    if (onBeforeSnap) onBeforeSnap(displayUUID);
    auto& ax = platform_.accessibility();
    const auto app = elementAttribute(ax, ax.systemWideElement(), "AXFocusedApplication");
    if (!app) {
        Log::dragSnap.error("DragSnap: cannot get focused app at mouseUp, trying CGWindowList fallback");
        fallback(zoneID, displayUUID, useSwap);
        return;
    }
    const auto window = elementAttribute(ax, *app, "AXFocusedWindow");
    if (!window) {
        pid_t pid = 0;
        ax.pidOf(*app, pid);
        Log::dragSnap.error(
            "DragSnap: cannot get focused window at mouseUp (pid=%d), trying CGWindowList fallback",
            static_cast<int>(pid));
        fallback(zoneID, displayUUID, useSwap);
        return;
    }
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
    platform::AXValue size;
    if (!position || ax.copyAttribute(window, "AXSize", size) != AXError::success) return std::nullopt;
    const auto* s = std::get_if<Size>(&size);
    if (!s) return std::nullopt;
    // The accessibility rectangle is top-left; the zones bottom-left.
    const Rect topLeft{*position, *s};
    const double height = primaryScreenHeight(platform_.screens()).value_or(0);
    return zoneContaining(*it->second, flipRect(topLeft, height).center());
}

void DragSnapController::fallback(int zoneID, const std::string& displayUUID, bool useSwap) {
    if (wmController_.expired()) return;
    if (useSwap)
        Log::dragSnap.error("DragSnap: swap mode not supported in CGWindowList fallback, using regular push");
    auto& screens = platform_.screens();
    const Point point = DisplayUtil::flipPoint(screens, screens.mouseLocation());
    bool unavailable = false;
    const auto hit = windowAtPoint(platform_, point, false, unavailable);
    if (unavailable) {
        Log::dragSnap.error("DragSnap: CGWindowList fallback failed - cannot get window list");
        return;
    }
    if (!hit) {
        Log::dragSnap.error("DragSnap: CGWindowList fallback failed - no window at cursor");
        return;
    }
    const auto running = platform_.workspace().runningApplication(hit->pid);
    const std::string name =
        running && running->bundleID ? *running->bundleID : "pid:" + std::to_string(hit->pid);
    auto& ax = platform_.accessibility();
    const auto app = ax.applicationElement(hit->pid);
    if (const auto window = elementAttribute(ax, app, "AXFocusedWindow")) {
        Log::dragSnap.info("DragSnap: snap via focused window of %s", name);
        push(*window, zoneID, displayUUID);
        return;
    }
    platform::AXValue windows;
    if (ax.copyAttribute(app, "AXWindows", windows) == AXError::success)
        if (const auto* list = std::get_if<std::vector<AXElement>>(&windows); list && !list->empty()) {
            Log::dragSnap.info("DragSnap: snap via first AXWindow of %s", name);
            push(list->front(), zoneID, displayUUID);
            return;
        }
    if (const auto window = positionMatchedWindow(point)) {
        Log::dragSnap.info("DragSnap: snap via position-matched window");
        push(*window, zoneID, displayUUID);
        return;
    }
    Log::dragSnap.error("DragSnap: all snap strategies failed for %s", name);
}

std::optional<AXElement> DragSnapController::positionMatchedWindow(Point topLeft) {
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
            if (const auto p = pointAttribute(ax, element, "AXPosition"); p && positionMatches(*p, *bounds))
                return element;
    }
    return std::nullopt;
}

} // namespace korvane
