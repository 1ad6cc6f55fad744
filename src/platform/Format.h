// The printf-style formatter of log messages, type-checked at run time, and the shared text forms of values.
//
// Supported: %s %@ %d %i %ld %lld %u %lu %llu %x %X %f %.Nf %.*f %e %g %c %%, the flags - 0 + space #,
// widths (also *) and the decorations %{public}s, %{private}s (rendered as the value: the log is our
// own), %{public}u, %{public}d, %{public}@, %{bool}d ("true"/"false"). Arguments are rendered as data:
// a '%' inside an argument is never interpreted. Unknown conversions stay in the text as written.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace korvane::platform {

class FormatArg {
  public:
    using Value = std::variant<std::int64_t, std::uint64_t, double, std::string, bool>;

    FormatArg(bool b) : value_(b) {}
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_signed_v<T>) FormatArg(T v)
        : value_(static_cast<std::int64_t>(v)) {}
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_unsigned_v<T>) FormatArg(T v)
        : value_(static_cast<std::uint64_t>(v)) {}
    template <class T>
    requires std::is_enum_v<T> FormatArg(T v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(double v) : value_(v) {}
    FormatArg(float v) : value_(static_cast<double>(v)) {}
    FormatArg(const char* s) : value_(std::string(s ? s : "(null)")) {}
    FormatArg(std::string_view s) : value_(std::string(s)) {}
    FormatArg(const std::string& s) : value_(s) {}

    const Value& value() const { return value_; }

  private:
    Value value_;
};

// Renders `fmt` with `args`. A conversion that does not fit its argument renders the argument's natural
// text form (text as is, numbers in decimal, doubles as describe(double), booleans "true"/"false"); a
// missing argument renders "<missing>"; extra arguments are ignored.
std::string formatMessage(std::string_view fmt, std::initializer_list<FormatArg> args);

template <class... Args> std::string format(std::string_view fmt, const Args&... args) {
    return formatMessage(fmt, {FormatArg(args)...});
}

// Text forms shared by every message.
// Doubles: the shortest form that reads back exactly, with at least one decimal ("1.0", "437.5", "1e-05").
std::string describe(double v);
// Rectangles: "(x, y, w, h)" with each number as describe(double).
std::string describe(const Rect& r);
std::string describe(const Point& p); // "(x, y)"
std::string describe(const Size& s);  // "(w, h)"
// Text in quotes, as inside optionals and lists: "\"x\"".
std::string quoted(std::string_view s);

// Optionals: "Optional(3)", "Optional(\"x\")", "nil".
std::string describeOptional(const std::optional<std::int64_t>& v);
std::string describeOptional(const std::optional<std::uint32_t>& v);
std::string describeOptional(const std::optional<double>& v);
std::string describeOptional(const std::optional<std::string>& v);
// Lists: "[1, 2]", "[\"A\", \"B\"]".
std::string describeList(const std::vector<std::int64_t>& v);
std::string describeList(const std::vector<std::uint32_t>& v);
std::string describeList(const std::vector<int>& v);
std::string describeList(const std::vector<std::string>& v);

} // namespace korvane::platform
