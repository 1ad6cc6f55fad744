// The layout templates file: the store's round trip (see FuzzStore.h) in its pretty ISO 8601 form.
#include "FuzzStore.h"

#include "layouts/LayoutTemplateSet.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::checkStoreRoundTrip<LayoutTemplateSet>(
        fuzz::text(data, size), JSONEncoder::prettyISO8601(),
        [](const LayoutTemplateSet& s) { return s.templates.size(); });
    return 0;
}
