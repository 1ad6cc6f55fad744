// Case changes of keys, ids and names: ASCII letters change, everything else stays byte for byte, in every
// locale.
#include "platform/TextCase.h"

#include "support/TurkishLocale.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(TextCase, onlyAsciiLettersChangeCaseAndOtherBytesStay) {
    EXPECT_EQ(asciiLowercased("Ctrl+Option+Z"), "ctrl+option+z");
    EXPECT_EQ(asciiUppercased("6f1a2b3c-9d0e"), "6F1A2B3C-9D0E");
    // A name typed with accents keeps them as they are, so it still reads as UTF-8.
    EXPECT_EQ(asciiLowercased("Caf\xC3\x89 \xC3\x9C"), "caf\xC3\x89 \xC3\x9C");
    EXPECT_EQ(asciiUppercased("gro\xC3\x9F \xC3\xA9t\xC3\xA9"), "GRO\xC3\x9F \xC3\xA9T\xC3\xA9");
    EXPECT_EQ(asciiLowercased(std::string("A\0B", 3)), std::string("a\0b", 3));
    EXPECT_EQ(asciiUppercased(""), "");
}

// Under a Turkish locale the C and C++ libraries keep "I" and "i" as they are; the keys and ids still
// fold as everywhere else.
TEST(TextCase, theLettersIAndIFoldAsAsciiUnderATurkishLocale) {
    testing::ScopedTurkishLocale turkish;
    RecordProperty("CLibraryTurkish", turkish.cLibrary() ? "yes" : "no (tr_TR.UTF-8 not installed)");
    EXPECT_EQ(asciiLowercased("INSERT Insert"), "insert insert");
    EXPECT_EQ(asciiUppercased("insert i"), "INSERT I");
    EXPECT_EQ(asciiLower('I'), 'i');
    EXPECT_EQ(asciiUpper('i'), 'I');
    // The dotted capital and the dotless small I, as UTF-8, pass through whole.
    EXPECT_EQ(asciiLowercased("\xC4\xB0"), "\xC4\xB0");
    EXPECT_EQ(asciiUppercased("\xC4\xB1"), "\xC4\xB1");
}

} // namespace
} // namespace korvane
