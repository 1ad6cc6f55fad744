// The simulated window list shows what the system itself shows besides the applications' windows.
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(SimSystemEntries, theListHoldsDesktopMenuBarsAndDockOffLayerZeroUntilTurnedOff) {
    sim::SimDesktop desk;
    desk.screens().addDisplay({.frame = Rect{0, 0, 1440, 900}});
    desk.screens().addDisplay({.frame = Rect{1440, 0, 1920, 1080}});
    auto count = [&](unsigned options) { return desk.windowServer().copyWindowInfo(options)->size(); };
    EXPECT_EQ(count(0), 5u); // two desktops, two menu bars, one dock
    EXPECT_EQ(count(platform::kOnScreenOnly | platform::kExcludeDesktopElements), 3u);
    EXPECT_TRUE(desk.windowServer().copyWindowInfo(0)->back()["Layer"] ==
                sim::SimWindowServer::kDesktopLayer);
    desk.windowServer().setShowsSystemEntries(false);
    EXPECT_EQ(count(0), 0u);
}
