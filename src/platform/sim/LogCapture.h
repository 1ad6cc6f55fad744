// Capturing log and console sinks for tests, and a scoped guard that installs them and puts the previous
// sinks back.
#pragma once

#include "platform/Logging.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::sim {

// Keeps every record of every level. Lines render as "[category] text"; signpost records as
// "[category] begin NAME", "[category] end NAME" or "[category] event NAME".
class CapturingLogSink final : public platform::LogSink {
  public:
    void write(const platform::LogRecord& record) override;

    std::vector<platform::LogRecord> records() const;
    std::vector<std::string> lines() const;
    // Whether any line contains `needle`; how many lines do.
    bool contains(std::string_view needle) const;
    std::size_t count(std::string_view needle) const;
    void clear();

    static std::string render(const platform::LogRecord& record);

  private:
    mutable std::mutex mutex_;
    std::vector<platform::LogRecord> records_;
};

class CapturingConsoleSink final : public platform::ConsoleSink {
  public:
    void writeLine(const std::string& line) override;

    std::vector<std::string> lines() const;
    bool contains(std::string_view needle) const;
    std::size_t count(std::string_view needle) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Installs a fresh capturing log sink and console sink for its lifetime.
class ScopedLogCapture {
  public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    CapturingLogSink& log() { return *log_; }
    CapturingConsoleSink& console() { return *console_; }

  private:
    std::shared_ptr<CapturingLogSink> log_;
    std::shared_ptr<CapturingConsoleSink> console_;
    std::shared_ptr<platform::LogSink> previousLog_;
    std::shared_ptr<platform::ConsoleSink> previousConsole_;
};

} // namespace korvane::sim
