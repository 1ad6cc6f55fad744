// The older per-display layout records of "layout-descriptors.json": which kind of layout, and which
// one, each display used. Nothing creates them any more; the template migration and the display
// identity migration still read them.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

struct LayoutDescriptor {
    enum class Kind { builtinGrid2x2, builtinAsym2x1, builtin, userConfig };

    std::string displayUUID;
    Kind kind = Kind::builtin;
    std::string layoutID;

    friend bool operator==(const LayoutDescriptor&, const LayoutDescriptor&) = default;

    // {"displayUUID", "kind", "layoutID"}, all required when reading (throws DecodingError, also for a
    // kind that is none of the four).
    nlohmann::ordered_json toJSON() const;
    static LayoutDescriptor fromJSON(const nlohmann::json& json);
};

std::string_view toString(LayoutDescriptor::Kind kind);
// Exact, case-sensitive; nothing for any other text.
std::optional<LayoutDescriptor::Kind> layoutDescriptorKindFrom(std::string_view text);

struct LayoutDescriptorSet {
    std::map<std::string, LayoutDescriptor> byDisplay; // display UUID -> its descriptor

    friend bool operator==(const LayoutDescriptorSet&, const LayoutDescriptorSet&) = default;

    // The stored set; an empty set when the file cannot be read, is empty or does not decode (one bad
    // descriptor empties the whole set). Logs nothing.
    static LayoutDescriptorSet load();
    // Writes the set compactly and atomically; a failure is logged, naming the file and why, once per
    // cause. A file in place that cannot be read is kept beside it first (and nothing is written when
    // that fails).
    void save() const;

    nlohmann::ordered_json toJSON() const;
    static LayoutDescriptorSet fromJSON(const nlohmann::json& json);

    static constexpr const char* kFileName = "layout-descriptors.json";
};

} // namespace korvane

template <> struct std::hash<korvane::LayoutDescriptor::Kind> {
    std::size_t operator()(korvane::LayoutDescriptor::Kind kind) const noexcept {
        return std::hash<int>{}(static_cast<int>(kind));
    }
};
