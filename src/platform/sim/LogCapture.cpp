// Test sinks that keep what the program logged and printed, so tests can assert on the rendered lines.
#include "platform/sim/LogCapture.h"

#include <algorithm>

namespace korvane::sim {

using platform::LogRecord;

namespace {
std::size_t countContaining(const std::vector<std::string>& lines, std::string_view needle) {
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(needle) != std::string::npos;
    }));
}
} // namespace

std::string CapturingLogSink::render(const LogRecord& r) {
    std::string prefix = "[" + r.category + "] ";
    switch (r.kind) {
    case LogRecord::Kind::message:
        return prefix + r.text;
    case LogRecord::Kind::signpostBegin:
        return prefix + "begin " + r.text;
    case LogRecord::Kind::signpostEnd:
        return prefix + "end " + r.text;
    case LogRecord::Kind::signpostEvent:
        return prefix + "event " + r.text;
    }
    return prefix + r.text;
}

void CapturingLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
}

std::vector<LogRecord> CapturingLogSink::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> CapturingLogSink::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(records_.size());
    for (const auto& r : records_)
        out.push_back(render(r));
    return out;
}

bool CapturingLogSink::contains(std::string_view needle) const {
    return count(needle) > 0;
}

std::size_t CapturingLogSink::count(std::string_view needle) const {
    return countContaining(lines(), needle);
}

void CapturingLogSink::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

void CapturingConsoleSink::writeLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
}

std::vector<std::string> CapturingConsoleSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool CapturingConsoleSink::contains(std::string_view needle) const {
    return count(needle) > 0;
}

std::size_t CapturingConsoleSink::count(std::string_view needle) const {
    return countContaining(lines(), needle);
}

void CapturingConsoleSink::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

ScopedLogCapture::ScopedLogCapture()
    : log_(std::make_shared<CapturingLogSink>()), console_(std::make_shared<CapturingConsoleSink>()),
      previousLog_(platform::logSink()), previousConsole_(platform::consoleSink()) {
    platform::setLogSink(log_);
    platform::setConsoleSink(console_);
}

ScopedLogCapture::~ScopedLogCapture() {
    platform::setLogSink(previousLog_);
    platform::setConsoleSink(previousConsole_);
}

} // namespace korvane::sim
