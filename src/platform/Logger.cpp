// Loggers and signpost logs: each record is stamped with its subsystem and category and handed to the
// sink in use at that moment.
#include "platform/Logger.h"

#include <atomic>
#include <utility>

namespace korvane::platform {

namespace {
// Process-wide, so that intervals of different signpost logs never share an id.
std::atomic<std::uint64_t> gNextSignpostID{1};
} // namespace

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void Logger::emit(LogLevel level, std::string text) const {
    LogRecord r;
    r.kind = LogRecord::Kind::message;
    r.level = level;
    r.subsystem = subsystem_;
    r.category = category_;
    r.text = std::move(text);
    logSink()->write(r);
}

SignpostInterval::SignpostInterval(const SignpostLog& log, std::string name, std::uint64_t id)
    : log_(&log), name_(std::move(name)), id_(id) {}

SignpostInterval::SignpostInterval(SignpostInterval&& other) noexcept
    : log_(std::exchange(other.log_, nullptr)), name_(std::move(other.name_)), id_(other.id_) {}

SignpostInterval::~SignpostInterval() {
    end();
}

void SignpostInterval::end() {
    if (!log_) return;
    const SignpostLog* log = std::exchange(log_, nullptr);
    log->emitBoundary(LogRecord::Kind::signpostEnd, name_, id_);
}

SignpostLog::SignpostLog(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

SignpostInterval SignpostLog::beginInterval(std::string name) const {
    std::uint64_t id = gNextSignpostID.fetch_add(1, std::memory_order_relaxed);
    emitBoundary(LogRecord::Kind::signpostBegin, name, id);
    return SignpostInterval(*this, std::move(name), id);
}

void SignpostLog::event(std::string name) const {
    emitBoundary(LogRecord::Kind::signpostEvent, name,
                 gNextSignpostID.fetch_add(1, std::memory_order_relaxed));
}

void SignpostLog::emitBoundary(LogRecord::Kind kind, const std::string& name, std::uint64_t id) const {
    LogRecord r;
    r.kind = kind;
    // Intervals measure time; they stay out of the default log unless debug output is asked for.
    r.level = LogLevel::debug;
    r.subsystem = subsystem_;
    r.category = category_;
    r.text = name;
    r.signpostID = id;
    logSink()->write(r);
}

void printLine(const std::string& line) {
    consoleSink()->writeLine(line);
}

} // namespace korvane::platform
