// JSON form of the active-scene record.
#include "scenes/model/ActiveSceneState.h"

#include "core/ISODate.h"
#include "core/JSONFields.h"

namespace korvane {

nlohmann::ordered_json ActiveSceneState::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (activeSceneID) j["activeSceneID"] = *activeSceneID;
    if (lastSwitchedAt) j["lastSwitchedAt"] = isoDateString(*lastSwitchedAt);
    return j;
}

ActiveSceneState ActiveSceneState::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "activeScene");
    ActiveSceneState state;
    if (jsonfields::member(json, "activeSceneID"))
        state.activeSceneID = jsonfields::requireUUID(json, "activeSceneID");
    state.lastSwitchedAt = jsonfields::optionalDate(json, "lastSwitchedAt");
    return state;
}

} // namespace korvane
