// Loggers and signposts: what they hand to the sink, and that an interval ends exactly once.
#include "platform/Logger.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace korvane::platform {
namespace {

using sim::ScopedLogCapture;

TEST(Logger, stampsSubsystemCategoryAndLevelAndRendersTheFormat) {
    ScopedLogCapture capture;
    Logger log("Korvane", "wm");
    log.debug("d %d", 1);
    log.info("i %s", "x");
    log.notice("n");
    log.error("e");
    log.fault("f");
    std::vector<LogLevel> levels;
    for (const auto& r : capture.log().records()) {
        levels.push_back(r.level);
        EXPECT_EQ(r.subsystem, "Korvane");
        EXPECT_EQ(r.category, "wm");
    }
    EXPECT_EQ(levels, (std::vector<LogLevel>{LogLevel::debug, LogLevel::info, LogLevel::notice,
                                             LogLevel::error, LogLevel::fault}));
    EXPECT_EQ(capture.log().lines()[1], "[wm] i x");
}

TEST(Logger, printLineGoesToTheConsoleSinkOnly) {
    ScopedLogCapture capture;
    printLine("[Korvane] hello");
    EXPECT_EQ(capture.console().lines(), (std::vector<std::string>{"[Korvane] hello"}));
    EXPECT_TRUE(capture.log().records().empty());
}

TEST(Signposts, anIntervalEndsOnceWithItsLastOwnerAndPairsItsRecordsByAnIdOfItsOwn) {
    ScopedLogCapture capture;
    SignpostLog signposts("Korvane", "PointsOfInterest");
    std::optional<SignpostInterval> holder;
    {
        auto outer = signposts.beginInterval("Outer");
        auto inner = signposts.beginInterval("Inner");
        inner.end();
        inner.end();
        auto moved = signposts.beginInterval("Moved");
        holder.emplace(std::move(moved));
    }
    EXPECT_EQ(capture.log().count("end Inner"), 1u);
    EXPECT_EQ(capture.log().count("end Outer"), 1u);
    EXPECT_EQ(capture.log().count("end Moved"), 0u) << "its new owner still holds it";
    holder.reset();
    EXPECT_EQ(capture.log().count("end Moved"), 1u);
    signposts.event("Mark");
    EXPECT_TRUE(capture.log().contains("[PointsOfInterest] event Mark"));

    std::map<std::string, std::set<std::uint64_t>> idsByName;
    std::set<std::uint64_t> ids;
    for (const auto& r : capture.log().records()) {
        idsByName[r.text].insert(r.signpostID);
        ids.insert(r.signpostID);
    }
    for (const auto& [name, idsOfName] : idsByName)
        EXPECT_EQ(idsOfName.size(), 1u) << name << ": begin and end share one id";
    EXPECT_EQ(ids.size(), 4u) << "every interval and event has an id of its own";
}

} // namespace
} // namespace korvane::platform
