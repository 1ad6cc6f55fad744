// The one formatter behind every log line and console message, and the shared text forms of values.
// Arguments arrive as tagged values, so a conversion that does not fit its argument is caught here and
// rendered as the argument's natural text instead of reaching the C library as undefined behaviour.
#include "platform/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace korvane::platform {

namespace {

// Widths and precisions come from format strings and arguments; past these bounds they would only
// serve to exhaust memory.
constexpr int kMaxWidth = 1024;
constexpr int kMaxPrecision = 64;

struct Directive {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    int width = 0;
    std::optional<int> precision;
    bool boolDecoration = false;
    char conversion = 0;
};

std::string naturalText(const FormatArg::Value& v) {
    struct Visitor {
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(std::uint64_t u) const { return std::to_string(u); }
        std::string operator()(double d) const { return describe(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
    };
    return std::visit(Visitor{}, v);
}

std::optional<std::int64_t> integerOf(const FormatArg::Value& v) {
    if (auto p = std::get_if<std::int64_t>(&v)) return *p;
    if (auto p = std::get_if<std::uint64_t>(&v))
        return static_cast<std::int64_t>(std::min<std::uint64_t>(*p, INT64_MAX));
    if (auto p = std::get_if<bool>(&v)) return *p ? 1 : 0;
    if (auto p = std::get_if<double>(&v)) {
        if (std::isnan(*p)) return 0;
        if (*p >= 9.2e18) return INT64_MAX;
        if (*p <= -9.2e18) return INT64_MIN;
        return static_cast<std::int64_t>(*p);
    }
    return std::nullopt;
}

int clampInt(std::int64_t v, int lo, int hi) {
    return static_cast<int>(std::clamp<std::int64_t>(v, lo, hi));
}

// Number of code points, so that width pads text the way a reader counts it.
std::size_t displayLength(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// Cuts at most `count` code points from the front without splitting a UTF-8 sequence.
std::string truncateCodePoints(const std::string& s, int count) {
    std::size_t i = 0;
    int seen = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) {
            if (seen == count) break;
            ++seen;
        }
        ++i;
    }
    return s.substr(0, i);
}

std::string pad(std::string text, const Directive& dir, bool numeric) {
    std::size_t len = displayLength(text);
    if (dir.width <= 0 || len >= static_cast<std::size_t>(dir.width)) return text;
    std::size_t fill = static_cast<std::size_t>(dir.width) - len;
    if (dir.leftAlign) return text + std::string(fill, ' ');
    if (numeric && dir.zeroPad) {
        // Zeros go after the sign or the hex prefix.
        std::size_t at = 0;
        if (!text.empty() && (text[0] == '-' || text[0] == '+' || text[0] == ' ')) at = 1;
        if (text.size() >= at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) at += 2;
        text.insert(at, fill, '0');
        return text;
    }
    return std::string(fill, ' ') + text;
}

// Builds a C format from a parsed directive (flags, clamped width and precision, our own conversion) and
// hands it exactly the argument type it names, which keeps snprintf well defined.
template <class T> std::string cFormat(const Directive& dir, const char* length, char conversion, T value) {
    std::string f = "%";
    if (dir.leftAlign) f += '-';
    if (dir.zeroPad) f += '0';
    if (dir.plus) f += '+';
    if (dir.space) f += ' ';
    // '#' is defined only for hex and floating conversions.
    if (dir.alternate && conversion != 'd' && conversion != 'u') f += '#';
    if (dir.width > 0) f += std::to_string(dir.width);
    if (dir.precision) f += "." + std::to_string(*dir.precision);
    f += length;
    f += conversion;
    char small[128];
    int n = std::snprintf(small, sizeof small, f.c_str(), value);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), f.c_str(), value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

std::string encodeUTF8(std::int64_t cp) {
    if (cp < 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    std::string out;
    auto c = static_cast<std::uint32_t>(cp);
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string renderText(const std::string& text, const Directive& dir) {
    std::string s = dir.precision ? truncateCodePoints(text, *dir.precision) : text;
    return pad(std::move(s), dir, false);
}

std::string renderInteger(const FormatArg::Value& v, const Directive& dir) {
    if (auto b = std::get_if<bool>(&v)) return cFormat(dir, "ll", dir.conversion, static_cast<long long>(*b));
    bool hex = dir.conversion == 'x' || dir.conversion == 'X';
    if (auto i = std::get_if<std::int64_t>(&v)) {
        // Hex shows the bit pattern; %u of a negative number shows the number, not its wrap-around.
        if (hex) return cFormat(dir, "ll", dir.conversion, static_cast<unsigned long long>(*i));
        return cFormat(dir, "ll", 'd', static_cast<long long>(*i));
    }
    if (auto u = std::get_if<std::uint64_t>(&v))
        return cFormat(dir, "ll", hex ? dir.conversion : 'u', static_cast<unsigned long long>(*u));
    return pad(naturalText(v), dir, false);
}

std::string renderFloat(const FormatArg::Value& v, const Directive& dir) {
    double d;
    if (auto p = std::get_if<double>(&v))
        d = *p;
    else if (auto i = std::get_if<std::int64_t>(&v))
        d = static_cast<double>(*i);
    else if (auto u = std::get_if<std::uint64_t>(&v))
        d = static_cast<double>(*u);
    else if (auto b = std::get_if<bool>(&v))
        d = *b ? 1.0 : 0.0;
    else {
        // Text under a float conversion: keep the width, but a precision of digits means nothing to it.
        Directive textDir = dir;
        textDir.precision.reset();
        return renderText(naturalText(v), textDir);
    }
    return cFormat(dir, "", dir.conversion, d);
}

std::string render(const FormatArg::Value& v, Directive dir) {
    switch (dir.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
        if (dir.boolDecoration) {
            if (auto n = integerOf(v); n && !std::holds_alternative<std::string>(v))
                return pad(*n != 0 ? "true" : "false", dir, false);
            return pad(naturalText(v), dir, false);
        }
        return renderInteger(v, dir);
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
        return renderFloat(v, dir);
    case 'c':
        if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<std::uint64_t>(v))
            return pad(encodeUTF8(*integerOf(v)), dir, false);
        return renderText(naturalText(v), dir);
    default: // 's' and '@': the natural text of anything
        if (dir.boolDecoration && std::holds_alternative<bool>(v)) return pad(naturalText(v), dir, false);
        return renderText(naturalText(v), dir);
    }
}

bool isConversion(char c) {
    switch (c) {
    case 's':
    case '@':
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'c':
        return true;
    default:
        return false;
    }
}

// Parses a run of digits without overflow, clamped to `limit`.
int parseNumber(std::string_view fmt, std::size_t& i, int limit) {
    std::int64_t n = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        n = std::min<std::int64_t>(n * 10 + (fmt[i] - '0'), limit);
        ++i;
    }
    return static_cast<int>(n);
}

} // namespace

std::string formatMessage(std::string_view fmt, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(fmt.size() + 16 * args.size());
    auto next = args.begin();
    auto take = [&]() -> const FormatArg* { return next == args.end() ? nullptr : &*next++; };

    std::size_t i = 0;
    while (i < fmt.size()) {
        char ch = fmt[i];
        if (ch != '%') {
            out += ch;
            ++i;
            continue;
        }
        std::size_t start = i++;
        if (i < fmt.size() && fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Directive dir;
        if (i < fmt.size() && fmt[i] == '{') {
            std::size_t close = fmt.find('}', i);
            if (close == std::string_view::npos) { // not a decoration after all: print as written
                out.append(fmt.substr(start));
                break;
            }
            std::string_view deco = fmt.substr(i + 1, close - i - 1);
            // Several words may be combined ("public, bool"); only bool changes the rendering, since
            // private values are kept in our own log.
            std::size_t p = 0;
            while (p <= deco.size()) {
                std::size_t comma = deco.find(',', p);
                std::string_view word =
                    deco.substr(p, comma == std::string_view::npos ? deco.npos : comma - p);
                while (!word.empty() && word.front() == ' ')
                    word.remove_prefix(1);
                while (!word.empty() && word.back() == ' ')
                    word.remove_suffix(1);
                if (word == "bool" || word == "BOOL") dir.boolDecoration = true;
                if (comma == std::string_view::npos) break;
                p = comma + 1;
            }
            i = close + 1;
        }
        for (; i < fmt.size(); ++i) {
            char f = fmt[i];
            if (f == '-')
                dir.leftAlign = true;
            else if (f == '0')
                dir.zeroPad = true;
            else if (f == '+')
                dir.plus = true;
            else if (f == ' ')
                dir.space = true;
            else if (f == '#')
                dir.alternate = true;
            else
                break;
        }
        bool missing = false;
        if (i < fmt.size() && fmt[i] == '*') {
            ++i;
            const FormatArg* a = take();
            auto n = a ? integerOf(a->value()) : std::nullopt;
            if (!a) missing = true;
            if (n) {
                if (*n < 0) dir.leftAlign = true;
                dir.width = *n < 0 ? clampInt(-std::max<std::int64_t>(*n, -kMaxWidth), 0, kMaxWidth)
                                   : clampInt(*n, 0, kMaxWidth);
            }
        } else {
            dir.width = parseNumber(fmt, i, kMaxWidth);
        }
        if (i < fmt.size() && fmt[i] == '.') {
            ++i;
            if (i < fmt.size() && fmt[i] == '*') {
                ++i;
                const FormatArg* a = take();
                auto n = a ? integerOf(a->value()) : std::nullopt;
                if (!a) missing = true;
                // A negative precision argument means none was given, as in C.
                if (n && *n >= 0) dir.precision = clampInt(*n, 0, kMaxPrecision);
            } else {
                dir.precision = parseNumber(fmt, i, kMaxPrecision);
            }
        }
        while (i < fmt.size() && std::string_view("hlqLjzt").find(fmt[i]) != std::string_view::npos)
            ++i;
        if (i >= fmt.size() || !isConversion(fmt[i])) {
            // Not a conversion we know: the text stays as written and consumes no value.
            std::size_t end = i < fmt.size() ? i + 1 : i;
            out.append(fmt.substr(start, end - start));
            i = end;
            continue;
        }
        dir.conversion = fmt[i++];
        if (dir.leftAlign) dir.zeroPad = false;
        const FormatArg* arg = missing ? nullptr : take();
        if (!arg) {
            out += "<missing>";
            continue;
        }
        out += render(arg->value(), dir);
    }
    return out;
}

std::string describe(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    if (v == 0) return std::signbit(v) ? "-0.0" : "0.0";

    // Shortest round-trip digits, then laid out ourselves: plain decimals for exponents -4...15,
    // scientific with a signed two-digit exponent outside.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string sci(buf, res.ptr);
    std::size_t ePos = sci.find('e');
    std::string mantissa = sci.substr(0, ePos);
    int exponent = std::atoi(sci.c_str() + ePos + 1);
    bool negative = mantissa[0] == '-';
    if (negative) mantissa.erase(0, 1);
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits += c;

    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += exponent < 0 ? "e-" : "e+";
        int a = std::abs(exponent);
        if (a < 10) out += '0';
        out += std::to_string(a);
        return out;
    }
    if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        return out;
    }
    auto intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
        out += digits + std::string(intDigits - digits.size(), '0') + ".0";
    } else {
        out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
    return out;
}

