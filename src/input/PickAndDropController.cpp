// Pick and drop: the hit test, the source zone, the element match, the highlight and the drop.
#include "input/PickAndDropController.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/GestureGeometry.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "ui/overlays/ZoneHighlightController.h"

namespace korvane {

namespace {

const platform::Logger& pdLog() {
    static const platform::Logger log = Log::category("PickAndDrop");
    return log;
}

void say(const std::string& line) {
    pdLog().debug("[PickAndDrop] %{public}s", line);
}

} // namespace

PickAndDropController::PickAndDropController(platform::Platform& platform,
                                             const std::shared_ptr<WMController>& controller,
                                             const std::shared_ptr<MultiDisplayState>& multiState)
    : platform_(platform), wmController_(controller), multiState_(multiState),
      zoneHighlight_(std::make_unique<ZoneHighlightController>(platform)) {}

PickAndDropController::~PickAndDropController() = default;

std::optional<HitResult> PickAndDropController::detectWindow(Point at) {
    bool unavailable = false;
    // Only the window pressed on is carried: never one that lies hidden beneath a panel, a utility window
    // or one of this program's own.
    const auto hit = windowAtPoint(platform_, at, WindowHit::pressed, unavailable);
    if (unavailable) {
        say("detectWindow: failed to get window list");
        return std::nullopt;
    }
    if (!hit || hit->windowID == 0) {
        say("detectWindow: no window found at " + platform::describe(at));
        return std::nullopt;
    }
    say("detectWindow: hit window " + std::to_string(hit->windowID) + " from pid " +
        std::to_string(hit->pid) + " at " + platform::describe(at));
    return HitResult{hit->windowID, hit->pid, hit->bounds};
}

std::optional<DragContext> PickAndDropController::startDrag(Point at) {
    const auto hit = detectWindow(at);
    if (!hit) {
        say("startDrag: no window at cursor");
        return std::nullopt;
    }
    DragContext context;
    context.hitResult = *hit;
    context.startPoint = at;
    context.currentPoint = at;

    if (auto multiState = multiState_.lock()) {
        auto& screens = platform_.screens();
        // The press decides the display; the window's centre decides the zone, both flipped alike.
        const Point press = DisplayUtil::flipPoint(screens, at);
        const Point centre = DisplayUtil::flipPoint(screens, hit->bounds.center());
        for (const auto& screen : screens.screens()) {
            if (!screen.frame.contains(press)) continue;
            const std::string uuid = DisplayUtil::displayUUID(screen);
            auto it = multiState->states.find(uuid);
            if (it != multiState->states.end() && it->second)
                if (auto zone = zoneContaining(*it->second, centre)) {
                    context.sourceZone = ZoneIdentifier{uuid, *zone};
                    say("startDrag: detected source zone " + std::to_string(*zone) + " on display " + uuid);
                }
            break;
        }
    }

    auto& ax = platform_.accessibility();
    platform::AXValue windows;
    if (ax.copyAttribute(ax.applicationElement(hit->processID), "AXWindows", windows) ==
        platform::AXError::success) {
        if (const auto* list = std::get_if<std::vector<platform::AXElement>>(&windows)) {
            for (const auto& element : *list) {
                platform::AXValue position;
                if (ax.copyAttribute(element, "AXPosition", position) != platform::AXError::success) continue;
                const auto* p = std::get_if<Point>(&position);
                // Both top-left global: compared as they are, with no flip in between.
                if (p && positionMatches(*p, hit->bounds)) {
                    context.axElement = element;
                    break;
                }
            }
            say(context.axElement
                    ? "startDrag: matched AX element for window " + std::to_string(hit->windowID)
                    : std::string("startDrag: could not match AX element (will try fallback on drop)"));
        }
    }

    currentDragContext_ = context;
    say("startDrag: cached hit context for window " + std::to_string(hit->windowID));
    return context;
}

void PickAndDropController::updateDrag(Point to) {
    if (!currentDragContext_) return;
    currentDragContext_->currentPoint = to;
    auto multiState = multiState_.lock();
    if (!multiState) return;
    auto& screens = platform_.screens();
    const auto zone = zoneAtPoint(screens, *multiState, DisplayUtil::flipPoint(screens, to));
    if (!zone) {
        clearHighlight();
        return;
    }
    const ZoneIdentifier id{zone->displayUUID, zone->zoneID};
    if (currentHighlightZone_ == id) return;
    zoneHighlight_->show(zone->frame);
    currentHighlightZone_ = id;
    say("updateDrag: highlighting zone " + std::to_string(zone->zoneID) + " on display " + zone->displayUUID);
}

void PickAndDropController::endDrag(bool swap) {
    auto controller = wmController_.lock();
    if (!currentDragContext_ || !currentHighlightZone_ || !controller) {
        say("endDrag: no active drag context or highlight");
        cleanup();
        return;
    }
    const DragContext context = *currentDragContext_;
    const ZoneIdentifier target = *currentHighlightZone_;
    const WindowID number = context.hitResult.windowID;
    auto& ax = platform_.accessibility();

    std::optional<platform::AXElement> element = context.axElement;
    if (!element) {
        say("endDrag: no cached AX element, trying fallback");
        const auto app = ax.applicationElement(context.hitResult.processID);
        platform::AXValue value;
        if (ax.copyAttribute(app, "AXFocusedWindow", value) == platform::AXError::success)
            if (const auto* e = std::get_if<platform::AXElement>(&value)) element = *e;
        if (!element && ax.copyAttribute(app, "AXWindows", value) == platform::AXError::success)
            if (const auto* list = std::get_if<std::vector<platform::AXElement>>(&value);
                list && !list->empty())
                element = list->front();
    }
    if (!element) {
        say("endDrag: could not get AX element for window " + std::to_string(number));
        toast("Window unavailable");
        cleanup();
        return;
    }
    platform::AXValue role;
    if (ax.copyAttribute(*element, "AXRole", role) != platform::AXError::success ||
        std::holds_alternative<std::monostate>(role)) {
        say("endDrag: window validation failed for " + std::to_string(number));
        toast("Window unavailable");
        cleanup();
        return;
    }

    const auto& source = context.sourceZone;
    if (swap && source && source->displayUUID == target.displayUUID &&
        source->zoneIndex != target.zoneIndex) {
        say("endDrag: swapping window from zone " + std::to_string(source->zoneIndex) + " to zone " +
            std::to_string(target.zoneIndex));
        controller->swapPush(*element, source->zoneIndex, target.zoneIndex, target.displayUUID);
    } else {
        say("endDrag: pushing window " + std::to_string(number) + " to zone " +
            std::to_string(target.zoneIndex) + " on display " + target.displayUUID);
        pid_t pid = 0;
        ax.pidOf(*element, pid);
        const auto wid = AXUtil::shared()->windowID(*element);
        controller->moveWindow(*element, wid, pid, target.zoneIndex, target.displayUUID,
                               "AutoPush rid=" + std::to_string(target.zoneIndex), MoveActivation::activate);
    }
    cleanup();
}

void PickAndDropController::cancelDrag() {
    say("cancelDrag");
    clearHighlight();
    currentDragContext_.reset();
}

void PickAndDropController::clearHighlight() {
    zoneHighlight_->hide();
    currentHighlightZone_.reset();
}

void PickAndDropController::toast(const std::string& message) {
    if (!showToast) return;
    // On the screen where the cursor let go, flipped as every other point here.
    std::string display;
    if (currentDragContext_) {
        auto& screens = platform_.screens();
        const Point at = DisplayUtil::flipPoint(screens, currentDragContext_->currentPoint);
        for (const auto& screen : screens.screens())
            if (screen.frame.contains(at)) {
                display = DisplayUtil::displayUUID(screen);
                break;
            }
    }
    showToast(message, display, kToastDuration);
}

void PickAndDropController::cleanup() {
    clearHighlight();
    currentDragContext_.reset();
}

} // namespace korvane
