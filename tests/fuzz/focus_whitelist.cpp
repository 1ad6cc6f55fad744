// The focus whitelist file: a list that reads back writes and reads again as the same list, and any
// bytes added as an identifier (a window class can be any bytes) still leave the list writable and
// readable, one identifier more.
#include "FuzzSupport.h"

#include "core/FocusWhitelistStore.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);
    FocusWhitelist list;
    try {
        list = decodeFocusWhitelist(bytes);
    } catch (const std::exception&) {
    }
    const std::string written = encodeFocusWhitelist(list);
    const FocusWhitelist back = decodeFocusWhitelist(written);
    FUZZ_CHECK(back.bundleIds == list.bundleIds, written);
    FUZZ_CHECK(encodeFocusWhitelist(back) == written, written);

    list.bundleIds.push_back(bytes);
    std::string grown;
    try {
        grown = encodeFocusWhitelist(list);
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, std::string("the list cannot be written: ") + e.what());
    }
    const FocusWhitelist reread = decodeFocusWhitelist(grown);
    FUZZ_CHECK(reread.bundleIds.size() == list.bundleIds.size(), grown);
    FUZZ_CHECK(reread.bundleIds.back() == validUTF8(bytes), grown);
    return 0;
}
