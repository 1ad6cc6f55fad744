// The gesture controller: which events the gestures swallow, and the steps they take.
#include "input/SDPController.h"

#include "core/Log.h"
#include "input/CycleStackGestureController.h"
#include "input/GlobalSwitcherGestureController.h"
#include "input/PickAndDropController.h"
#include "platform/HotKeys.h"
#include "platform/Platform.h"

#include <utility>

namespace korvane {

using platform::MouseEventType;

namespace {

const platform::Logger& sdpLog() {
    static const platform::Logger log = Log::category("SDPController");
    return log;
}

void say(const std::string& line) {
    sdpLog().debug("[SDP] %{public}s", line);
}

bool storedEnabled(platform::UserDefaults& defaults) {
    const auto value = defaults.object(SDPController::kEnabledKey);
    return !(value && value->is_boolean()) || value->get<bool>();
}

} // namespace

SDPController::SDPController(platform::Platform& platform, const std::shared_ptr<WMController>& controller,
                             const std::shared_ptr<MultiDisplayState>& multiState)
    : isEnabled(storedEnabled(platform.userDefaults())), platform_(platform),
      globalSwitcher_(std::make_unique<GlobalSwitcherGestureController>(platform)),
      cycleStack_(std::make_unique<CycleStackGestureController>(platform, multiState, controller)),
      pickAndDrop_(std::make_unique<PickAndDropController>(platform, controller, multiState)) {
    pickAndDrop_->showToast = [this](const std::string& message, const std::string& displayUUID,
                                     double duration) {
        if (showToast) showToast(message, displayUUID, duration);
    };
    say("SDPController initialized");
}

SDPController::~SDPController() = default;

void SDPController::configureGlobalSwitcher(GetGlobalSwitcher get, ToggleGlobalSwitcher toggle) {
    globalSwitcher_->getGlobalSwitcher = std::move(get);
    globalSwitcher_->toggleGlobalSwitcher = std::move(toggle);
    say("GlobalSwitcher callbacks configured");
}

bool SDPController::handle(const platform::MouseEvent& event) {
    if (!isEnabled) return false;
    const bool control = event.flags & platform::kEventFlagControl;
    const bool option = event.flags & platform::kEventFlagOption;
    if (event.type == MouseEventType::flagsChanged) {
        modifiersChanged(control && option, event.location);
        return false;
    }
    if (control && option) {
        switch (event.type) {
        case MouseEventType::leftMouseDown:
            return leftPress(event);
        case MouseEventType::leftMouseUp:
            return leftRelease(event);
        case MouseEventType::scrollWheel:
            return scroll(event);
        case MouseEventType::leftMouseDragged:
            if (!stateMachine_.isPickAndDrop()) return false;
            pickAndDrop_->updateDrag(event.location);
            return true;
        case MouseEventType::rightMouseDown:
            return rightPress(event);
        default:
            return false;
        }
    }
    if (!stateMachine_.isArmed() && !stateMachine_.isIdle()) cancel();
    return false;
}

void SDPController::modifiersChanged(bool active, Point location) {
    if (active) {
        if (stateMachine_.isIdle()) stateMachine_.arm(location);
        return;
    }
    if (stateMachine_.isIdle()) return;
    say("modifiers released, canceling gesture");
    cancel();
}

void SDPController::cancel() {
    if (stateMachine_.isPickAndDrop()) {
        pickAndDrop_->cancelDrag();
        say("canceling Pick & Drop");
    }
    stateMachine_.returnToIdle();
}

bool SDPController::leftPress(const platform::MouseEvent& event) {
    if (stateMachine_.isIdle()) return false;
    if (!stateMachine_.isArmed()) return true;
    if (!hasShownPermissionWarning && !platform_.accessibility().isProcessTrusted()) {
        hasShownPermissionWarning = true;
        if (platform_.screens().mainScreen()) {
            if (showToast) showToast("Window dragging needs a running window manager", "", 3.0);
            say("No EWMH window manager running - shown warning toast");
        }
        return true;
    }
    if (auto context = pickAndDrop_->startDrag(event.location)) {
        stateMachine_.startPickAndDrop(*context);
        say("leftMouseDown: pick & drop armed with window " + std::to_string(context->hitResult.windowID));
        return true;
    }
    say("leftMouseDown: no window hit, will show radial menu on drag");
    return true;
}

bool SDPController::leftRelease(const platform::MouseEvent& event) {
    if (!stateMachine_.isPickAndDrop()) return false;
    const bool swap = event.flags & platform::kEventFlagShift;
    pickAndDrop_->endDrag(swap);
    stateMachine_.returnToIdle();
    say(std::string("Pick & Drop committed (swap=") + (swap ? "true" : "false") + ")");
    return true;
}

bool SDPController::scroll(const platform::MouseEvent& event) {
    if (stateMachine_.isIdle()) return false;
    if (cycleStack_->handleScroll(event)) {
        stateMachine_.startCycling();
        stateMachine_.arm(event.location);
    }
    return true;
}

bool SDPController::rightPress(const platform::MouseEvent& event) {
    if (stateMachine_.isIdle()) return false;
    if (!stateMachine_.isArmed()) return true;
    if (globalSwitcher_->handleRightClick(event)) {
        stateMachine_.activateGlobalSwitcher();
        stateMachine_.arm(event.location);
    }
    return true;
}

} // namespace korvane
