// Reading stored JSON: nesting past the limit refused as text that is not JSON is, and the memory that
// decoding a large file took given back once it is decoded.
#include "platform/StoredJSON.h"

#include "FlatJSONList.h"

#include <gtest/gtest.h>

#include <fstream>

namespace korvane {
namespace {

// `levels` arrays, or objects under the key "a", one inside the other around `inside`.
std::string nested(std::size_t levels, bool objects, const std::string& inside = "1") {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i)
        text += objects ? "{\"a\":" : "[";
    text += inside;
    for (std::size_t i = 0; i < levels; ++i)
        text += objects ? "}" : "]";
    return text;
}

long residentKB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

TEST(StoredJSON, nestingPastTheLimitIsRefusedAsTextThatIsNotJSON) {
    const std::size_t limit = kMaxStoredJSONNesting;
    const struct {
        std::string text;
        bool read;
    } rows[] = {
        {nested(limit, false), true},
        {nested(limit, true), true},
        {nested(limit + 1, false), false},
        {nested(limit + 1, true), false},
        {nested(limit / 2, true, nested(limit / 2 + 1, false)), false},
        {std::string(16 * 1024 * 1024, '['), false},
        // Flat: millions of small objects in one list, read in about the time a plain parse takes.
        {test::flatJSONList(16 * 1024 * 1024), true},
        // Brackets in strings are text, however many.
        {"[\"" + std::string(limit + 1, '[') + "\\\"{\"]", true},
    };
    for (const auto& row : rows) {
        const std::string start = row.text.substr(0, 40);
        if (row.read) {
            EXPECT_NO_THROW((void)parseStoredJSON(row.text)) << start;
            continue;
        }
        try {
            (void)parseStoredJSON(row.text);
            ADD_FAILURE() << "read: " << start;
        } catch (const nlohmann::json::parse_error& e) {
            EXPECT_STREQ(e.what(), "[json.exception.parse_error.101] parse error: syntax error while parsing "
                                   "value - nested deeper than 1024 levels")
                << start;
        }
    }
}

// A document of half a million small arrays, as a damaged or hostile file may hold: the allocator would
// keep the memory of their blocks once they are freed, some 60 MB.
TEST(StoredJSON, whatDecodingALargeFileTookIsGivenBackOnceItIsDecoded) {
    constexpr std::size_t kArrays = 500'000;
    std::string text = "[";
    for (std::size_t i = 1; i < kArrays; ++i)
        text += "[],";
    text += "[]]";
    const long before = residentKB();
    const std::size_t read =
        decodeStoredJSON(std::move(text), [](const nlohmann::json& document) { return document.size(); });
    EXPECT_EQ(read, kArrays);
    EXPECT_LT(residentKB(), before + 8 * 1024) << "kB resident, " << before << " kB before";
}

} // namespace
} // namespace korvane
