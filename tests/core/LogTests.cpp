// The core's loggers: each area's category under the "Korvane" subsystem, and the signpost log.
#include "core/Log.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(Log, eachAreaAndComponentLogsUnderItsCategoryAndSignpostsGoToPointsOfInterest) {
    sim::ScopedLogCapture capture;
    for (const platform::Logger* logger :
         {&Log::app, &Log::hotkey, &Log::ax, &Log::wm, &Log::switcher, &Log::sceneManager, &Log::dragSnap})
        logger->info("zone=%ld", 3L);
    Log::category("StatusBar").debug("[%s] %{bool}d", "tag", true);
    { auto interval = Log::signposts.beginInterval("AXWindowId"); }

    EXPECT_EQ(capture.log().lines(),
              (std::vector<std::string>{"[app] zone=3", "[hotkey] zone=3", "[ax] zone=3", "[wm] zone=3",
                                        "[switcher] zone=3", "[sceneManager] zone=3", "[dragSnap] zone=3",
                                        "[StatusBar] [tag] true", "[PointsOfInterest] begin AXWindowId",
                                        "[PointsOfInterest] end AXWindowId"}));
    for (const auto& record : capture.log().records())
        EXPECT_EQ(record.subsystem, "Korvane");
}
