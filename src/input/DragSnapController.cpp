// The drag-snap controller.
#include "input/DragSnapController.h"

namespace korvane {

DragSnapController::DragSnapController(const std::shared_ptr<WMController>& controller,
                                       const std::shared_ptr<MultiDisplayState>& multiState)
    : wmController_(controller), multiState_(multiState) {}

} // namespace korvane
