// The names of keys and combinations as the user reads them: the desktop's own words in its own order,
// whatever spelling and order the stored table uses.
#include "input/KeyNames.h"

#include "input/HotkeyConfig.h"
#include "input/HotkeyManager.h"
#include "input/KeyCodes.h"
#include "platform/HotKeys.h"
#include "support/TurkishLocale.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

TEST(KeyNames, aCombinationNamesItsModifiersInTheDesktopsOrderThenTheKey) {
    struct Case {
        std::vector<std::string> modifiers;
        std::string key;
        std::string text;
    };
    const Case cases[] = {
        {{"ctrl", "alt"}, "1", "Ctrl+Alt+1"},
        {{"alt", "shift"}, "tab", "Alt+Shift+Tab"},
        {{"shift", "alt"}, "Tab", "Alt+Shift+Tab"},          // stored order does not count
        {{"ctrl", "shift", "alt"}, "Q", "Ctrl+Alt+Shift+Q"}, // as the focus keys are stored
        {{"cmd", "ctrl"}, "left", "Ctrl+Super+Left"},
        {{"Control", "OPTION", "Command", "shift"}, "right", "Ctrl+Alt+Shift+Super+Right"},
        {{"ctrl", "control", "alt"}, "s", "Ctrl+Alt+S"}, // two spellings of one key name it once
        {{"hyper", "alt"}, "q", "Alt+Q"},                // a name outside the vocabulary adds nothing
        {{"alt", "ctrl"}, "digits", "Ctrl+Alt+1-9"},
        {{}, "digits", "1-9"},
        {{}, "q", "Q"},
        {{}, "f5", "F5"},
        {{"ctrl", "alt"}, "", "Ctrl+Alt"},
        {{}, "", ""},
        {{"ctrl"}, "delete", "Ctrl+Backspace"},
        {{"ctrl"}, "space", "Ctrl+Space"},
        {{"ctrl"}, "escape", "Ctrl+Esc"},
        {{"ctrl"}, "return", "Ctrl+Return"},
        {{"ctrl"}, "left_bracket", "Ctrl+["},
        {{"ctrl"}, "backslash", "Ctrl+\\"},
        {{"alt"}, "grave", "Alt+`"},
        {{"ctrl"}, "home", "Ctrl+Home"},
        {{"ctrl", "alt"}, "insert", "Ctrl+Alt+Insert"},
        {{"ctrl", "alt"}, "prior", "Ctrl+Alt+Page Up"},
        {{"ctrl", "alt"}, "kp_1", "Ctrl+Alt+Keypad 1"},
        {{"ctrl", "alt"}, "kp_add", "Ctrl+Alt+Keypad +"},
        {{}, "pause", "Pause"},
        {{}, "f24", "F24"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyNames::combination(c.modifiers, c.key), c.text) << c.text;
}

TEST(KeyNames, everyKeyAndModifierTheHotKeysAcceptShowsInWordsOrItsCharacterNeverASymbolOfAnotherDesktop) {
    for (const char* name : {"ctrl", "control", "alt", "option", "shift", "cmd", "command"})
        EXPECT_FALSE(KeyNames::modifier(name).empty()) << name;
    EXPECT_EQ(KeyNames::modifier("fn"), "");
    std::vector<std::string> keys = {
        "tab",       "left_bracket", "bracket_left", "right_bracket", "bracket_right", "comma",
        "period",    "semicolon",    "slash",        "backslash",     "minus",         "equal",
        "quote",     "grave",        "space",        "return",        "enter",         "delete",
        "backspace", "escape",       "esc",          "left",          "right",         "down",
        "up",        "insert",       "home",         "end",           "prior",         "next",
        "print",     "pause",        "menu",         "kp_add",        "kp_subtract",   "kp_multiply",
        "kp_divide", "kp_decimal",   "kp_equal",     "kp_enter"};
    for (char c = 'a'; c <= 'z'; ++c)
        keys.emplace_back(1, c);
    for (char c = '0'; c <= '9'; ++c)
        keys.push_back(std::string("kp_") + c);
    for (int f = 1; f <= 24; ++f)
        keys.push_back("f" + std::to_string(f));
    for (const auto& name : keys) {
        ASSERT_TRUE(HotkeyManager::keyCode(name)) << name << " is a key the hot keys hold";
        const std::string shown = KeyNames::key(name);
        EXPECT_FALSE(shown.empty()) << name;
        // Printable ASCII only: the arrows, ⇥, ⌫, ↩, ␣ and ⎋ are another desktop's way of writing keys.
        for (unsigned char c : shown)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << name << " shows " << shown;
    }
    // The default table's keys, row by row, as the Shortcuts page shows them.
    std::vector<std::string> shown;
    for (const auto& b : HotkeyConfig::defaults(0).bindings)
        shown.push_back(KeyNames::combination(b.modifiers, b.key));
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Alt+Tab", "Alt+Shift+Tab", "Ctrl+Alt+1-9", "Ctrl+Alt+Q",
                                        "Ctrl+Alt+W", "Ctrl+Alt+Z", "Ctrl+Alt+X", "Ctrl+Alt+Shift+Q",
                                        "Ctrl+Alt+Shift+W", "Ctrl+Alt+A", "Ctrl+Alt+C", "Ctrl+Alt+S", ""}));
}

// Under a Turkish locale a key stored as "I" or "Insert" is held all the same, its modifiers read, and a
// recorded i shows as I: names fold by ASCII rules, not by the locale's, where I has no small form of its
// own byte.
TEST(KeyNames, storedNamesResolveAndShowUnderATurkishLocale) {
    korvane::testing::ScopedTurkishLocale turkish;
    RecordProperty("CLibraryTurkish", turkish.cLibrary() ? "yes" : "no (tr_TR.UTF-8 not installed)");
    EXPECT_EQ(KeyCodes::code("I"), KeyCodes::code("i"));
    EXPECT_TRUE(KeyCodes::code("I"));
    EXPECT_EQ(KeyCodes::code("Insert"), KeyCodes::code("insert"));
    EXPECT_TRUE(KeyCodes::code("INSERT"));
    EXPECT_EQ(HotkeyManager::parseModifiers({"Ctrl", "OPTION", "SHIFT", "CMD"}),
              platform::kHotKeyControl | platform::kHotKeyOption | platform::kHotKeyShift |
                  platform::kHotKeyCommand);
    EXPECT_EQ(KeyNames::modifier("Ctrl"), "Ctrl");
    EXPECT_EQ(KeyNames::modifier("OPTION"), "Alt");
    EXPECT_EQ(KeyNames::combination({"Ctrl", "alt"}, "i"), "Ctrl+Alt+I");
    EXPECT_EQ(KeyNames::key("INSERT"), "Insert");
}

} // namespace
