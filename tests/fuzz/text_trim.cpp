// Trimming and mending text: trimming takes a run from inside the text and only blanks off its ends,
// and trimming twice trims nothing more; mended text is valid UTF-8, valid text is left as it is, and
// mending twice changes nothing more.
#include "FuzzSupport.h"

#include "platform/TextTrim.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzz::text(data, size);
    const std::string_view whole = input;
    const std::string_view trimmed = trimmedView(whole);
    FUZZ_CHECK(trimmed.empty() || (trimmed.data() >= whole.data() &&
                                   trimmed.data() + trimmed.size() <= whole.data() + whole.size()),
               "not a part of the text");
    FUZZ_CHECK(trimmedView(trimmed) == trimmed, std::string(trimmed));
    FUZZ_CHECK(trimmingWhitespaceAndNewlines(whole) == trimmed, std::string(trimmed));
    if (!trimmed.empty()) {
        static constexpr std::string_view kASCIIBlanks = " \t\n\r\v\f";
        FUZZ_CHECK(kASCIIBlanks.find(trimmed.front()) == std::string_view::npos, std::string(trimmed));
        FUZZ_CHECK(kASCIIBlanks.find(trimmed.back()) == std::string_view::npos, std::string(trimmed));
    }
    // Only blanks go: what was cut off on either side trims away to nothing.
    if (!trimmed.empty()) {
        const std::size_t start = static_cast<std::size_t>(trimmed.data() - whole.data());
        FUZZ_CHECK(trimmedView(whole.substr(0, start)).empty(), "cut more than blanks in front");
        FUZZ_CHECK(trimmedView(whole.substr(start + trimmed.size())).empty(), "cut more than blanks behind");
    }

    const std::string mended = validUTF8(input);
    FUZZ_CHECK(isValidUTF8(mended), mended);
    FUZZ_CHECK(validUTF8(mended) == mended, mended);
    FUZZ_CHECK((mended == input) == isValidUTF8(input), mended);
    FUZZ_CHECK(isValidUTF8(utf8FromLatin1(input)), input);
    // The JSON writer agrees about what is valid.
    bool writable = true;
    try {
        (void)nlohmann::json(input).dump();
    } catch (const nlohmann::json::type_error&) {
        writable = false;
    }
    FUZZ_CHECK(writable == isValidUTF8(input), input);
    return 0;
}
