// One table of key names and codes, with the other spellings older tables may hold.
#include "input/KeyCodes.h"

#include "platform/TextCase.h"

#include <array>
#include <string_view>

namespace korvane::KeyCodes {

namespace {

struct NamedKey {
    std::string_view name;
    std::uint16_t code;
};

// The name each code is recorded under, with the platform's virtual key codes (see platform/HotKeys.h for
// the codes above 127).
constexpr std::array kKeys = {
    NamedKey{"a", 0},
    NamedKey{"s", 1},
    NamedKey{"d", 2},
    NamedKey{"f", 3},
    NamedKey{"h", 4},
    NamedKey{"g", 5},
    NamedKey{"z", 6},
    NamedKey{"x", 7},
    NamedKey{"c", 8},
    NamedKey{"v", 9},
    NamedKey{"b", 11},
    NamedKey{"q", 12},
    NamedKey{"w", 13},
    NamedKey{"e", 14},
    NamedKey{"r", 15},
    NamedKey{"y", 16},
    NamedKey{"t", 17},
    NamedKey{"1", 18},
    NamedKey{"2", 19},
    NamedKey{"3", 20},
    NamedKey{"4", 21},
    NamedKey{"6", 22},
    NamedKey{"5", 23},
    NamedKey{"equal", 24},
    NamedKey{"9", 25},
    NamedKey{"7", 26},
    NamedKey{"minus", 27},
    NamedKey{"8", 28},
    NamedKey{"0", 29},
    NamedKey{"right_bracket", 30},
    NamedKey{"o", 31},
    NamedKey{"u", 32},
    NamedKey{"left_bracket", 33},
    NamedKey{"i", 34},
    NamedKey{"p", 35},
    NamedKey{"return", 36},
    NamedKey{"l", 37},
    NamedKey{"j", 38},
    NamedKey{"quote", 39},
    NamedKey{"k", 40},
    NamedKey{"semicolon", 41},
    NamedKey{"backslash", 42},
    NamedKey{"comma", 43},
    NamedKey{"slash", 44},
    NamedKey{"n", 45},
    NamedKey{"m", 46},
    NamedKey{"period", 47},
    NamedKey{"tab", 48},
    NamedKey{"space", 49},
    NamedKey{"grave", 50},
    NamedKey{"delete", 51},
    NamedKey{"escape", 53},
    NamedKey{"f17", 64},
    NamedKey{"kp_decimal", 65},
    NamedKey{"kp_multiply", 67},
    NamedKey{"kp_add", 69},
    NamedKey{"kp_divide", 75},
    NamedKey{"kp_enter", 76},
    NamedKey{"kp_subtract", 78},
    NamedKey{"f18", 79},
    NamedKey{"f19", 80},
    NamedKey{"kp_equal", 81},
    NamedKey{"kp_0", 82},
    NamedKey{"kp_1", 83},
    NamedKey{"kp_2", 84},
    NamedKey{"kp_3", 85},
    NamedKey{"kp_4", 86},
    NamedKey{"kp_5", 87},
    NamedKey{"kp_6", 88},
    NamedKey{"kp_7", 89},
    NamedKey{"f20", 90},
    NamedKey{"kp_8", 91},
    NamedKey{"kp_9", 92},
    NamedKey{"f5", 96},
    NamedKey{"f6", 97},
    NamedKey{"f7", 98},
    NamedKey{"f3", 99},
    NamedKey{"f8", 100},
    NamedKey{"f9", 101},
    NamedKey{"f11", 103},
    NamedKey{"f13", 105},
    NamedKey{"f16", 106},
    NamedKey{"f14", 107},
    NamedKey{"f10", 109},
    NamedKey{"menu", 110},
    NamedKey{"f12", 111},
    NamedKey{"f15", 113},
    NamedKey{"insert", 114},
    NamedKey{"home", 115},
    NamedKey{"prior", 116},
    NamedKey{"f4", 118},
    NamedKey{"end", 119},
    NamedKey{"f2", 120},
    NamedKey{"next", 121},
    NamedKey{"f1", 122},
    NamedKey{"left", 123},
    NamedKey{"right", 124},
    NamedKey{"down", 125},
    NamedKey{"up", 126},
    NamedKey{"f21", 128},
    NamedKey{"f22", 129},
    NamedKey{"f23", 130},
    NamedKey{"f24", 131},
    NamedKey{"print", 132},
    NamedKey{"pause", 133},
};

// Other spellings a table may hold, read as the same keys and never recorded.
constexpr std::array kAliases = {
    NamedKey{"[", 33},         NamedKey{"bracket_left", 33},
    NamedKey{"]", 30},         NamedKey{"bracket_right", 30},
    NamedKey{",", 43},         NamedKey{".", 47},
    NamedKey{";", 41},         NamedKey{"/", 44},
    NamedKey{"\\", 42},        NamedKey{"-", 27},
    NamedKey{"=", 24},         NamedKey{"'", 39},
    NamedKey{"`", 50},         NamedKey{"enter", 36},
    NamedKey{"backspace", 51}, NamedKey{"esc", 53},
};

} // namespace

std::optional<std::uint16_t> code(const std::string& raw) {
    const std::string lower = asciiLowercased(raw);
    for (const auto& key : kKeys)
        if (key.name == lower) return key.code;
    for (const auto& key : kAliases)
        if (key.name == lower) return key.code;
    return std::nullopt;
}

std::string name(std::uint16_t keyCode) {
    for (const auto& key : kKeys)
        if (key.code == keyCode) return std::string(key.name);
    return "";
}

} // namespace korvane::KeyCodes
