// The hot-key manager over its center.
#include "input/HotkeyManager.h"

#include "input/HotkeyCenter.h"

#include <utility>

namespace korvane {

HotkeyManager::HotkeyManager(std::shared_ptr<HotkeyCenter> center) : center_(std::move(center)) {}

} // namespace korvane
