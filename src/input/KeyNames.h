// How the keys of the hot-key table are named to the user: as the desktop's own shortcut editors write
// them ("Ctrl+Alt+Q", "Alt+Shift+Tab"), whatever names and order the stored table uses. Only what is
// shown goes through here; the table keeps its own names ("ctrl", "alt", "shift", "cmd", "left", …).
#pragma once

#include <string>
#include <vector>

namespace korvane::KeyNames {

// "ctrl", "alt", "shift", "cmd" for a modifier name of the table and its aliases ("control", "option",
// "command"), in any case; any other name lower-cased.
std::string canonicalModifier(const std::string& name);

// "Ctrl", "Alt", "Shift", "Super" for a modifier name of the table in any of its spellings ("cmd" is the
// Super key, the one the hot keys hold for it); "" for a name outside the table's vocabulary.
std::string modifier(const std::string& name);

// A key name of the table as it shows: "Tab", "Left", "Backspace", "Space", "Esc", "Return", punctuation
// as its character, "1-9" for the digit range ("digits"), "Page Up" and "Page Down" ("prior", "next"),
// "Keypad 1", "Keypad +", "Keypad Enter" for the keypad's keys, a letter upper-cased; any other name with
// its first letter upper-cased ("f5" shows "F5", "insert" "Insert"). "" for "".
std::string key(const std::string& name);

// A combination: its modifiers in the order Ctrl, Alt, Shift, Super (each once, however often or in
// whatever order the table lists them; unknown names add nothing), then the key, joined by "+":
// "Ctrl+Alt+Q". Without modifiers the key alone; with an empty key the modifiers alone ("Ctrl+Alt").
std::string combination(const std::vector<std::string>& modifiers, const std::string& keyName);

} // namespace korvane::KeyNames
