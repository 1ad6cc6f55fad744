// The scroll gesture.
#include "input/CycleStackGestureController.h"

#include "app/DisplayUtil.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "input/GestureGeometry.h"
#include "platform/Format.h"
#include "platform/Platform.h"

#include <cmath>

namespace korvane {

namespace {

void say(const std::string& line) {
    static const platform::Logger log = Log::category("CycleStack");
    log.debug("[CycleStack] %{public}s", line);
}

// Stored by the settings as a flag; a number counts as whether it is not zero, as the settings read it.
bool invertsScroll(platform::UserDefaults& defaults) {
    const auto value = defaults.object(CycleStackGestureController::kInvertScrollKey);
    if (!value) return false;
    if (value->is_boolean()) return value->get<bool>();
    return value->is_number() && value->get<double>() != 0;
}

} // namespace

CycleStackGestureController::CycleStackGestureController(platform::Platform& platform,
                                                         const std::shared_ptr<MultiDisplayState>& multiState,
                                                         const std::shared_ptr<WMController>& controller)
    : platform_(platform), multiState_(multiState), wmController_(controller) {}

bool CycleStackGestureController::handleScroll(const platform::MouseEvent& event) {
    const double delta = event.scrollDeltaY;
    if (!(std::abs(delta) > kMinimumDelta)) {
        say("Ignoring small scroll delta: " + platform::describe(delta));
        return false;
    }
    const Point appKit = DisplayUtil::flipPoint(platform_.screens(), event.location);
    say("Scroll event at topLeft=" + platform::describe(event.location) +
        " bottomLeft=" + platform::describe(appKit) + " delta=" + platform::describe(delta));
    const auto zone = zoneAtCursor(appKit);
    if (!zone) {
        say("No zone found at cursor position");
        return false;
    }
    int direction = delta > 0 ? -1 : 1;
    // Read at every scroll, so the settings' switch holds from the next notch on.
    if (invertsScroll(platform_.userDefaults())) direction = -direction;
    say("Cycling zone " + std::to_string(zone->second) + " on display " + zone->first +
        " direction=" + std::to_string(direction));
    if (auto controller = wmController_.lock()) controller->cycle(zone->second, zone->first, direction);
    return true;
}

std::optional<std::pair<std::string, int>> CycleStackGestureController::zoneAtCursor(Point bottomLeft) {
    auto multiState = multiState_.lock();
    if (!multiState) {
        say("MultiDisplayState not available");
        return std::nullopt;
    }
    for (const auto& screen : platform_.screens().screens()) {
        if (!screen.frame.contains(bottomLeft)) continue;
        const std::string uuid = DisplayUtil::displayUUID(screen);
        say("Cursor on display: " + uuid);
        auto it = multiState->states.find(uuid);
        if (it == multiState->states.end() || !it->second) {
            say("No state found for display " + uuid);
            return std::nullopt;
        }
        if (auto id = zoneContaining(*it->second, bottomLeft)) {
            say("Found zone " + std::to_string(*id) + " at cursor position");
            return std::pair{uuid, *id};
        }
        say("Cursor outside all zones on display " + uuid);
        return std::nullopt;
    }
    say("No screen found at bottom-left point " + platform::describe(bottomLeft));
    return std::nullopt;
}

} // namespace korvane
