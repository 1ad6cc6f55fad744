// Isolating a scene's name for the texts it is shown in.
#include "scenes/model/SceneNameInText.h"

namespace korvane {

namespace {

// The isolate marks in UTF-8: LRI U+2066, RLI U+2067, FSI U+2068, PDI U+2069 (E2 81 A6 … A9).
constexpr std::string_view kFirstStrongIsolate = "\xE2\x81\xA8";
constexpr std::string_view kPopIsolate = "\xE2\x81\xA9";

bool isIsolateStart(std::string_view rest) {
    if (rest.size() < 3 || rest.substr(0, 2) != "\xE2\x81") return false;
    const auto last = static_cast<unsigned char>(rest[2]);
    return last >= 0xA6 && last <= 0xA8;
}

bool isPopIsolate(std::string_view rest) {
    return rest.substr(0, 3) == kPopIsolate;
}

// A break the bidirectional algorithm ends a paragraph at, besides the ASCII controls: NEL U+0085, LINE
// SEPARATOR U+2028 and PARAGRAPH SEPARATOR U+2029. Answers its length in bytes, 0 for none.
std::size_t breakAt(std::string_view rest) {
    if (rest.substr(0, 2) == "\xC2\x85") return 2;
    if (rest.substr(0, 3) == "\xE2\x80\xA8" || rest.substr(0, 3) == "\xE2\x80\xA9") return 3;
    return 0;
}

} // namespace

std::string sceneNameInText(std::string_view name) {
    std::string text(kFirstStrongIsolate);
    int open = 0;
    for (std::size_t i = 0; i < name.size();) {
        const std::string_view rest = name.substr(i);
        const auto byte = static_cast<unsigned char>(rest[0]);
        if (byte < 0x20 || byte == 0x7F) {
            text += ' ';
            ++i;
        } else if (const std::size_t length = breakAt(rest)) {
            text += ' ';
            i += length;
        } else if (isIsolateStart(rest)) {
            ++open;
            text += rest.substr(0, 3);
            i += 3;
        } else if (isPopIsolate(rest)) {
            // Unopened, it would close the wrapping isolate and let the rest of the name out.
            if (open > 0) {
                --open;
                text += kPopIsolate;
            }
            i += 3;
        } else {
            text += rest[0];
            ++i;
        }
    }
    for (; open > 0; --open)
        text += kPopIsolate;
    text += kPopIsolate;
    return text;
}

} // namespace korvane
