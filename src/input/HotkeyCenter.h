// The single owner of the application's system-wide keyboard shortcuts, one per process.
#pragma once

#include <memory>

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only. Made for the platform in use on first use and kept until exit; the hot-key manager
// drives it.
class HotkeyCenter {
  public:
    explicit HotkeyCenter(platform::Platform& platform);
    HotkeyCenter(const HotkeyCenter&) = delete;
    HotkeyCenter& operator=(const HotkeyCenter&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<HotkeyCenter> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<HotkeyCenter> instance);

    platform::Platform& platform() const { return platform_; }

  private:
    platform::Platform& platform_;
};

} // namespace korvane
