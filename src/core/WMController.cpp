// Construction of the window controller, and the element resolution that its zone operations share.
#include "core/WMController.h"

#include "core/AXUtil.h"
#include "core/AuxiliaryWindow.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "core/WindowActivator.h"
#include "platform/Platform.h"

namespace korvane {

using platform::AXElement;
using platform::AXError;

WMController::WMController(std::shared_ptr<MultiDisplayState> multiState)
    : WMController(std::move(multiState), AXUtil::shared()) {}

WMController::WMController(std::shared_ptr<MultiDisplayState> multiState, std::shared_ptr<AXUtil> ax)
    : multiState(std::move(multiState)), ax(std::move(ax)),
      activator_(std::make_shared<WindowActivator>(this->ax)) {
    // Read at call time, so that the owner may install or replace the callback whenever it likes.
    activator_->onWindowFocus = [this](WindowID wid) {
        if (onWindowFocus) onWindowFocus(wid);
    };
}

WMController::~WMController() {
    activator_->onWindowFocus = nullptr;
}

platform::Platform& WMController::platform() const {
    return ax->platform();
}

bool WMController::isAuxiliaryWindow(WindowID wid, const AXElement& element, pid_t pid,
                                     const WMState& state) {
    return korvane::isAuxiliaryWindow(*ax, wid, element, pid, state);
}

std::optional<AXElement> WMController::activatableElement(WindowID wid, const WMState& state) {
    if (auto cached = state.wins.find(wid); cached != state.wins.end()) {
        const WinRef& ref = cached->second;
        if (ax->windowID(ref.ax) == wid) {
            if (isAuxiliaryWindow(wid, ref.ax, ref.pid, state)) return std::nullopt;
            return ref.ax;
        }
    }
    auto found = ax->axAndFrame(wid, false);
    if (!found) return std::nullopt;
    pid_t pid = 0;
    if (platform().accessibility().pidOf(found->element, pid) != AXError::success) pid = 0;
    if (pid == 0) return found->element;
    if (isAuxiliaryWindow(wid, found->element, pid, state)) return std::nullopt;
    return found->element;
}

} // namespace korvane
