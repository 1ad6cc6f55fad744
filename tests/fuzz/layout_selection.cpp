// The layout selection file: the store's round trip (see FuzzStore.h), one entry per display kept.
#include "FuzzStore.h"

#include "layouts/LayoutSelectionStore.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto selection = fuzz::checkStoreRoundTrip<LayoutSelection>(
        fuzz::text(data, size), JSONEncoder{},
        [](const LayoutSelection& s) { return s.lastByDisplay.size(); });
    if (!selection) return 0;
    // Every display of the file is there: its members are the map.
    const auto json = nlohmann::json::parse(fuzz::text(data, size));
    FUZZ_CHECK(selection->lastByDisplay.size() == json.at("lastByDisplay").size(), json.dump());
    return 0;
}
