// The display workbenches: the store's round trip (see FuzzStore.h), and canonical display keys that
// settle in one pass: a canonical key is its own canonical key, so a second migration moves nothing.
#include "FuzzStore.h"

#include "app/DisplayWorkbenchSet.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);
    const std::string once = canonicalDisplayKey(bytes);
    FUZZ_CHECK(canonicalDisplayKey(once) == once, "[" + bytes + "] -> [" + once + "]");

    auto set = fuzz::checkStoreRoundTrip<DisplayWorkbenchSet>(
        bytes, DisplayWorkbenchSet::makeEncoder(),
        [](const DisplayWorkbenchSet& s) { return s.workbenches.size(); });
    if (!set) return 0;
    set->canonicalizeDisplayKeys();
    const auto moves = set->canonicalizeDisplayKeys();
    FUZZ_CHECK(moves.empty(),
               "a second migration moved " + moves.front().first + " to " + moves.front().second);
    return 0;
}
