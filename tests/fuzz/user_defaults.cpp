// User defaults: the real desktop's file, any bytes in place of it, and the sim's store given the same
// values. A file that reads keeps every value it held through the next write, and a value set reads
// back the same from either store and from the file a new instance reads.
#include "FuzzSupport.h"

#include "platform/sim/SimUserDefaults.h"
#include "platform/x11/X11UserDefaults.h"

#include <fstream>

using namespace korvane;
using nlohmann::json;

namespace {

// Values as a new reader of the file sees them: text mended to UTF-8 (the file is written that way).
json asWritten(const json& value) {
    return json::parse(jsonText(value));
}

void checkTypedReads(platform::UserDefaults& defaults, const std::string& key, const json& value) {
    FUZZ_CHECK(defaults.boolValue(key).has_value() == value.is_boolean(), key);
    FUZZ_CHECK(defaults.numberValue(key).has_value() == value.is_number(), key);
    FUZZ_CHECK(defaults.stringValue(key).has_value() == value.is_string(), key);
    FUZZ_CHECK(defaults.stringList(key).has_value() == value.is_array(), key);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path folder = fuzz::scratchFolder("user_defaults");
    const std::filesystem::path file = folder / x11::X11UserDefaults::kFileName;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder);
    const std::string bytes = fuzz::text(data, size);
    std::ofstream(file, std::ios::binary) << bytes;

    const auto stored = fuzz::parseJSON(bytes);
    const bool readable = stored && stored->is_object();
    {
        x11::X11UserDefaults defaults(folder);
        if (readable)
            for (const auto& [key, value] : stored->items())
                FUZZ_CHECK(defaults.object(key) ==
                               (value.is_null() ? std::nullopt : std::optional<json>(value)),
                           key);
        defaults.set("fuzz.written", bytes);
    }
    x11::X11UserDefaults reread(folder);
    FUZZ_CHECK(reread.stringValue("fuzz.written") == validUTF8(bytes), "the value set is not read back");
    if (readable) {
        for (const auto& [key, value] : stored->items()) {
            if (key == "fuzz.written" || value.is_null()) continue;
            FUZZ_CHECK(reread.object(key) == asWritten(value), "lost through a write: " + key);
        }
        sim::SimUserDefaults memory;
        for (const auto& [key, value] : stored->items()) {
            memory.set(key, value);
            FUZZ_CHECK(memory.object(key) == (value.is_null() ? std::nullopt : std::optional<json>(value)),
                       key);
            if (!value.is_null()) checkTypedReads(memory, key, value);
        }
    }
    // Only the file and, when it could not be read, one copy of it beside it (an empty file holds
    // nothing to keep).
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++files;
    }
    FUZZ_CHECK(files == (readable || bytes.empty() ? 1u : 2u), std::to_string(files) + " files");
    return 0;
}
