// Commands for a display's canvas and the state it reports back, each change told to the observers once.
#include "ui/scene_editor/SceneEditorCanvasBridge.h"

#include <utility>

namespace korvane {

template <class T> void SceneEditorCanvasBridge::assign(T& field, T value, Property property) {
    if (field == value) return;
    field = std::move(value);
    observers_.notify(property);
}

void SceneEditorCanvasBridge::setCommandToken(std::int64_t token) {
    assign(commandToken_, token, Property::commandToken);
}

void SceneEditorCanvasBridge::setHasUnsavedChanges(bool value) {
    assign(hasUnsavedChanges_, value, Property::hasUnsavedChanges);
}

void SceneEditorCanvasBridge::setCanCustomizeLayout(bool value) {
    assign(canCustomizeLayout_, value, Property::canCustomizeLayout);
}

void SceneEditorCanvasBridge::setCanChangeLayout(bool value) {
    assign(canChangeLayout_, value, Property::canChangeLayout);
}

void SceneEditorCanvasBridge::setCanChooseLayout(bool value) {
    assign(canChooseLayout_, value, Property::canChooseLayout);
}

void SceneEditorCanvasBridge::setTemplateName(std::optional<std::string> name) {
    assign(templateName_, std::move(name), Property::templateName);
}

void SceneEditorCanvasBridge::setPendingCommand(std::optional<Command> command) {
    assign(pendingCommand_, command, Property::pendingCommand);
}

void SceneEditorCanvasBridge::post(Command command) {
    setPendingCommand(command);
    setCommandToken(commandToken_ + 1);
}

} // namespace korvane
