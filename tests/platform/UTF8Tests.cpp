// Mending text that is not UTF-8 and reading Latin-1, as the real desktop's text and the stores' files
// need them.
#include "platform/UTF8.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(UTF8, illFormedSequencesBecomeOneReplacementEachAndValidTextStays) {
    const std::string r = "\xEF\xBF\xBD"; // U+FFFD
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", ""},
        {"org.example.App", "org.example.App"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"caf\xE9", "caf" + r}, // a Latin-1 byte
        {"a\xC3", "a" + r},     // cut short at the end
        {"\xE2\x82"
         "x",
         r + "x"},                           // cut short before another character: one replacement
        {"\xC0\xAF", r + r},                 // an overlong form: neither byte can begin a character
        {"\xED\xA0\x80", r + r + r},         // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // above U+10FFFF
        {"\xF0\x9F\x98", r},                 // one part of a four-byte character
        {"\x80\xBF", r + r},                 // lone continuation bytes
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(validUTF8(in), out) << testing::PrintToString(in);
        EXPECT_EQ(isValidUTF8(in), in == out) << testing::PrintToString(in);
        EXPECT_TRUE(isValidUTF8(validUTF8(in)));
        // The JSON writer takes the mended text.
        EXPECT_NO_THROW((void)nlohmann::json(validUTF8(in)).dump());
    }
}

TEST(UTF8, latin1BytesAreTheirOwnCodePoints) {
    EXPECT_EQ(utf8FromLatin1("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(utf8FromLatin1("\xFF\x80 x"), "\xC3\xBF\xC2\x80 x");
    EXPECT_EQ(utf8FromLatin1("plain"), "plain");
}

TEST(UTF8, jsonTextWritesWhatTheWriterWouldRefuse) {
    const nlohmann::json value = {{"ok", "x"}, {"bad", "caf\xE9"}};
    EXPECT_THROW((void)value.dump(), nlohmann::json::type_error);
    EXPECT_EQ(jsonText(value), "{\"bad\":\"caf\xEF\xBF\xBD\",\"ok\":\"x\"}");
}

} // namespace
} // namespace korvane
