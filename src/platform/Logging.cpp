// The process-wide log and console sinks, and the defaults that write to standard error and output.
// Sinks are swapped under a mutex and used through a copied shared_ptr, so a test can replace one while
// another thread is writing.
#include "platform/Logging.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string_view>
#include <sys/time.h>

namespace korvane::platform {

namespace {

LogLevel levelFromEnvironment() {
    // Read from the real environment: logging starts before any platform object exists.
    const char* raw = std::getenv("KORVANE_LOG_LEVEL");
    return parseLogLevel(raw ? raw : "").value_or(LogLevel::info);
}

std::string timestamp() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    time_t secs = tv.tv_sec;
    gmtime_r(&secs, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    return buf;
}

class StreamLogSink final : public LogSink {
  public:
    StreamLogSink(std::FILE* stream, LogLevel threshold) : stream_(stream), threshold_(threshold) {}

    void write(const LogRecord& r) override {
        if (r.level < threshold_) return;
        std::string line = timestamp() + " " + logLevelName(r.level) + " [" + r.category + "] ";
        switch (r.kind) {
        case LogRecord::Kind::message:
            line += r.text;
            break;
        case LogRecord::Kind::signpostBegin:
            line += "begin " + r.text + " id=" + std::to_string(r.signpostID);
            break;
        case LogRecord::Kind::signpostEnd:
            line += "end " + r.text + " id=" + std::to_string(r.signpostID);
            break;
        case LogRecord::Kind::signpostEvent:
            line += "event " + r.text + " id=" + std::to_string(r.signpostID);
            break;
        }
        line += '\n';
        // One write per line keeps lines from different threads whole.
        std::fwrite(line.data(), 1, line.size(), stream_);
    }

  private:
    std::FILE* stream_;
    LogLevel threshold_;
};

class StdoutConsoleSink final : public ConsoleSink {
  public:
    void writeLine(const std::string& line) override {
        std::string l = line + '\n';
        std::fwrite(l.data(), 1, l.size(), stdout);
        std::fflush(stdout);
    }
};

struct Sinks {
    std::mutex mutex;
    std::shared_ptr<LogSink> log;
    std::shared_ptr<ConsoleSink> console;
};

// Never destroyed: loggers may still be used by other static objects while the process exits.
Sinks& sinks() {
    static Sinks* s = new Sinks;
    return *s;
}

std::shared_ptr<LogSink> defaultLogSink() {
    static const auto* sink =
        new std::shared_ptr<LogSink>(std::make_shared<StreamLogSink>(stderr, levelFromEnvironment()));
    return *sink;
}

std::shared_ptr<ConsoleSink> defaultConsoleSink() {
    static const auto* sink = new std::shared_ptr<ConsoleSink>(std::make_shared<StdoutConsoleSink>());
    return *sink;
}

} // namespace

void setLogSink(std::shared_ptr<LogSink> sink) {
    auto& s = sinks();
    std::lock_guard lock(s.mutex);
    s.log = std::move(sink);
}

std::shared_ptr<LogSink> logSink() {
    auto& s = sinks();
    {
        std::lock_guard lock(s.mutex);
        if (s.log) return s.log;
    }
    return defaultLogSink();
}

void setConsoleSink(std::shared_ptr<ConsoleSink> sink) {
    auto& s = sinks();
    std::lock_guard lock(s.mutex);
    s.console = std::move(sink);
}

std::shared_ptr<ConsoleSink> consoleSink() {
    auto& s = sinks();
    {
        std::lock_guard lock(s.mutex);
        if (s.console) return s.console;
    }
    return defaultConsoleSink();
}

const char* logLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "default";
    case LogLevel::error:
        return "error";
    case LogLevel::fault:
        return "fault";
    }
    return "default";
}

std::optional<LogLevel> parseLogLevel(std::string_view name) {
    if (name == "debug") return LogLevel::debug;
    if (name == "info") return LogLevel::info;
    if (name == "default") return LogLevel::notice;
    if (name == "error") return LogLevel::error;
    if (name == "fault") return LogLevel::fault;
    return std::nullopt;
}

std::shared_ptr<LogSink> makeStreamLogSink(std::FILE* stream, LogLevel minimum) {
    return std::make_shared<StreamLogSink>(stream, minimum);
}

} // namespace korvane::platform
