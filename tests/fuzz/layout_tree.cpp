// The layout tree as every store holds it: any tree that reads back writes and reads again as the same
// tree, and writing it never refuses what reading accepted.
#include "FuzzSupport.h"

#include "layouts/LayoutNode.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = fuzz::parseJSON(fuzz::text(data, size));
    if (!json) return 0;
    LayoutNode tree;
    try {
        tree = json->get<LayoutNode>();
    } catch (const std::exception&) {
        return 0;
    }
    FUZZ_CHECK(tree.depth() <= LayoutNode::kMaxDecodeDepth, std::to_string(tree.depth()));
    nlohmann::json written;
    try {
        written = tree;
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, std::string("a tree that was read cannot be written: ") + e.what());
    }
    const std::string bytes = jsonText(written);
    const LayoutNode back = nlohmann::json::parse(bytes).get<LayoutNode>();
    FUZZ_CHECK(back == tree, bytes);
    FUZZ_CHECK(back.regionIDs() == tree.regionIDs(), bytes);
    return 0;
}
