// Monitors coming and going at run time on a real X server, seen by the window control core: zone states
// kept under a display's UUID are found again when the monitor returns, and a window moved onto a new
// monitor is matched to that monitor and its zone.
#include "CoreOnX11.h"

#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/NotificationCenter.h"

#include <set>

namespace korvane::x11::test {
namespace {

using platform::ScreenInfo;

// A third monitor in the strip of the root below the shorter side monitor.
constexpr const char* kExtraName = "EXTRA-C";
const Rect kExtraRoot{0, 900, 1920, 180};

class DisplaysOnX11Test : public CoreOnX11Test {
  protected:
    void SetUp() override {
        CoreOnX11Test::SetUp();
        if (HasFatalFailure()) return;
        changes_ = desktop->notificationCenter().addObserver(
            platform::kScreenParametersDidChange, platform::NotificationCenter::Delivery::mainQueue,
            [this](const std::string&, const nlohmann::json&) { ++announced_; });
        multi = std::make_shared<MultiDisplayState>();
        controller = std::make_shared<WMController>(multi, ax);
    }
    void TearDown() override {
        // The session outlives the test: it must end with the monitors it started with.
        std::set<std::string> names;
        for (const auto& s : desktop->screens().screens())
            names.insert(s.localizedName);
        if (names.count(kExtraName)) session().deleteMonitor(kExtraName);
        if (!names.count(kSecondaryName)) session().setMonitor(kSecondaryName, kSecondaryRoot, false);
        controller.reset();
        changes_.reset();
        CoreOnX11Test::TearDown();
    }

    // Runs the xrandr change and waits until the desktop has announced a change of the screens.
    void changeMonitors(const std::function<void()>& change) {
        const int before = announced_;
        change();
        ASSERT_TRUE(runUntil([&] { return announced_ > before; }))
            << "no change of the screens was announced";
    }
    void addExtra() {
        changeMonitors([&] { session().setMonitor(kExtraName, kExtraRoot, false); });
    }
    void removeExtra() {
        changeMonitors([&] { session().deleteMonitor(kExtraName); });
    }

    // A zone state for every connected display that has none yet, as the application gives displays.
    void giveStates() {
        for (const auto& s : desktop->screens().screens()) {
            if (multi->states.count(s.displayUUID)) continue;
            Layout layout;
            layout.screenId = s.displayUUID;
            int id = 1;
            for (const Rect& zone : zonesOf(s.visibleFrame)) {
                layout.zones[id] = Zone{id, zone, {}, 0};
                ++id;
            }
            multi->states[s.displayUUID] = std::make_shared<WMState>(layout);
        }
    }

    static std::set<std::string> uuidsOf(const std::vector<ScreenInfo>& screens) {
        std::set<std::string> out;
        for (const auto& s : screens)
            out.insert(s.displayUUID);
        return out;
    }

    std::shared_ptr<MultiDisplayState> multi;
    std::shared_ptr<WMController> controller;

  private:
    std::unique_ptr<platform::ObserverToken> changes_;
    int announced_ = 0;
};

TEST_F(DisplaysOnX11Test, aMonitorAddedAndRemovedAtRunTimeKeepsItsUUIDAndItsZones) {
    const auto before = desktop->screens().screens();
    ASSERT_EQ(before.size(), 2u);
    giveStates();

    addExtra();
    const auto withExtra = desktop->screens().screens();
    ASSERT_EQ(withExtra.size(), 3u);
    const ScreenInfo extra = screenNamed(kExtraName);
    // Below the side monitor, in the space anchored at the primary, which stays where it was.
    EXPECT_EQ(extra.frame, Rect(-1920, 0, 1920, 180));
    EXPECT_EQ(primaryScreenHeight(desktop->screens()), 1080.0);
    auto uuids = uuidsOf(before);
    EXPECT_EQ(uuids.count(extra.displayUUID), 0u) << "a new monitor took a known UUID";
    uuids.insert(extra.displayUUID);
    EXPECT_EQ(uuidsOf(withExtra), uuids);
    giveStates();

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
    removeExtra();
    EXPECT_EQ(desktop->screens().screens(), before);
    EXPECT_EQ(controller->displayUUID(*ax->frame(elementOf(x))), std::nullopt);

    // Back: under the UUID it had, so its zone state is found again, with the window in its zone.
    addExtra();
    EXPECT_EQ(desktop->screens().screens(), withExtra);
    EXPECT_EQ(screenNamed(kExtraName).displayUUID, extra.displayUUID);
    const auto uuid = controller->displayUUID(*ax->frame(elementOf(x)));
    ASSERT_TRUE(uuid.has_value());
    EXPECT_EQ(*uuid, extra.displayUUID);
    EXPECT_EQ(multi->states.size(), 3u);
    EXPECT_EQ(controller->zoneForFrame(*ax->frame(elementOf(x)), *uuid).zoneID, 3);
}

TEST_F(DisplaysOnX11Test, theSideMonitorRemovedAndAddedBackIsTheSameDisplayToTheCore) {
    const auto before = desktop->screens().screens();
    giveStates();
    const ScreenInfo side = screenNamed(kSecondaryName);

    changeMonitors([&] { session().deleteMonitor(kSecondaryName); });
    const auto during = desktop->screens().screens();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0], before[0]);
    // A zone of the missing monitor lies on no display.
    const Rect sideZone = multi->states.at(side.displayUUID)->layout.zones.at(2).frame;
    EXPECT_EQ(controller->displayUUID(sideZone), std::nullopt);

    changeMonitors([&] { session().setMonitor(kSecondaryName, kSecondaryRoot, false); });
    EXPECT_EQ(desktop->screens().screens(), before);
    giveStates(); // finds a state for every display: nothing new is made
    EXPECT_EQ(multi->states.size(), 2u);
    EXPECT_EQ(controller->displayUUID(sideZone), side.displayUUID);

    const auto x = xterm("Back on the side", "40x10+2000+100");
    ax->moveResize(elementOf(x), sideZone);
    auto frame = ax->frame(elementOf(x));
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(fillsZone(*frame, sideZone, side.visibleFrame));
    EXPECT_EQ(controller->zoneForFrame(*frame, side.displayUUID).zoneID, 2);
}

} // namespace
} // namespace korvane::x11::test
