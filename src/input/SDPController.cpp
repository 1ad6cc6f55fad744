// The gesture controller and its hook to the global switcher.
#include "input/SDPController.h"

#include "core/Log.h"

#include <utility>

namespace korvane {

namespace {

const platform::Logger& sdpLog() {
    static const platform::Logger log = Log::category("SDPController");
    return log;
}

} // namespace

SDPController::SDPController(const std::shared_ptr<WMController>& controller,
                             const std::shared_ptr<MultiDisplayState>& multiState)
    : controller_(controller), multiState_(multiState) {
    sdpLog().debug("[SDP] %{public}s", "SDPController initialized");
}

void SDPController::configureGlobalSwitcher(GetGlobalSwitcher get, ToggleGlobalSwitcher toggle) {
    getGlobalSwitcher_ = std::move(get);
    toggleGlobalSwitcher_ = std::move(toggle);
    sdpLog().debug("[SDP] %{public}s", "GlobalSwitcher callbacks configured");
}

} // namespace korvane
