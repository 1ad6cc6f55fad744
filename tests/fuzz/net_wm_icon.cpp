// A window's _NET_WM_ICON as another client may set it: the picture picked is whole, no larger than 1024
// on a side, and exactly a run of the value's own pixels after its width and height.
#include "FuzzSupport.h"

#include "platform/x11/NetWMIcon.h"

#include <algorithm>
#include <cstring>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> words(size / 4);
    if (!words.empty()) std::memcpy(words.data(), data, words.size() * 4);
    const auto icon = x11::pickNetWMIcon(words, 128);
    if (!icon) return 0;
    FUZZ_CHECK(icon->width > 0 && icon->height > 0 && icon->width <= 1024 && icon->height <= 1024, "size");
    FUZZ_CHECK(icon->argb.size() ==
                   static_cast<std::size_t>(icon->width) * static_cast<std::size_t>(icon->height),
               "pixel count");
    FUZZ_CHECK(icon->path.empty(), "a path from pixels");
    // The pixels follow their own width and height somewhere in the value.
    bool found = false;
    for (std::size_t at = 0; !found && at + 2 + icon->argb.size() <= words.size(); ++at)
        found = words[at] == static_cast<std::uint32_t>(icon->width) &&
                words[at + 1] == static_cast<std::uint32_t>(icon->height) &&
                std::equal(icon->argb.begin(), icon->argb.end(),
                           words.begin() + static_cast<std::ptrdiff_t>(at + 2));
    FUZZ_CHECK(found, "pixels not from the value");
    return 0;
}
