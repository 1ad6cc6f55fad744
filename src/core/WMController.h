// The controller through which every zone operation on other applications' windows runs: its fields,
// callbacks and construction. The operations live in topic files (WMControllerAuxiliary.cpp, ...).
#pragma once

#include "core/WinRef.h"
#include "platform/Accessibility.h"
#include "platform/Time.h"

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <sys/types.h>

namespace korvane {

class AXUtil;
class MultiDisplayState;
class WMState;

namespace platform {
class Platform;
}

// Confined to the main thread, operations not reentrant. Owned by a shared_ptr: deferred work that its
// operations start holds it weakly and does nothing once it is gone.
class WMController : public std::enable_shared_from_this<WMController> {
  public:
    // An instant before any other: pruning is never suppressed by default.
    static constexpr Nanos kDistantPast = std::numeric_limits<Nanos>::min();

    // Takes the process-wide accessibility wrapper.
    explicit WMController(std::shared_ptr<MultiDisplayState> multiState);
    WMController(std::shared_ptr<MultiDisplayState> multiState, std::shared_ptr<AXUtil> ax);
    WMController(const WMController&) = delete;
    WMController& operator=(const WMController&) = delete;

    // The desktop the controller acts on: the one its accessibility wrapper talks to.
    platform::Platform& platform() const;

    // Whether the window is an auxiliary window or decoy strip of its application, judged within the
    // application's windows that `state` manages. Hidden, minimised, frameless or degenerate windows under
    // test are never auxiliary. Never logs.
    bool isAuxiliaryWindow(WindowID wid, const platform::AXElement& ax, pid_t pid, const WMState& state);

    std::shared_ptr<MultiDisplayState> multiState;
    std::shared_ptr<AXUtil> ax;
    std::function<void(WindowID wid, int zoneID)> onWindowMoved;
    std::function<void()> onLayoutChange;
    std::function<void(WindowID wid)> onWindowFocus;
    std::function<void(const std::string& displayUUID)> onCycleBounce;
    Nanos suppressPruneUntil = kDistantPast; // wall clock, ns since 1970
};

} // namespace korvane
