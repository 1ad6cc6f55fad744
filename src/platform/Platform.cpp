// The process-wide choice of platform.
#include "platform/Platform.h"

#include <atomic>
#include <stdexcept>

namespace korvane::platform {

namespace {
std::atomic<Platform*> gCurrent{nullptr};
std::atomic<std::uint64_t> gGeneration{1};
} // namespace

Platform& Platform::current() {
    Platform* p = gCurrent.load(std::memory_order_acquire);
    if (!p) throw std::logic_error("no platform is set: main() or the test fixture must set one");
    return *p;
}

bool Platform::hasCurrent() {
    return gCurrent.load(std::memory_order_acquire) != nullptr;
}

void Platform::setCurrent(Platform* platform) {
    gCurrent.store(platform, std::memory_order_release);
    gGeneration.fetch_add(1, std::memory_order_acq_rel);
}

std::uint64_t Platform::currentGeneration() {
    return gGeneration.load(std::memory_order_acquire);
}

} // namespace korvane::platform
