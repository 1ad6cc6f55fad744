// The names of keys and modifiers as the user reads them.
#include "input/KeyNames.h"

#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace korvane::KeyNames {

namespace {

struct Label {
    std::string_view name;
    std::string_view label;
};

// Canonical modifier names in the order a combination lists them.
constexpr std::array kModifiers = {
    Label{"ctrl", "Ctrl"},
    Label{"alt", "Alt"},
    Label{"shift", "Shift"},
    Label{"cmd", "Super"},
};

// Every named key the hot keys accept, in the words the desktop's keyboard settings use. "delete" is the
// key above Return that deletes backwards, Backspace here.
constexpr std::array kKeys = {
    Label{"comma", ","},
    Label{"period", "."},
    Label{"left_bracket", "["},
    Label{"bracket_left", "["},
    Label{"right_bracket", "]"},
    Label{"bracket_right", "]"},
    Label{"slash", "/"},
    Label{"backslash", "\\"},
    Label{"minus", "-"},
    Label{"equal", "="},
    Label{"quote", "'"},
    Label{"semicolon", ";"},
    Label{"grave", "`"},
    Label{"space", "Space"},
    Label{"return", "Return"},
    Label{"enter", "Return"},
    Label{"tab", "Tab"},
    Label{"escape", "Esc"},
    Label{"esc", "Esc"},
    Label{"left", "Left"},
    Label{"right", "Right"},
    Label{"up", "Up"},
    Label{"down", "Down"},
    Label{"delete", "Backspace"},
    Label{"backspace", "Backspace"},
    Label{"digits", "1-9"},
    Label{"prior", "Page Up"},
    Label{"next", "Page Down"},
    Label{"kp_0", "Keypad 0"},
    Label{"kp_1", "Keypad 1"},
    Label{"kp_2", "Keypad 2"},
    Label{"kp_3", "Keypad 3"},
    Label{"kp_4", "Keypad 4"},
    Label{"kp_5", "Keypad 5"},
    Label{"kp_6", "Keypad 6"},
    Label{"kp_7", "Keypad 7"},
    Label{"kp_8", "Keypad 8"},
    Label{"kp_9", "Keypad 9"},
    Label{"kp_add", "Keypad +"},
    Label{"kp_subtract", "Keypad -"},
    Label{"kp_multiply", "Keypad *"},
    Label{"kp_divide", "Keypad /"},
    Label{"kp_decimal", "Keypad ."},
    Label{"kp_equal", "Keypad ="},
    Label{"kp_enter", "Keypad Enter"},
};

} // namespace

std::string canonicalModifier(const std::string& name) {
    const std::string lower = asciiLowercased(name);
    if (lower == "control") return "ctrl";
    if (lower == "option") return "alt";
    if (lower == "command") return "cmd";
    return lower;
}

std::string modifier(const std::string& name) {
    const std::string canonical = canonicalModifier(name);
    for (const auto& entry : kModifiers)
        if (entry.name == canonical) return std::string(entry.label);
    return "";
}

std::string key(const std::string& name) {
    const std::string lower = asciiLowercased(name);
    for (const auto& entry : kKeys)
        if (entry.name == lower) return std::string(entry.label);
    std::string shown = lower;
    if (!shown.empty()) shown.front() = asciiUppercased(shown.substr(0, 1)).front();
    return shown;
}

std::string combination(const std::vector<std::string>& modifiers, const std::string& keyName) {
    std::string text;
    for (const auto& entry : kModifiers) {
        const bool held = std::any_of(modifiers.begin(), modifiers.end(), [&](const std::string& m) {
            return canonicalModifier(m) == entry.name;
        });
        if (!held) continue;
        if (!text.empty()) text += '+';
        text += entry.label;
    }
    const std::string shownKey = key(keyName);
    if (shownKey.empty()) return text;
    return text.empty() ? shownKey : text + '+' + shownKey;
}

} // namespace korvane::KeyNames
