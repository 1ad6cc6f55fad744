#include "ui/switchers/SceneCardSwitcherController.h"

namespace korvane {

void SceneCardSwitcherController::show() {}

void SceneCardSwitcherController::hide() {
    isVisible_ = false;
    scenes_.clear();
}

} // namespace korvane
