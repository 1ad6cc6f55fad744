// Reading and writing the per-display layout selection.
#include "layouts/LayoutSelectionStore.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONEncoder.h"
#include "core/JSONFields.h"

#include <optional>

namespace korvane {

namespace fs = std::filesystem;

namespace {

std::optional<LayoutSelection> decode(const std::string& bytes) {
    try {
        return LayoutSelection::fromJSON(nlohmann::json::parse(bytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

nlohmann::ordered_json LayoutSelection::toJSON() const {
    nlohmann::ordered_json displays = nlohmann::ordered_json::object();
    for (const auto& [display, layout] : lastByDisplay)
        displays[display] = layout;
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["lastByDisplay"] = std::move(displays);
    return out;
}

LayoutSelection LayoutSelection::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "LayoutSelection");
    const nlohmann::json* displays = jsonfields::member(json, "lastByDisplay");
    if (!displays) throw DecodingError("No value associated with key \"lastByDisplay\"");
    jsonfields::requireObject(*displays, "lastByDisplay");
    LayoutSelection selection;
    for (const auto& [display, layout] : displays->items())
        selection.lastByDisplay[display] = jsonfields::asString(layout, display);
    return selection;
}

fs::path LayoutSelectionStore::fileURL() {
    return appSupportDirectory() / kFileName;
}

LayoutSelection LayoutSelectionStore::load() {
    try {
        auto bytes = readFileIfPresent(fileURL());
        if (!bytes || bytes->empty()) return {};
        return decode(*bytes).value_or(LayoutSelection{});
    } catch (const std::exception&) {
        return {};
    }
}

void LayoutSelectionStore::save(const LayoutSelection& selection) {
    try {
        const fs::path path = fileURL();
        const std::string bytes = JSONEncoder{}.encode(selection.toJSON());
        keepUnreadableFileBeforeWriting(
            path, [](const std::string& existing) { return decode(existing).has_value(); });
        writeFileAtomically(path, bytes);
    } catch (const std::exception&) {
        // Dropped: the in-memory selection keeps its change and the next save writes it whole.
    }
}

} // namespace korvane
