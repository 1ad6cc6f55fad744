// The refusals of the scene store's schema check, which every scene the store reads or saves passes
// through, with the texts the user is shown.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {

struct WMScene;

// what() is the error's description.
class SceneSchemaError : public std::runtime_error {
  public:
    enum class Kind {
        invalidHotkeySlot,  // "hotkeySlot must be 1-9, got N"
        invalidRestoreMode, // "restoreMode must be layoutOnly"; no check raises it, a scene has one mode
        invalidSceneID,     // the id is not UUID text, so it could not name the scene's file
    };

    static SceneSchemaError invalidHotkeySlot(int slot);
    static SceneSchemaError invalidRestoreMode();
    static SceneSchemaError invalidSceneID(std::string_view id);

    Kind kind() const { return kind_; }
    // The refused slot, for invalidHotkeySlot.
    std::optional<int> slot() const { return slot_; }

  private:
    SceneSchemaError(Kind kind, const std::string& description, std::optional<int> slot = std::nullopt)
        : std::runtime_error(description), kind_(kind), slot_(slot) {}

    Kind kind_;
    std::optional<int> slot_;
};

// Throws SceneSchemaError when the scene's slot lies outside 1…9 or its id is refused by sceneFileID.
void checkSceneSchema(const WMScene& scene);

// The canonical upper-case UUID text of `id`, the form that names the scene's file "scene-<id>.json".
// Throws SceneSchemaError::invalidSceneID for anything else, so that no id reaches a path unchecked.
std::string sceneFileID(std::string_view id);

} // namespace korvane
