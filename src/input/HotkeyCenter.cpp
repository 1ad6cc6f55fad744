// The process-wide hot-key center.
#include "input/HotkeyCenter.h"

#include "platform/ProcessWide.h"

namespace korvane {

namespace {

platform::ProcessWide<HotkeyCenter> gShared;

} // namespace

HotkeyCenter::HotkeyCenter(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<HotkeyCenter> HotkeyCenter::shared() {
    return gShared.get([](platform::Platform& platform) { return std::make_shared<HotkeyCenter>(platform); });
}

void HotkeyCenter::setShared(std::shared_ptr<HotkeyCenter> instance) {
    gShared.set(std::move(instance));
}

} // namespace korvane
