// JSON form of scene window hints.
#include "scenes/model/WindowHint.h"

#include "core/JSONFields.h"

namespace korvane {

nlohmann::ordered_json WindowHint::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["bundleID"] = bundleID;
    j["zoneID"] = zoneID;
    if (normalizedFrame) j["normalizedFrame"] = normalizedFrame->toJSON();
    return j;
}

WindowHint WindowHint::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "windowHint");
    WindowHint hint;
    hint.bundleID = jsonfields::requireString(json, "bundleID");
    hint.zoneID = jsonfields::requireInteger(json, "zoneID");
    if (const auto* frame = jsonfields::member(json, "normalizedFrame"))
        hint.normalizedFrame = NormalizedFrame::fromJSON(*frame);
    return hint;
}

} // namespace korvane
