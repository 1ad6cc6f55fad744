// Waking from sleep on a real X server: with a private bus standing in for the system bus, the login
// manager's wake signal reaches the application object once, and the recovery that follows keeps the xterms
// in the zones they were pushed into, where they were.
#include "CoreOnX11.h"
#include "PrivateSystemBus.h"

#include "app/DisplayLayouts.h"
#include "app/WakeRecovery.h"
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"
#include "platform/sim/LogCapture.h"
#include "shell/AppDelegate.h"
#include "tracking/WindowTracker.h"

namespace korvane::x11::test {
namespace {

using WakeOnX11Test = CoreOnX11Test;

TEST_F(WakeOnX11Test, theLoginManagersWakeSignalRunsOneRecoveryThatKeepsEveryXtermInItsZone) {
    PrivateSystemBus bus;
    ax.reset();
    reconnect(); // the desktop finds the bus the environment names as it connects
    sim::ScopedLogCapture capture;
    auto app = AppDelegate::create(*desktop);
    app->displayLayouts().initializeAllDisplays();

    const std::string primary = screenNamed(kPrimaryName).displayUUID;
    WMState& state = *app->multiState()->states.at(primary);
    ASSERT_GE(state.layout.zones.size(), 2u);
    const int zones[] = {state.layout.zones.begin()->first, std::next(state.layout.zones.begin())->first};
    struct Placed {
        X11TestSession::Xterm xterm;
        int zone;
        WindowID wid;
        Rect frame;
    };
    std::vector<Placed> placed;
    std::size_t ended = 0;
    for (int zone : zones) {
        const auto x = xterm("Zone " + std::to_string(zone));
        const auto wid = app->ax()->windowID(elementOf(x));
        ASSERT_TRUE(wid);
        app->controller()->moveWindow(elementOf(x), wid, x.pid, zone, primary, "test",
                                      MoveActivation::leaveFocus, [&](MoveOutcome) { ++ended; });
        placed.push_back({x, zone, *wid, {}});
    }
    ASSERT_TRUE(runUntil([&] { return ended == placed.size(); }));
    for (auto& p : placed) {
        ASSERT_TRUE(runUntil([&] { return state.zoneOf.contains(p.wid); }));
        p.frame = session().frameOf(p.xterm.window);
    }

    // What start-up wires: the tracker, the probes and the did-wake observer.
    app->tracker()->startObserving();
    app->startDisplayLayoutProbeSubscription();
    int wakes = 0;
    const auto observer = desktop->notificationCenter().addObserver(
        platform::kDidWake, platform::NotificationCenter::Delivery::mainQueue,
        [&wakes, weak = std::weak_ptr<AppDelegate>(app)](const std::string&, const nlohmann::json&) {
            ++wakes;
            if (auto self = weak.lock()) self->handleSystemWake();
        });

    ASSERT_TRUE(bus.announceAsLoginManager(false));
    ASSERT_TRUE(runUntil([&] { return capture.log().contains("[WakeRecovery] end token="); }, seconds(10)));
    EXPECT_FALSE(app->wakeRecovery().wakeRecoveryInProgress());
    runUntil([] { return false; }, milliseconds(300));
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(capture.log().count("[WakeRecovery] begin token="), 1u);
    EXPECT_TRUE(capture.log().contains("[WakeReplay] done reason=system-wake-0ms displays=1 total=2"));
    EXPECT_TRUE(
        capture.log().contains("[RebuildMappings] reason=system-wake-final:timer allowPrune=true tracked=2 "
                               "pruned=0"));
    for (const auto& p : placed) {
        EXPECT_EQ(state.zoneOf.at(p.wid), p.zone) << p.wid;
        const auto& stack = state.layout.zones.at(p.zone).stack;
        EXPECT_NE(std::find(stack.begin(), stack.end(), p.wid), stack.end()) << p.wid;
        EXPECT_EQ(session().frameOf(p.xterm.window), p.frame) << "the recovery moves no window";
    }
}

} // namespace
} // namespace korvane::x11::test
