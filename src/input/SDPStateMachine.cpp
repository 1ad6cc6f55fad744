// The gesture state's transitions and their debug lines.
#include "input/SDPStateMachine.h"

#include "core/Log.h"
#include "platform/Format.h"

namespace korvane {

namespace {

const platform::Logger& machineLog() {
    static const platform::Logger log = Log::category("SDPStateMachine");
    return log;
}

void say(const std::string& line) {
    machineLog().debug("[SDP] %{public}s", line);
}

} // namespace

std::string describe(const SDPState& state) {
    switch (state.index()) {
    case 0:
        return "armed";
    case 1:
        return "pickAndDrop";
    case 2:
        return "idle";
    case 3:
        return "globalSwitcher";
    default:
        return "cycling";
    }
}

void SDPStateMachine::arm(Point at) {
    if (isArmed() || isPickAndDrop()) return;
    state_ = SDPArmed{at};
    say("armed at " + platform::describe(at));
}

void SDPStateMachine::activateGlobalSwitcher() {
    if (!isArmed()) return;
    state_ = SDPGlobalSwitcher{};
    say("globalSwitcher activated");
}

void SDPStateMachine::startCycling() {
    if (!isArmed()) return;
    state_ = SDPCycling{};
    say("cycling activated");
}

void SDPStateMachine::startPickAndDrop(const DragContext& context) {
    if (!isArmed()) return;
    state_ = context;
    say("pickAndDrop started");
}

void SDPStateMachine::returnToIdle() {
    if (isIdle()) return;
    const std::string left = describe(state_);
    state_ = SDPIdle{};
    say("returned to idle from " + left);
}

} // namespace korvane
