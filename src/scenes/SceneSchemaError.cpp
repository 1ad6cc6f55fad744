// The scene store's schema check and its error texts.
#include "scenes/SceneSchemaError.h"

#include "core/FileUtil.h"
#include "core/JSONFields.h"
#include "scenes/model/WMScene.h"

#include <nlohmann/json.hpp>

namespace korvane {

namespace {

// The id in double quotes with control characters escaped, so that a hostile id cannot forge lines in
// a log or a message box.
std::string quoted(std::string_view id) {
    return nlohmann::json(std::string(id)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

SceneSchemaError SceneSchemaError::invalidHotkeySlot(int slot) {
    return SceneSchemaError(Kind::invalidHotkeySlot, "hotkeySlot must be 1-9, got " + std::to_string(slot),
                            slot);
}

SceneSchemaError SceneSchemaError::invalidRestoreMode() {
    return SceneSchemaError(Kind::invalidRestoreMode, "restoreMode must be layoutOnly");
}

SceneSchemaError SceneSchemaError::invalidSceneID(std::string_view id) {
    // An id that would reach outside the folder is named as such: it is more likely an attack than a typo.
    if (!isSafeFileIdentifier(id))
        return SceneSchemaError(Kind::invalidSceneID, "scene id " + quoted(id) + " cannot name a file");
    return SceneSchemaError(Kind::invalidSceneID, "scene id must be a UUID, got " + quoted(id));
}

void checkSceneSchema(const WMScene& scene) {
    if (scene.hotkeySlot && (*scene.hotkeySlot < 1 || *scene.hotkeySlot > 9))
        throw SceneSchemaError::invalidHotkeySlot(*scene.hotkeySlot);
    sceneFileID(scene.id);
}

std::string sceneFileID(std::string_view id) {
    // UUID text holds only hex digits and hyphens, so an id that passes can never leave the folder.
    auto uuid = jsonfields::canonicalUUID(id);
    if (!uuid) throw SceneSchemaError::invalidSceneID(id);
    return *uuid;
}

} // namespace korvane
