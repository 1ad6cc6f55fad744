// One table read both ways. Letters and digits keep their ANSI positions whatever the keyboard's language
// prints on them: a key is found by what it types in the layout the server has now.
#include "platform/x11/X11KeyCodes.h"

#include <X11/keysym.h>

#include <array>
#include <utility>

namespace korvane::x11 {

namespace {

constexpr std::array<std::pair<std::uint16_t, std::uint32_t>, 68> kKeys = {{
    {0, XK_a},
    {11, XK_b},
    {8, XK_c},
    {2, XK_d},
    {14, XK_e},
    {3, XK_f},
    {5, XK_g},
    {4, XK_h},
    {34, XK_i},
    {38, XK_j},
    {40, XK_k},
    {37, XK_l},
    {46, XK_m},
    {45, XK_n},
    {31, XK_o},
    {35, XK_p},
    {12, XK_q},
    {15, XK_r},
    {1, XK_s},
    {17, XK_t},
    {32, XK_u},
    {9, XK_v},
    {13, XK_w},
    {7, XK_x},
    {16, XK_y},
    {6, XK_z},
    {29, XK_0},
    {18, XK_1},
    {19, XK_2},
    {20, XK_3},
    {21, XK_4},
    {23, XK_5},
    {22, XK_6},
    {26, XK_7},
    {28, XK_8},
    {25, XK_9},
    {122, XK_F1},
    {120, XK_F2},
    {99, XK_F3},
    {118, XK_F4},
    {96, XK_F5},
    {97, XK_F6},
    {98, XK_F7},
    {100, XK_F8},
    {101, XK_F9},
    {109, XK_F10},
    {103, XK_F11},
    {111, XK_F12},
    {48, XK_Tab},
    {33, XK_bracketleft},
    {30, XK_bracketright},
    {43, XK_comma},
    {47, XK_period},
    {41, XK_semicolon},
    {44, XK_slash},
    {42, XK_backslash},
    {27, XK_minus},
    {24, XK_equal},
    {39, XK_apostrophe},
    {50, XK_grave},
    {49, XK_space},
    {36, XK_Return},
    {51, XK_BackSpace},
    {53, XK_Escape},
    {123, XK_Left},
    {124, XK_Right},
    {125, XK_Down},
    {126, XK_Up},
}};

} // namespace

std::optional<std::uint32_t> keysymForVirtualKey(std::uint32_t keyCode) {
    for (const auto& [code, keysym] : kKeys)
        if (code == keyCode) return keysym;
    return std::nullopt;
}

std::optional<std::uint16_t> virtualKeyForKeysym(std::uint32_t keysym) {
    for (const auto& [code, sym] : kKeys)
        if (sym == keysym) return code;
    return std::nullopt;
}

} // namespace korvane::x11
