// A user layout file in the Layouts folder, read the way the store reads the folder: every layout that
// reads back writes in the store's form and reads again as the same layout, and rewriting the folder's
// display UUIDs with nothing to change writes nothing.
#include "FuzzSupport.h"

#include "layouts/ZoneSetStore.h"
#include "platform/sim/SimDesktop.h"

#include <fstream>

using namespace korvane;

namespace {

sim::ScopedSimDesktop& desktop() {
    static sim::ScopedSimDesktop d;
    return d;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    desktop()->process().setEnvironment("KORVANE_HOME", fuzz::scratchFolder("user_layout_file").string());
    std::filesystem::create_directories(ZoneSetStore::layoutsDirectoryURL());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = ZoneSetStore::layoutsDirectoryURL() / "layout.fuzz.json";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << fuzz::text(data, size);
    const std::vector<ConfigZoneSet> sets = ZoneSetStore::loadAll();
    for (const auto& set : sets) {
        const std::string bytes = jsonText(set.toJSON());
        const ConfigZoneSet back = ConfigZoneSet::fromJSON(nlohmann::json::parse(bytes));
        FUZZ_CHECK(back == set, bytes);
        FUZZ_CHECK(jsonText(back.toJSON()) == bytes, bytes);
    }
    if (!sets.empty()) {
        bool wrote = true;
        try {
            const auto rewrite = ZoneSetStore::rewriteAll([](const std::string& uuid) { return uuid; });
            wrote = rewrite.wroteAny;
            FUZZ_CHECK(rewrite.skipped.empty(), "a file the folder read was skipped by the rewrite");
        } catch (const std::exception& e) {
            FUZZ_CHECK(false, std::string("a file the folder read cannot be rewritten: ") + e.what());
        }
        FUZZ_CHECK(!wrote, "rewriting with nothing to change wrote the file");
    }
    return 0;
}
