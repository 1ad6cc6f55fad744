// The computer's sleep as the real desktop hears of it: the login manager's signal on a private bus standing
// in for the system bus becomes the did-wake announcement, and a desktop without any system bus says so once
// and works on.
#include "PrivateSystemBus.h"
#include "X11Fixture.h"

#include "platform/Workspace.h"
#include "platform/sim/LogCapture.h"

#include <cstdlib>

namespace korvane::x11::test {
namespace {

using X11SleepTest = X11Test;

TEST_F(X11SleepTest, onlyTheLoginManagersWakeSignalIsAnnouncedAndOnlyOnce) {
    PrivateSystemBus bus;
    reconnect(); // the desktop finds the bus the environment names as it connects
    std::vector<nlohmann::json> woke;
    const auto token = listen(platform::kDidWake, woke);

    // Neither a sleep nor the signal of a client that merely repeats the login manager's words is a wake.
    ASSERT_TRUE(bus.announceAsStranger(false));
    ASSERT_TRUE(bus.announceAsLoginManager(true));
    ASSERT_TRUE(bus.announceAsLoginManager(false));
    ASSERT_TRUE(runUntil([&] { return !woke.empty(); }));
    runUntil([] { return false; }, milliseconds(300)); // anything else would have arrived by now
    EXPECT_EQ(woke.size(), 1u);

    ASSERT_TRUE(bus.announceAsLoginManager(false)); // the next wake is the next announcement
    EXPECT_TRUE(runUntil([&] { return woke.size() == 2; }));
}

TEST_F(X11SleepTest, withoutASystemBusTheDesktopSaysSoOnceAndWorksOn) {
    const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvane/system_bus_socket", 1);
    sim::ScopedLogCapture capture;
    reconnect();
    saved ? ::setenv("DBUS_SYSTEM_BUS_ADDRESS", saved->c_str(), 1) : ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");

    runUntil([] { return false; }, milliseconds(200));
    EXPECT_EQ(capture.log().count("No system bus ("), 1u);
    EXPECT_EQ(capture.log().count("waking from sleep goes unnoticed"), 1u);
    const auto x = xterm("Still seen");
    EXPECT_TRUE(desktop->workspace().runningApplication(x.pid).has_value());
}

} // namespace
} // namespace korvane::x11::test
