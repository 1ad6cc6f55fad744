// The X server killed while the desktop lists its windows: every list read is whole or none, and the
// break is logged and announced once, after which the main loop no longer wakes for the dead socket.
#include "X11TestSession.h"

#include "platform/Platform.h"
#include "platform/sim/LogCapture.h"
#include "platform/x11/X11Desktop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

namespace korvane::x11::test {
namespace {

TEST(X11ConnectionLossTest,
     aServerKilledMidListingLeavesWholeListsOrNoneAndIsLoggedAndAnnouncedOnceWithoutSpinning) {
    constexpr std::size_t kWindows = 120;
    for (int round = 0; round < 3; ++round) { // each kill lands at another point of a listing
        X11TestSession session;
        // Long titles make reading the clients the bulk of a listing, so that the kill lands inside it.
        for (std::size_t i = 0; i < kWindows; ++i)
            session.createWindow(Rect(2000, 100, 300, 200), std::string(4000, 'a'));
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session.clientList().size() == kWindows; }));
        sim::ScopedLogCapture capture;
        std::string error;
        auto desktop = X11Desktop::connect(session.display(), error);
        ASSERT_NE(desktop, nullptr) << error;
        int notices = 0;
        auto token = desktop->notificationCenter().addObserver(
            platform::kDesktopConnectionLost, platform::NotificationCenter::Delivery::mainQueue,
            [&](const std::string&, const nlohmann::json&) { ++notices; });

        std::vector<std::size_t> sizes;
        std::atomic<bool> listed = false;
        std::thread lister([&] {
            for (; auto list = desktop->windowServer().copyWindowInfo(0); listed = true)
                sizes.push_back(list->size());
        });
        X11TestSession::waitFor([&] { return listed.load(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
        ::kill(session.serverPid(), SIGKILL);
        lister.join();
        ASSERT_FALSE(sizes.empty());
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), kWindows), std::ssize(sizes)) << "round " << round;

        EXPECT_TRUE(desktop->runUntil([&] { return notices > 0; }, seconds(5)));
        // A loop still watching the closed socket would burn the whole half second.
        const std::clock_t before = std::clock();
        desktop->runUntil([] { return false; }, milliseconds(500));
        EXPECT_LT(std::clock() - before, CLOCKS_PER_SEC / 10);
        EXPECT_EQ(notices, 1);
        EXPECT_EQ(capture.log().count("Lost the connection to the X server"), 1u);
    }
}

} // namespace
} // namespace korvane::x11::test
