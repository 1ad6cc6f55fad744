// The older layout descriptors file: the store's round trip (see FuzzStore.h), every display's record
// kept.
#include "FuzzStore.h"

#include "layouts/LayoutDescriptor.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto set = fuzz::checkStoreRoundTrip<LayoutDescriptorSet>(
        fuzz::text(data, size), JSONEncoder{},
        [](const LayoutDescriptorSet& s) { return s.byDisplay.size(); });
    if (!set) return 0;
    const auto json = nlohmann::json::parse(fuzz::text(data, size));
    FUZZ_CHECK(set->byDisplay.size() == json.at("byDisplay").size(), json.dump());
    return 0;
}
