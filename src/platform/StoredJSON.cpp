// Reading stored JSON within a nesting limit, and giving back what a large read took.
#include "platform/StoredJSON.h"

#include <algorithm>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KORVANE_ADDRESS_SANITIZER 1
#endif

#if defined(KORVANE_ADDRESS_SANITIZER)
extern "C" void __sanitizer_purge_allocator(); // NOLINT: the sanitizer's own interface
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace korvane {

namespace {

// The allocator keeps freed memory for later allocations: glibc in its arenas, the freed blocks of a
// parsed document scattered among blocks still in use, so that a large read would stay resident for the
// whole session. Other C libraries are left to their own ways.
void releaseFreedMemory() {
#if defined(KORVANE_ADDRESS_SANITIZER)
    // The address sanitizer replaces the allocator, and glibc's arenas then hold nothing.
    __sanitizer_purge_allocator();
#elif defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

// How deeply the text's arrays and objects lie inside one another, counting no further than one past the
// limit. Brackets inside strings are text; the string boundaries found here are the parser's wherever the
// text is JSON up to that point, and past the first fault the parser refuses the text anyway. One pass
// over the bytes: the parser's own callback, which could count the levels as well, walks every enclosing
// array each time a value in it ends, which grows with the square of a flat list's length.
std::size_t nestingDepth(std::string_view text) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (inString) {
            if (ch == '\\')
                ++i;
            else if (ch == '"')
                inString = false;
        } else if (ch == '"') {
            inString = true;
        } else if (ch == '[' || ch == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > kMaxStoredJSONNesting) break;
        } else if ((ch == ']' || ch == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

} // namespace

nlohmann::json parseStoredJSON(std::string_view text) {
    // Counted before the parse, so that the levels of a text too deep are never built at all.
    if (nestingDepth(text) > kMaxStoredJSONNesting)
        throw nlohmann::json::parse_error::create(101, 0,
                                                  "syntax error while parsing value - nested deeper than " +
                                                      std::to_string(kMaxStoredJSONNesting) + " levels",
                                                  nullptr);
    return nlohmann::json::parse(text);
}

namespace detail {

StoredJSONText::~StoredJSONText() {
    const bool large = text_.size() >= kLargeStoredJSONText;
    std::string().swap(text_);
    if (large) releaseFreedMemory();
}

} // namespace detail

} // namespace korvane
