// The process-wide toast.
#include "ui/switchers/ToastHUDController.h"

#include "platform/ProcessWide.h"

namespace korvane {

namespace {

platform::ProcessWide<ToastHUDController> gShared;

} // namespace

ToastHUDController::ToastHUDController(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<ToastHUDController> ToastHUDController::shared() {
    return gShared.get(
        [](platform::Platform& platform) { return std::make_shared<ToastHUDController>(platform); });
}

void ToastHUDController::setShared(std::shared_ptr<ToastHUDController> instance) {
    gShared.set(std::move(instance));
}

void ToastHUDController::show(const std::string&, const platform::ScreenInfo&, double) {}

} // namespace korvane
