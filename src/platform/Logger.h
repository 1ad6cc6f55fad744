// Loggers of the unified log (subsystem and category) and signpost intervals.
#pragma once

#include "platform/Format.h"
#include "platform/Logging.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::platform {

class Logger {
  public:
    Logger(std::string subsystem, std::string category);

    template <class... A> void debug(std::string_view fmt, const A&... a) const {
        log(LogLevel::debug, fmt, a...);
    }
    template <class... A> void info(std::string_view fmt, const A&... a) const {
        log(LogLevel::info, fmt, a...);
    }
    template <class... A> void notice(std::string_view fmt, const A&... a) const {
        log(LogLevel::notice, fmt, a...);
    }
    template <class... A> void error(std::string_view fmt, const A&... a) const {
        log(LogLevel::error, fmt, a...);
    }
    template <class... A> void fault(std::string_view fmt, const A&... a) const {
        log(LogLevel::fault, fmt, a...);
    }

    template <class... A> void log(LogLevel level, std::string_view fmt, const A&... a) const {
        emit(level, format(fmt, a...));
    }

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    void emit(LogLevel level, std::string text) const;

  private:
    std::string subsystem_;
    std::string category_;
};

class SignpostLog;

// Ends its interval when destroyed (or at end()), once.
class SignpostInterval {
  public:
    SignpostInterval(const SignpostLog& log, std::string name, std::uint64_t id);
    SignpostInterval(SignpostInterval&& other) noexcept;
    SignpostInterval(const SignpostInterval&) = delete;
    SignpostInterval& operator=(const SignpostInterval&) = delete;
    SignpostInterval& operator=(SignpostInterval&&) = delete;
    ~SignpostInterval();
    void end();
    // The id that pairs this interval's records, for a caller that hands the interval's end elsewhere.
    std::uint64_t id() const { return id_; }

  private:
    const SignpostLog* log_;
    std::string name_;
    std::uint64_t id_;
};

class SignpostLog {
  public:
    SignpostLog(std::string subsystem, std::string category);
    [[nodiscard]] SignpostInterval beginInterval(std::string name) const;
    void event(std::string name) const;

    void emitBoundary(LogRecord::Kind kind, const std::string& name, std::uint64_t id) const;

  private:
    std::string subsystem_;
    std::string category_;
};

// One line to standard output, through the console sink.
void printLine(const std::string& line);

} // namespace korvane::platform
