// One table read both ways. Letters and digits keep their ANSI positions whatever the keyboard's language
// prints on them: a key is found by what it types in the layout the server has now. The keypad's keys are
// found by the digits and signs they type with num lock on.
#include "platform/x11/X11KeyCodes.h"

#include <X11/keysym.h>

#include <array>
#include <utility>

namespace korvane::x11 {

namespace {

constexpr std::array<std::pair<std::uint16_t, std::uint32_t>, 105> kKeys = {{
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
    {114, XK_Insert},
    {115, XK_Home},
    {116, XK_Prior},
    {119, XK_End},
    {121, XK_Next},
    {110, XK_Menu},
    {132, XK_Print},
    {133, XK_Pause},
    {105, XK_F13},
    {107, XK_F14},
    {113, XK_F15},
    {106, XK_F16},
    {64, XK_F17},
    {79, XK_F18},
    {80, XK_F19},
    {90, XK_F20},
    {128, XK_F21},
    {129, XK_F22},
    {130, XK_F23},
    {131, XK_F24},
    {82, XK_KP_0},
    {83, XK_KP_1},
    {84, XK_KP_2},
    {85, XK_KP_3},
    {86, XK_KP_4},
    {87, XK_KP_5},
    {88, XK_KP_6},
    {89, XK_KP_7},
    {91, XK_KP_8},
    {92, XK_KP_9},
    {65, XK_KP_Decimal},
    {67, XK_KP_Multiply},
    {69, XK_KP_Add},
    {75, XK_KP_Divide},
    {76, XK_KP_Enter},
    {78, XK_KP_Subtract},
    {81, XK_KP_Equal},
}};

// What the keypad's keys type first, with num lock off: read back as the keys they are, never grabbed by
// (a grab follows the digit, which the same key types with num lock on).
constexpr std::array<std::pair<std::uint16_t, std::uint32_t>, 11> kKeypadWithoutNumLock = {{
    {82, XK_KP_Insert},
    {83, XK_KP_End},
    {84, XK_KP_Down},
    {85, XK_KP_Next},
    {86, XK_KP_Left},
    {87, XK_KP_Begin},
    {88, XK_KP_Right},
    {89, XK_KP_Home},
    {91, XK_KP_Up},
    {92, XK_KP_Prior},
    {65, XK_KP_Delete},
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
    for (const auto& [code, sym] : kKeypadWithoutNumLock)
        if (sym == keysym) return code;
    return std::nullopt;
}

} // namespace korvane::x11
