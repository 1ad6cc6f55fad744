// The core's loggers: each area's category under the "Korvane" subsystem, and the signpost log.
#include "core/Log.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

using namespace korvane;

// The area loggers' categories are constants, seen in the lines other tests assert.
TEST(Log, componentsLogUnderTheirOwnCategoryAndSignpostsGoToPointsOfInterest) {
    sim::ScopedLogCapture capture;
    Log::category("StatusBar").debug("[%s] %{bool}d", "tag", true);
    { auto interval = Log::signposts.beginInterval("AXWindowId"); }
    EXPECT_EQ(capture.log().lines(),
              (std::vector<std::string>{"[StatusBar] [tag] true", "[PointsOfInterest] begin AXWindowId",
                                        "[PointsOfInterest] end AXWindowId"}));
    for (const auto& record : capture.log().records())
        EXPECT_EQ(record.subsystem, "Korvane");
}
