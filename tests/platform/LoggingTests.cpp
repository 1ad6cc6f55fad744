// The process-wide sinks: swapping them (also while other threads log) and the default sink's lines.
#include "platform/Logger.h"
#include "platform/Logging.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <thread>

namespace korvane::platform {
namespace {

using sim::CapturingLogSink;
using sim::ScopedLogCapture;

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
    // Every line reached exactly one of the sinks, whole.
    EXPECT_EQ(a->records().size() + b->records().size() + capture.log().records().size(),
              static_cast<std::size_t>(kWriters * kLinesEach));
    for (const auto& sink : {a, b})
        for (const auto& line : sink->lines())
            ASSERT_EQ(line, "[wm] line 1");
}

TEST(Logging, streamSinkWritesTimeLevelCategoryTextAndDropsLowerLevels) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    auto sink = makeStreamLogSink(f, LogLevel::info);
    auto write = [&](LogLevel level, const char* category, const char* text,
                     LogRecord::Kind kind = LogRecord::Kind::message) {
        sink->write(LogRecord{.kind = kind,
                              .level = level,
                              .subsystem = "Korvane",
                              .category = category,
                              .text = text,
                              .signpostID = 9});
    };
    write(LogLevel::debug, "wm", "hidden");
    write(LogLevel::info, "wm", "shown 100%");
    write(LogLevel::notice, "wm", "plain");
    write(LogLevel::notice, "PointsOfInterest", "AXWindowId", LogRecord::Kind::signpostBegin);
    std::fflush(f);
    std::rewind(f);
    std::string out(4096, '\0');
    out.resize(std::fread(out.data(), 1, out.size(), f));
    std::fclose(f);
    const std::regex expected(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z info \[wm\] shown 100%\n)"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z default \[wm\] plain\n)"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z default \[PointsOfInterest\] begin AXWindowId id=9\n)");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

// KORVANE_LOG_LEVEL takes the names the lines print; any other text names no level.
TEST(Logging, levelNamesReadBackAsTheirLevelsAndNothingElseNamesOne) {
    const std::pair<const char*, LogLevel> rows[] = {{"debug", LogLevel::debug},
                                                     {"info", LogLevel::info},
                                                     {"default", LogLevel::notice},
                                                     {"error", LogLevel::error},
                                                     {"fault", LogLevel::fault}};
    for (const auto& [name, level] : rows) {
        EXPECT_EQ(parseLogLevel(name), level) << name;
        EXPECT_STREQ(logLevelName(level), name);
    }
    for (const char* other : {"", "notice", "Error", "fault ", "warning"})
        EXPECT_EQ(parseLogLevel(other), std::nullopt) << other;
}

} // namespace
} // namespace korvane::platform
