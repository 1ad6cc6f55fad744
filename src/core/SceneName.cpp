// Normalising layout references; white space is trimmed in the Unicode sense since references come
// from user-edited names.
#include "core/SceneName.h"

#include "platform/TextTrim.h"

#include <string_view>

namespace korvane {

std::optional<std::string> sceneNameForDisplay(const std::optional<std::string>& name) {
    if (!name) return std::nullopt;
    std::string_view t = trimmedView(*name);
    if (t.empty() || t.starts_with("scene-restore-") || t.starts_with("scene-apply-")) return std::nullopt;
    return std::string(t);
}

} // namespace korvane
