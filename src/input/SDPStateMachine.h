// The control+option gestures' state: armed while both keys are held, picking a window up and dropping
// it, or firing a one-shot gesture; and the values the gestures pass around.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>

namespace korvane {

// The window under the cursor, as the window list shows it.
struct HitResult {
    WindowID windowID = 0;
    pid_t processID = 0;
    Rect bounds; // top-left global coordinates
};

struct ZoneIdentifier {
    std::string displayUUID;
    int zoneIndex = 0;
    friend bool operator==(const ZoneIdentifier&, const ZoneIdentifier&) = default;
};

struct ZoneIdentifierHash {
    std::size_t operator()(const ZoneIdentifier& z) const {
        return std::hash<std::string>()(z.displayUUID) * 31u + std::hash<int>()(z.zoneIndex);
    }
};

// One pick-and-drop drag. Points are top-left global coordinates.
struct DragContext {
    HitResult hitResult;
    Point startPoint;
    Point currentPoint;
    std::optional<ZoneIdentifier> targetZone; // unused: the drop target is the highlighted zone
    std::optional<ZoneIdentifier> sourceZone; // the zone holding the window's centre at the start
    std::optional<platform::AXElement> axElement;
};

struct SDPArmed {
    Point origin;
};
struct SDPIdle {};
struct SDPGlobalSwitcher {};
struct SDPCycling {};
using SDPState = std::variant<SDPArmed, DragContext, SDPIdle, SDPGlobalSwitcher, SDPCycling>;

// "armed", "pickAndDrop", "idle", "globalSwitcher", "cycling".
std::string describe(const SDPState& state);

// Main thread only. An operation called in a state it has no transition from does nothing.
class SDPStateMachine {
  public:
    const SDPState& state() const { return state_; }
    bool isIdle() const { return std::holds_alternative<SDPIdle>(state_); }
    bool isArmed() const { return std::holds_alternative<SDPArmed>(state_); }
    bool isPickAndDrop() const { return std::holds_alternative<DragContext>(state_); }

    // From idle, globalSwitcher or cycling; an armed gesture keeps its origin, a drag goes on.
    void arm(Point at);
    void activateGlobalSwitcher();                     // from armed
    void startCycling();                               // from armed
    void startPickAndDrop(const DragContext& context); // from armed
    void returnToIdle();                               // from anywhere

    double gestureActivationDistance = 16.0;

  private:
    SDPState state_ = SDPIdle{};
};

} // namespace korvane
