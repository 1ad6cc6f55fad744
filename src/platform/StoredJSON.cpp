// Reading stored JSON within a nesting limit, and giving back what a large read took.
#include "platform/StoredJSON.h"

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

} // namespace

nlohmann::json parseStoredJSON(std::string_view text) {
    using Event = nlohmann::json::parse_event_t;
    // The parser reports each array and object as it opens, with the number of those around it, before
    // it reads what is inside; stopping there keeps the levels below from being built at all.
    return nlohmann::json::parse(text, [](int depth, Event event, const nlohmann::json&) {
        if ((event == Event::array_start || event == Event::object_start) &&
            static_cast<std::size_t>(depth) >= kMaxStoredJSONNesting)
            throw nlohmann::json::parse_error::create(
                101, 0,
                "syntax error while parsing value - nested deeper than " +
                    std::to_string(kMaxStoredJSONNesting) + " levels",
                nullptr);
        return true;
    });
}

namespace detail {

StoredJSONText::~StoredJSONText() {
    const bool large = text_.size() >= kLargeStoredJSONText;
    std::string().swap(text_);
    if (large) releaseFreedMemory();
}

} // namespace detail

} // namespace korvane
