// Sinks, loggers and signposts: what reaches a sink, how the default sink renders it, and that sinks can
// be swapped while other threads log.
#include "platform/Logger.h"
#include "platform/Logging.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <thread>

using namespace korvane::platform;
using korvane::sim::CapturingLogSink;
using korvane::sim::ScopedLogCapture;

namespace {

std::string readAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    return out;
}

} // namespace

TEST(Logging, loggerStampsSubsystemCategoryAndLevel) {
    ScopedLogCapture capture;
    Logger log("Korvane", "wm");
    log.debug("d %d", 1);
    log.info("i %s", "x");
    log.notice("n");
    log.error("e");
    log.fault("f");
    auto records = capture.log().records();
    ASSERT_EQ(records.size(), 5u);
    const LogLevel levels[] = {LogLevel::debug, LogLevel::info, LogLevel::notice, LogLevel::error,
                               LogLevel::fault};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].level, levels[i]);
        EXPECT_EQ(records[i].subsystem, "Korvane");
        EXPECT_EQ(records[i].category, "wm");
        EXPECT_EQ(records[i].kind, LogRecord::Kind::message);
    }
    EXPECT_EQ(capture.log().lines()[1], "[wm] i x");
}

TEST(Logging, printLineGoesToTheConsoleSinkOnly) {
    ScopedLogCapture capture;
    printLine("[Korvane] hello");
    printLine("second");
    EXPECT_EQ(capture.console().lines(), (std::vector<std::string>{"[Korvane] hello", "second"}));
    EXPECT_TRUE(capture.log().records().empty());
}

TEST(Logging, scopedCapturesNestAndRestoreThePreviousSinksAndNullRestoresTheDefault) {
    auto before = logSink();
    auto beforeConsole = consoleSink();
    {
        ScopedLogCapture outer;
        {
            ScopedLogCapture inner;
            Logger("Korvane", "app").info("inner");
            EXPECT_TRUE(inner.log().contains("inner"));
        }
        Logger("Korvane", "app").info("outer");
        EXPECT_TRUE(outer.log().contains("outer"));
        EXPECT_FALSE(outer.log().contains("inner"));
    }
    EXPECT_EQ(logSink(), before);
    EXPECT_EQ(consoleSink(), beforeConsole);

    setLogSink(std::make_shared<CapturingLogSink>());
    setLogSink(nullptr);
    EXPECT_EQ(logSink(), before);
}

TEST(Logging, sinksCanBeSwappedWhileOtherThreadsLog) {
    ScopedLogCapture capture;
    auto a = std::make_shared<CapturingLogSink>();
    auto b = std::make_shared<CapturingLogSink>();
    constexpr int kWriters = 4, kLinesEach = 2000;
    std::atomic<int> running{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < kWriters; ++t)
        writers.emplace_back([&] {
            Logger log("Korvane", "wm");
            ++running;
            for (int i = 0; i < kLinesEach; ++i)
                log.info("line %d", 1);
            --running;
        });
    // Swap for as long as any writer is still logging.
    for (int i = 0; i < 100 || running.load() > 0; ++i)
        setLogSink(i % 2 ? a : b);
    for (auto& w : writers)
        w.join();
    // Every line reached exactly one of the two sinks, whole.
    EXPECT_EQ(a->records().size() + b->records().size() + capture.log().records().size(),
              static_cast<std::size_t>(kWriters * kLinesEach));
    for (const auto& sink : {a, b})
        for (const auto& line : sink->lines())
            ASSERT_EQ(line, "[wm] line 1");
}

TEST(Logging, levelNamesParseAndPrint) {
    struct {
        const char* name;
        std::optional<LogLevel> level;
    } rows[] = {{"debug", LogLevel::debug}, {"info", LogLevel::info},   {"default", LogLevel::notice},
                {"error", LogLevel::error}, {"fault", LogLevel::fault}, {"verbose", std::nullopt},
                {"", std::nullopt},         {"DEBUG", std::nullopt}};
    for (const auto& r : rows) {
        EXPECT_EQ(parseLogLevel(r.name), r.level) << r.name;
        if (r.level) {
            EXPECT_STREQ(logLevelName(*r.level), r.name);
        }
    }
}

TEST(Logging, streamSinkWritesTimeLevelCategoryTextAndDropsLowerLevels) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    auto sink = makeStreamLogSink(f, LogLevel::info);
    auto write = [&](LogLevel level, const char* category, const char* text,
                     LogRecord::Kind kind = LogRecord::Kind::message) {
        LogRecord r;
        r.level = level;
        r.category = category;
        r.text = text;
        r.kind = kind;
        r.signpostID = 9;
        sink->write(r);
    };
    write(LogLevel::debug, "wm", "hidden");
    write(LogLevel::info, "wm", "shown 100%");
    write(LogLevel::notice, "wm", "plain");
    write(LogLevel::notice, "PointsOfInterest", "AXWindowId", LogRecord::Kind::signpostBegin);
    std::string out = readAll(f);
    std::fclose(f);
    std::regex expected(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z info \[wm\] shown 100%\n)"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z default \[wm\] plain\n)"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z default \[PointsOfInterest\] begin AXWindowId id=9\n)");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

TEST(Signposts, intervalsPairBeginAndEndWithUniqueIdsAndEndOnceWithTheirLastOwner) {
    ScopedLogCapture capture;
    SignpostLog signposts("Korvane", "PointsOfInterest");
    {
        auto outer = signposts.beginInterval("CycleInZone");
        auto inner = signposts.beginInterval("AXWindowId");
        inner.end();
        inner.end(); // ending twice records one end
        std::optional<SignpostInterval> holder;
        {
            auto moved = signposts.beginInterval("DisplayChangeHandle");
            holder.emplace(std::move(moved));
        }
        EXPECT_EQ(capture.log().count("end DisplayChangeHandle"), 0u);
    }
    signposts.event("Mark");
    auto records = capture.log().records();
    EXPECT_EQ(capture.log().lines(),
              (std::vector<std::string>{"[PointsOfInterest] begin CycleInZone", "[PointsOfInterest] begin AXWindowId",
                                        "[PointsOfInterest] end AXWindowId",
                                        "[PointsOfInterest] begin DisplayChangeHandle",
                                        "[PointsOfInterest] end DisplayChangeHandle",
                                        "[PointsOfInterest] end CycleInZone", "[PointsOfInterest] event Mark"}));
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[0].signpostID, records[5].signpostID);
    EXPECT_EQ(records[1].signpostID, records[2].signpostID);
    EXPECT_EQ(records[3].signpostID, records[4].signpostID);
    EXPECT_NE(records[0].signpostID, records[1].signpostID);
    EXPECT_NE(records[6].signpostID, records[0].signpostID);
    EXPECT_EQ(records[0].subsystem, "Korvane");
}
