// Turns the hot-key table into registrations in the hot-key center.
#pragma once

#include <memory>

namespace korvane {

class HotkeyCenter;

// Main thread only. The application object makes one over the process-wide center.
class HotkeyManager {
  public:
    explicit HotkeyManager(std::shared_ptr<HotkeyCenter> center);

    const std::shared_ptr<HotkeyCenter>& center() const { return center_; }

  private:
    std::shared_ptr<HotkeyCenter> center_;
};

} // namespace korvane
