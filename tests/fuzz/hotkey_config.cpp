// The hot-key table read as the program reads it at start-up: whatever the file holds, the table in use
// has every default action; a file that does not decode stays as it was; a file that decodes keeps its
// bindings first and in order; and what a load writes loads back as the same table without being written
// again.
#include "FuzzSupport.h"

#include "input/HotkeyConfig.h"
#include "platform/sim/SimDesktop.h"

#include <fstream>
#include <set>
#include <sstream>

using namespace korvane;

namespace {

// A whole second, so the stamp reads back exactly from the file's seconds.
constexpr Nanos kNow = 1'780'000'000LL * kNanosPerSecond;

sim::ScopedSimDesktop& desktop() {
    static sim::ScopedSimDesktop d;
    return d;
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::optional<HotkeyConfig> decode(const std::string& bytes) {
    const auto json = fuzz::parseJSON(bytes);
    if (!json) return std::nullopt;
    try {
        return HotkeyConfig::fromJSON(*json);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    desktop()->process().setEnvironment("KORVANE_HOME", fuzz::scratchFolder("hotkey_config").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);
    const std::filesystem::path file = HotkeyConfig::fileURL();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    const std::optional<HotkeyConfig> stored = decode(bytes);
    const HotkeyConfig table = HotkeyConfig::load(kNow);

    std::set<std::string> actions;
    for (const auto& b : table.bindings)
        actions.insert(b.action);
    for (const auto& b : HotkeyConfig::defaults(kNow).bindings)
        FUZZ_CHECK(actions.count(b.action), "the table in use lacks " + b.action);

    const std::string after = contents(file);
    if (!stored) {
        FUZZ_CHECK(after == bytes, "a file that does not decode was written over");
        FUZZ_CHECK(table == HotkeyConfig::defaults(kNow),
                   "a file that does not decode gave other than the defaults");
        return 0;
    }
    if (stored->version >= HotkeyConfig::kCurrentVersion) {
        FUZZ_CHECK(table.bindings.size() >= stored->bindings.size(), "bindings lost");
        for (std::size_t i = 0; i < stored->bindings.size(); ++i)
            FUZZ_CHECK(table.bindings[i] == stored->bindings[i], "binding " + std::to_string(i) + " changed");
        FUZZ_CHECK(table.disabled == stored->disabled, "the disabled list changed");
    }
    if (after == bytes && stored->version >= HotkeyConfig::kCurrentVersion)
        FUZZ_CHECK(table == *stored, "a table that was not written is not the one stored");
    if (after != bytes) {
        // Written by the load: it reads back as the table in use, and a second load writes nothing.
        const HotkeyConfig again = HotkeyConfig::load(kNow + kNanosPerSecond);
        FUZZ_CHECK(again == table, "what the load wrote reads back differently:\n" + after);
        FUZZ_CHECK(contents(file) == after, "a second load wrote the file again:\n" + after);
    }
    return 0;
}
