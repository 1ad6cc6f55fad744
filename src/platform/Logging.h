// Where log records and console lines go. Process-wide sinks, replaceable by tests.
#pragma once

#include "platform/Time.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {

enum class LogLevel { debug = 0, info = 1, notice = 2, error = 3, fault = 4 }; // notice is "default"

struct LogRecord {
    enum class Kind { message, signpostBegin, signpostEnd, signpostEvent };
    Kind kind = Kind::message;
    LogLevel level = LogLevel::notice;
    std::string subsystem;
    std::string category;
    std::string text;             // the rendered message, or the signpost's name
    std::uint64_t signpostID = 0; // pairs a begin with its end
};

class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0; // may be called from any thread
};

// The few lines the program prints to standard output.
class ConsoleSink {
  public:
    virtual ~ConsoleSink() = default;
    virtual void writeLine(const std::string& line) = 0;
};

// The sinks in use. The defaults write to standard error (level from KORVANE_LOG_LEVEL, info
// when unset) and to standard output. Passing nullptr restores the default.
void setLogSink(std::shared_ptr<LogSink> sink);
std::shared_ptr<LogSink> logSink();
void setConsoleSink(std::shared_ptr<ConsoleSink> sink);
std::shared_ptr<ConsoleSink> consoleSink();

const char* logLevelName(LogLevel level);
// The level named by KORVANE_LOG_LEVEL's values: debug, info, default, error, fault.
std::optional<LogLevel> parseLogLevel(std::string_view name);

// The sink behind the default: "time level [category] text" lines on `stream`, records below `minimum`
// dropped. Signposts read "begin NAME id=N", "end NAME id=N", "event NAME id=N".
std::shared_ptr<LogSink> makeStreamLogSink(std::FILE* stream, LogLevel minimum);

} // namespace korvane::platform
