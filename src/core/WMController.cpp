// Construction of the window controller.
#include "core/WMController.h"

#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"

namespace korvane {

WMController::WMController(std::shared_ptr<MultiDisplayState> multiState)
    : WMController(std::move(multiState), AXUtil::shared()) {}

WMController::WMController(std::shared_ptr<MultiDisplayState> multiState, std::shared_ptr<AXUtil> ax)
    : multiState(std::move(multiState)), ax(std::move(ax)) {}

platform::Platform& WMController::platform() const {
    return ax->platform();
}

} // namespace korvane
