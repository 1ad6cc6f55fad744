// Following display changes on a real X server: with xterms in zones of both monitors, taking the second
// monitor away and adding it back runs one display-change pass per settled change, the monitor's zones fit
// it again, and no xterm that is still listed loses its stack entry.
#include "CoreOnX11.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayObserver.h"
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/NotificationCenter.h"
#include "platform/sim/LogCapture.h"
#include "shell/AppDelegate.h"

namespace korvane::x11::test {
namespace {

using DisplayChangeOnX11Test = CoreOnX11Test;

TEST_F(DisplayChangeOnX11Test, aMonitorTakenAwayAndBackRunsOnePassPerSettledChangeAndKeepsEveryListedXterm) {
    sim::ScopedLogCapture capture;
    auto passes = [&] { return capture.log().count("[DisplayChange] handle start"); };
    auto app = AppDelegate::create(*desktop);
    // What start-up will wire: each announced change of the screens becomes a topology probe.
    auto observer = DisplayObserver::shared();
    auto token = desktop->notificationCenter().addObserver(
        DisplayObserver::screenParametersChangedNotification,
        platform::NotificationCenter::Delivery::mainQueue,
        [bus = app->displayLayoutEventBus()](const std::string&, const nlohmann::json&) {
            bus->publish(
                {DisplayLayoutProbeReason::topologyChanged, "DisplayObserver.notification", false, {}});
        });
    // A pass waits while the server lists no window: the xterms come first.
    const std::tuple<const char*, const char*, bool, int> wanted[] = {
        {"Side left", "60x20+100+100", true, 1},
        {"Side right", "60x20+1200+100", true, 2},
        {"Primary", "60x20+2000+100", false, 1}};
    std::vector<X11TestSession::Xterm> xterms;
    for (const auto& [title, geometry, onSecondary, zone] : wanted)
        xterms.push_back(xterm(title, geometry));
    app->startDisplayLayoutProbeSubscription();
    observer->start();
    ASSERT_TRUE(runUntil([&] { return passes() == 1; }));

    std::string primary, secondary;
    for (const auto& s : desktop->screens().screens())
        (s.localizedName == kSecondaryName ? secondary : primary) = s.displayUUID;
    ASSERT_FALSE(secondary.empty());
    auto& states = app->multiState()->states;
    ASSERT_TRUE(states.count(primary) && states.count(secondary));

    struct Placed {
        X11TestSession::Xterm xterm;
        std::string display;
        int zone;
        WindowID wid;
    };
    std::vector<Placed> placed;
    std::size_t ended = 0;
    for (std::size_t i = 0; i < xterms.size(); ++i) {
        const auto& [title, geometry, onSecondary, zone] = wanted[i];
        const auto& x = xterms[i];
        const std::string display = onSecondary ? secondary : primary;
        const auto wid = app->ax()->windowID(elementOf(x));
        ASSERT_TRUE(wid);
        app->controller()->moveWindow(elementOf(x), wid, x.pid, zone, display, "test",
                                      MoveActivation::leaveFocus, [&](MoveOutcome) { ++ended; });
        placed.push_back({x, display, zone, *wid});
    }
    ASSERT_TRUE(runUntil([&] { return ended == placed.size(); }));
    auto stacked = [&](const Placed& p) {
        const auto& stack = states.at(p.display)->layout.zones.at(p.zone).stack;
        return std::find(stack.begin(), stack.end(), p.wid) != stack.end();
    };
    for (const auto& p : placed)
        ASSERT_TRUE(stacked(p)) << p.wid;

    // Each change is followed by exactly one pass once the screens have settled.
    auto change = [&](const std::function<void()>& act, std::size_t screens) {
        const auto before = passes();
        act();
        EXPECT_TRUE(runUntil([&] { return desktop->screens().screens().size() == screens; }));
        EXPECT_TRUE(runUntil([&] { return passes() == before + 1; }));
        runUntil([] { return false; }, milliseconds(1500)); // nothing more follows
        EXPECT_EQ(passes(), before + 1);
    };
    change([&] { session().deleteMonitor(kSecondaryName); }, 1);
    for (const auto& p : placed)
        EXPECT_TRUE(stacked(p)) << "still listed, so still in its stack: " << p.wid;

    // Back at another resolution, as monitors often come back: its zones are rebuilt to fit it.
    change([&] { session().setMonitor(kSecondaryName, Rect{0, 0, 1920, 1000}, false); }, 2);
    const auto back = screenNamed(kSecondaryName);
    EXPECT_EQ(back.displayUUID, secondary);
    EXPECT_FALSE(app->displayChangeHandler().displayStateDrifted(*states.at(secondary), back));
    for (const auto& [id, zone] : states.at(secondary)->layout.zones)
        EXPECT_EQ(zone.frame.intersection(back.visibleFrame), zone.frame) << id;
    for (const auto& p : placed)
        EXPECT_TRUE(stacked(p)) << p.wid;
    EXPECT_EQ(app->availableDisplayUUIDs().size(), 2u);
}

} // namespace
} // namespace korvane::x11::test
