// The core's loggers: each area's category under the "Korvane" subsystem, and the signpost log.
#include "core/Log.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::sim::ScopedLogCapture;

TEST(Log, eachAreaLogsUnderItsCategory) {
    ScopedLogCapture capture;
    struct {
        const platform::Logger& logger;
        const char* category;
    } rows[] = {{Log::app, "app"},
                {Log::hotkey, "hotkey"},
                {Log::ax, "ax"},
                {Log::wm, "wm"},
                {Log::switcher, "switcher"},
                {Log::sceneManager, "sceneManager"},
                {Log::dragSnap, "dragSnap"}};
    for (const auto& r : rows)
        r.logger.info("zone=%ld", 3L);
    auto records = capture.log().records();
    ASSERT_EQ(records.size(), std::size(rows));
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].subsystem, "Korvane");
        EXPECT_EQ(records[i].category, rows[i].category);
        EXPECT_EQ(sim::CapturingLogSink::render(records[i]),
                  std::string("[") + rows[i].category + "] zone=3");
    }
}

TEST(Log, componentCategoriesShareTheSubsystem) {
    ScopedLogCapture capture;
    Log::category("StatusBar").debug("[%s] %{bool}d", "tag", true);
    auto records = capture.log().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].subsystem, "Korvane");
    EXPECT_EQ(capture.log().lines()[0], "[StatusBar] [tag] true");
}

TEST(Log, signpostsGoToPointsOfInterest) {
    ScopedLogCapture capture;
    { auto interval = Log::signposts.beginInterval("AXWindowId"); }
    EXPECT_EQ(capture.log().lines(), (std::vector<std::string>{"[PointsOfInterest] begin AXWindowId",
                                                               "[PointsOfInterest] end AXWindowId"}));
    EXPECT_EQ(capture.log().records()[0].subsystem, "Korvane");
}
