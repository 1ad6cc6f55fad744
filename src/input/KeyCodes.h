// The key names of the hot-key table and the virtual key codes they stand for, read both ways: the one
// vocabulary that a stored table, the registration of its keys and the recording of a shortcut share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane::KeyCodes {

// The virtual key code of a key name, in any case: letters, digits, "f1" to "f24", punctuation by symbol
// or name, "space", "tab", "return"/"enter", "delete"/"backspace" (the key that deletes backwards),
// "escape"/"esc", the arrows, and the keys named as the X keyboard names them: "insert", "home", "end",
// "prior", "next", "print", "pause", "menu" and the keypad's "kp_0" to "kp_9", "kp_add", "kp_subtract",
// "kp_multiply", "kp_divide", "kp_decimal", "kp_equal", "kp_enter". Nothing for any other name, "digits"
// and the empty name included.
std::optional<std::uint16_t> code(const std::string& name);

// The name a recording stores for a key code, one of those code() reads back to it: lower case, "left"
// rather than "Left", "left_bracket" rather than "[", "delete" for Backspace. "" for a code that no name
// stands for (the forward Delete key among them: "delete" has stood for Backspace in every stored table).
std::string name(std::uint16_t keyCode);

} // namespace korvane::KeyCodes
