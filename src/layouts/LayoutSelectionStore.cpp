// Reading and writing the per-display layout selection.
#include "layouts/LayoutSelectionStore.h"

#include "core/AppSupport.h"
#include "core/JSONFields.h"
#include "core/JSONFileStore.h"

namespace korvane {

namespace fs = std::filesystem;

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
    return JSONFileStore<LayoutSelection>::loadFromAppSupport(kFileName);
}

void LayoutSelectionStore::save(const LayoutSelection& selection) {
    // A failure is logged once per cause: the in-memory selection keeps its change and the next save
    // writes it whole.
    JSONFileStore<LayoutSelection>::saveToAppSupport(kFileName, selection, JSONEncoder{});
}

} // namespace korvane
