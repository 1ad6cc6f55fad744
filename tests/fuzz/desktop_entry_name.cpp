// The name of an application's desktop entry: whatever the file holds, the name is nothing or one line of
// valid, trimmed text without control characters, and written back as the only entry's name it reads the
// same again.
#include "FuzzSupport.h"

#include "platform/TextTrim.h"
#include "ui/scene_editor/ApplicationNames.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<std::string> name = desktopEntryName(fuzz::text(data, size));
    if (!name) return 0;
    FUZZ_CHECK(!name->empty(), "an empty name");
    FUZZ_CHECK(isValidUTF8(*name), *name);
    FUZZ_CHECK(trimmingWhitespaceAndNewlines(*name) == *name, *name);
    for (char c : *name)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, *name);

    std::string escaped;
    for (char c : *name) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    FUZZ_CHECK(desktopEntryName("[Desktop Entry]\nName=" + escaped + "\n") == name, *name);
    return 0;
}
