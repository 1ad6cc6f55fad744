// The log formatter: conversions, decorations, mismatched and missing arguments, and the shared text
// forms of doubles, rectangles, optionals and lists.
#include "platform/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

using namespace korvane;
using namespace korvane::platform;

namespace {

struct Row {
    const char* what;
    std::string actual;
    std::string expected;
};

void expectRows(const std::vector<Row>& rows) {
    for (const auto& r : rows)
        EXPECT_EQ(r.actual, r.expected) << r.what;
}

enum class Mode { off = 0, on = 7 };

} // namespace

TEST(Format, rendersEachConversionAndDecoration) {
    expectRows({
        {"s", format("a=%s", "abc"), "a=abc"},
        {"std::string", format("%s", std::string("xyz")), "xyz"},
        {"public s", format("%{public}s", "abc"), "abc"},
        {"private s is kept", format("%{private}s", "secret"), "secret"},
        {"public u", format("wid=%{public}u", 4242u), "wid=4242"},
        {"public @", format("[SDP] %{public}@", "armed"), "[SDP] armed"},
        {"bool true", format("%{bool}d", true), "true"},
        {"bool from int", format("%{bool}d %{bool}d", 0, 5), "false true"},
        {"plain d of bool is a number", format("%d", true), "1"},
        {"d", format("%d", -42), "-42"},
        {"lld min", format("%lld", std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {"llu max", format("%llu", std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
        {"x", format("%x", 255), "ff"},
        {"X", format("%X", 255), "FF"},
        {"#x", format("%#x", 255), "0xff"},
        {"x of negative shows the bits", format("%x", -1), "ffffffffffffffff"},
        {"enum", format("%d", Mode::on), "7"},
        {"f", format("%f", 1.5), "1.500000"},
        {".1f", format("%.1f", 437.46), "437.5"},
        {".2f", format("%.2f", 0.125), "0.12"},
        {"f of float", format("%.1f", 2.5f), "2.5"},
        {"f of int", format("%.1f", 3), "3.0"},
        {"e", format("%e", 12345.678), "1.234568e+04"},
        {"g large", format("%g", 1e20), "1e+20"},
        {"c", format("%c", 'A'), "A"},
        {"c of a code point", format("%c", 0xE9), "\xC3\xA9"},
        {"c out of range", format("%c", -1), "\xEF\xBF\xBD"},
        {"percent", format("100%% done"), "100% done"},
        {"null text", format("%s", static_cast<const char*>(nullptr)), "(null)"},
    });
}

TEST(Format, precisionArgumentComesBeforeTheValue) {
    expectRows({
        {"two decimals", format("%.*f", 2, 1.8), "1.80"},
        {"zero decimals", format("%.*fs", 0, 8.4), "8s"},
        {"wake recovery line",
         format("[WakeRecovery] begin token=%{public}s suppressRebuildPruneFor=%.*fs "
                "suppressControllerPruneFor=%.*fs",
                "T-1", 2, 1.8, 2, 8.0),
         "[WakeRecovery] begin token=T-1 suppressRebuildPruneFor=1.80s suppressControllerPruneFor=8.00s"},
        {"negative precision means none", format("%.*f", -1, 1.5), "1.500000"},
        {"huge precision is bounded", format("%.*f", 1000000, 0.5).substr(0, 4), "0.50"},
        {"precision missing", format("%.*f"), "<missing>"},
        {"value missing", format("%.*f", 2), "<missing>"},
    });
    EXPECT_LE(format("%.*f", 1000000, 0.5).size(), 80u);
}

TEST(Format, widthsAndFlags) {
    expectRows({
        {"right", format("[%5d]", 42), "[   42]"},
        {"left", format("[%-5d]", 42), "[42   ]"},
        {"zero pad keeps sign first", format("[%05d]", -42), "[-0042]"},
        {"left beats zero", format("[%-05d]", 42), "[42   ]"},
        {"plus", format("%+d", 5), "+5"},
        {"text right", format("[%8s]", "ab"), "[      ab]"},
        {"text left", format("[%-8s]", "ab"), "[ab      ]"},
        {"float width and zero", format("%08.3f", 3.14159), "0003.142"},
        {"star width", format("[%*d]", 5, 42), "[   42]"},
        {"negative star width aligns left", format("[%*d]", -4, 7), "[7   ]"},
        {"text precision", format("%.2s", "abcdef"), "ab"},
        {"text precision never splits a character",
         format("%.1s", "\xC3\xA9"
                        "a"),
         "\xC3\xA9"},
        {"width counts characters", format("[%3s]", "\xC3\xA9"), "[  \xC3\xA9]"},
        {"width wider than text only", format("[%2s]", "abcd"), "[abcd]"},
    });
    // A width beyond reason is bounded instead of allocating without limit.
    EXPECT_LE(format("%99999999999999999999d", 1).size(), 1024u);
}

// A number padded past 127 characters no longer fits the formatter's first buffer; it still comes out whole.
TEST(Format, numbersPaddedPastTheFirstBufferKeepEveryCharacter) {
    for (int width : {126, 127, 128, 129, 300}) {
        SCOPED_TRACE(width);
        EXPECT_EQ(format("%0*d", width, 7), std::string(width - 1, '0') + "7");
        EXPECT_EQ(format("%*.1f|", width, 2.5), std::string(width - 3, ' ') + "2.5|");
    }
}

TEST(Format, dataIsNeverInterpretedAndMismatchesRenderTheValueItself) {
    expectRows({
        {"percent signs in text", format("name=%s", "50% %s %d %n"), "name=50% %s %d %n"},
        {"percent in a second argument", format("%s/%s", "a%", "%%b"), "a%/%%b"},
        {"d of text", format("pid=%d", "abc"), "pid=abc"},
        {"s of int", format("%s", 42), "42"},
        {"s of double", format("%s", 2.5), "2.5"},
        {"s of bool", format("%s", true), "true"},
        {"d of double", format("%ld", 2.5), "2.5"},
        {"u of negative", format("%u", -1), "-1"},
        {"f of text keeps width", format("[%6.2f]", "x"), "[     x]"},
        {"bool of text", format("%{bool}d", "maybe"), "maybe"},
        {"missing", format("%d and %s", 1), "1 and <missing>"},
        {"extra ignored", format("x", 1, 2), "x"},
        {"unknown conversion stays as written", format("%k%d", 3), "%k3"},
        {"a lone percent before a word", format("50% off"), "50% off"},
        {"percent at the end", format("100%"), "100%"},
        {"unterminated decoration", format("%{public", "x"), "%{public"},
        {"empty format", format(""), ""},
    });
}

TEST(Describe, doublesUseTheShortestExactFormWithADecimal) {
    expectRows({
        {"1", describe(1.0), "1.0"},
        {"sum", describe(0.1 + 0.2), "0.30000000000000004"},
        {"negative", describe(-2.5), "-2.5"},
        {"zero", describe(0.0), "0.0"},
        {"negative zero", describe(-0.0), "-0.0"},
        {"1e-4 stays plain", describe(0.0001), "0.0001"},
        {"1e-5 turns scientific", describe(0.00001), "1e-05"},
        {"1e15 stays plain", describe(1e15), "1000000000000000.0"},
        {"1e16 turns scientific", describe(1e16), "1e+16"},
        {"1.25e16", describe(1.25e16), "1.25e+16"},
        {"three-digit exponent", describe(1e100), "1e+100"},
        {"smallest subnormal", describe(5e-324), "5e-324"},
        {"largest", describe(std::numeric_limits<double>::max()), "1.7976931348623157e+308"},
        {"nan", describe(std::nan("")), "nan"},
        {"inf", describe(std::numeric_limits<double>::infinity()), "inf"},
        {"-inf", describe(-std::numeric_limits<double>::infinity()), "-inf"},
    });
}

TEST(Describe, doublesReadBackExactly) {
    for (double v : {0.1, 1.0 / 3.0, 2.0 / 3.0 * 1e-7, 123456.789, 1e-300, 6.02214076e23, -1234.5678e10, 0.3})
        EXPECT_EQ(std::strtod(describe(v).c_str(), nullptr), v) << describe(v);
}

TEST(Describe, geometryQuotingOptionalsAndLists) {
    expectRows({
        {"rect", describe(Rect{0, 400, 250, 400}), "(0.0, 400.0, 250.0, 400.0)"},
        {"rect fractions", describe(Rect{-0.5, 1.25, 3, 1e-05}), "(-0.5, 1.25, 3.0, 1e-05)"},
        {"point", describe(Point{1, 2.5}), "(1.0, 2.5)"},
        {"size", describe(Size{800, 600}), "(800.0, 600.0)"},
        {"quoted escapes", quoted("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\u{1}\""},
        {"optional int", describeOptional(std::optional<std::int64_t>(3)), "Optional(3)"},
        {"optional double", describeOptional(std::optional<double>(3)), "Optional(3.0)"},
        {"optional text", describeOptional(std::optional<std::string>("x")), "Optional(\"x\")"},
        {"nil int", describeOptional(std::optional<std::int64_t>()), "nil"},
        {"int list", describeList(std::vector<int>{1, 2}), "[1, 2]"},
        {"uint32 list", describeList(std::vector<std::uint32_t>{7, 8, 9}), "[7, 8, 9]"},
        {"text list", describeList(std::vector<std::string>{"A", "B"}), "[\"A\", \"B\"]"},
        {"empty list", describeList(std::vector<int>{}), "[]"},
    });
}