std::string describe(const Rect& r) {
    return "(" + describe(r.origin.x) + ", " + describe(r.origin.y) + ", " + describe(r.size.width) + ", " +
           describe(r.size.height) + ")";
}

std::string describe(const Point& p) {
    return "(" + describe(p.x) + ", " + describe(p.y) + ")";
}

std::string describe(const Size& s) {
    return "(" + describe(s.width) + ", " + describe(s.height) + ")";
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char esc[16];
                std::snprintf(esc, sizeof esc, "\\u{%X}", u);
                out += esc;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string describeOptional(const std::optional<std::int64_t>& v) {
    return v ? "Optional(" + std::to_string(*v) + ")" : "nil";
}

std::string describeOptional(const std::optional<std::uint32_t>& v) {
    return v ? "Optional(" + std::to_string(*v) + ")" : "nil";
}

std::string describeOptional(const std::optional<double>& v) {
    return v ? "Optional(" + describe(*v) + ")" : "nil";
}

std::string describeOptional(const std::optional<std::string>& v) {
    return v ? "Optional(" + quoted(*v) + ")" : "nil";
}

namespace {
template <class T, class F> std::string joinList(const std::vector<T>& v, F text) {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ", ";
        out += text(v[i]);
    }
    return out + "]";
}
} // namespace

std::string describeList(const std::vector<std::int64_t>& v) {
    return joinList(v, [](std::int64_t x) { return std::to_string(x); });
}

std::string describeList(const std::vector<std::uint32_t>& v) {
    return joinList(v, [](std::uint32_t x) { return std::to_string(x); });
}

std::string describeList(const std::vector<int>& v) {
    return joinList(v, [](int x) { return std::to_string(x); });
}

std::string describeList(const std::vector<std::string>& v) {
    return joinList(v, [](const std::string& x) { return quoted(x); });
}

} // namespace korvane::platform
