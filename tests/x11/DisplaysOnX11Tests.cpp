// Monitors coming and going at run time on a real X server, seen by the window control core: zone states
// kept under a display's UUID are found again when the monitor returns, and a window moved onto a new
// monitor (whose coordinates the desktop learnt from the change) is matched to that monitor and its
// zone. The same display identities across a removal and a reconnection are the screens tests' own.
#include "CoreOnX11.h"

#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <functional>

namespace korvane::x11::test {
namespace {

using platform::ScreenInfo;

// A third monitor in the strip of the root below the shorter side monitor.
constexpr const char* kExtraName = "EXTRA-C";
const Rect kExtraRoot{0, 900, 1920, 180};

// The suite has its own session, which ends with it: no monitor needs putting back.
using DisplaysOnX11Test = CoreOnX11Test;

TEST_F(DisplaysOnX11Test, aMonitorAddedAndRemovedAtRunTimeKeepsItsUUIDAndItsZones) {
    std::vector<nlohmann::json> announced;
    const auto token = listen(platform::kScreenParametersDidChange, announced);
    // Runs the xrandr change and waits until the desktop has announced a change of the screens.
    auto change = [&](const std::function<void()>& xrandr) {
        const auto before = announced.size();
        xrandr();
        return runUntil([&] { return announced.size() > before; });
    };
    auto multi = std::make_shared<MultiDisplayState>();
    auto controller = std::make_shared<WMController>(multi, ax);
    auto addExtra = [&] { return change([&] { session().setMonitor(kExtraName, kExtraRoot, false); }); };

    const auto before = desktop->screens().screens();
    ASSERT_EQ(before.size(), 2u);
    ASSERT_TRUE(addExtra());
    const auto withExtra = desktop->screens().screens();
    ASSERT_EQ(withExtra.size(), 3u);
    // A zone state for every connected display, as the application gives displays.
    for (const auto& s : withExtra)
        multi->states[s.displayUUID] = zoneStateOf(s);
    const ScreenInfo extra = screenNamed(kExtraName);
    // Below the side monitor, in the space anchored at the primary, which stays where it was; the
    // other screens are unchanged and the new one took no known UUID.
    EXPECT_EQ(extra.frame, Rect(-1920, 0, 1920, 180));
    EXPECT_EQ(primaryScreenHeight(desktop->screens()), 1080.0);
    for (const auto& s : before)
        EXPECT_NE(std::find(withExtra.begin(), withExtra.end(), s), withExtra.end()) << s.localizedName;
    EXPECT_EQ(multi->states.size(), 3u);

    // A window moved into a zone of the new monitor belongs to it and to that zone.
    const auto x = xterm("Onto the new monitor", "40x8+2000+100");
    const Rect zone = multi->states.at(extra.displayUUID)->layout.zones.at(3).frame;
    ax->moveResize(elementOf(x), zone);
    auto frame = ax->frame(elementOf(x));
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(fillsZone(*frame, zone, extra.visibleFrame));
    EXPECT_EQ(controller->displayUUID(*frame), extra.displayUUID);
    const ZoneMatch match = controller->zoneForFrame(*frame, extra.displayUUID);
    EXPECT_EQ(match.zoneID, 3);
    EXPECT_EQ(match.method, ZoneMatchMethod::centerInside);

    // Gone: the other monitors are exactly as before, and the window is on no display.
    ASSERT_TRUE(change([&] { session().deleteMonitor(kExtraName); }));
    EXPECT_EQ(desktop->screens().screens(), before);
    EXPECT_EQ(controller->displayUUID(*ax->frame(elementOf(x))), std::nullopt);

    // Back: under the UUID it had, so its zone state is found again, with the window in its zone.
    ASSERT_TRUE(addExtra());
    EXPECT_EQ(desktop->screens().screens(), withExtra);
    EXPECT_EQ(controller->displayUUID(*ax->frame(elementOf(x))), extra.displayUUID);
    EXPECT_EQ(controller->zoneForFrame(*ax->frame(elementOf(x)), extra.displayUUID).zoneID, 3);
}

} // namespace
} // namespace korvane::x11::test
