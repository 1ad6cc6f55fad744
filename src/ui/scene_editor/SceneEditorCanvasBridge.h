// The one link between the editor's overlay and the canvas of one display: commands travel to the canvas as
// a pending command with a token that changes with every post; the canvas's unsaved flag and the layout
// actions it offers travel back.
#pragma once

#include "ui/scene_editor/ModelObservers.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// Main thread only. Every setter compares first: an equal value changes nothing and tells no one.
class SceneEditorCanvasBridge {
  public:
    enum class Command { save, reset, done, customizeLayout, changeLayout, chooseLayout };
    enum class Property {
        commandToken,
        hasUnsavedChanges,
        canCustomizeLayout,
        canChangeLayout,
        canChooseLayout,
        templateName,
        pendingCommand,
    };

    std::int64_t commandToken() const { return commandToken_; }
    void setCommandToken(std::int64_t token);
    // True while the display's layout or applications differ from the stored scene; the canvas clears it
    // after a successful save, and the overlay closes only when no bridge has it.
    bool hasUnsavedChanges() const { return hasUnsavedChanges_; }
    void setHasUnsavedChanges(bool value);
    bool canCustomizeLayout() const { return canCustomizeLayout_; }
    void setCanCustomizeLayout(bool value);
    bool canChangeLayout() const { return canChangeLayout_; }
    void setCanChangeLayout(bool value);
    bool canChooseLayout() const { return canChooseLayout_; }
    void setCanChooseLayout(bool value);
    const std::optional<std::string>& templateName() const { return templateName_; }
    void setTemplateName(std::optional<std::string> name);
    const std::optional<Command>& pendingCommand() const { return pendingCommand_; }
    void setPendingCommand(std::optional<Command> command);

    // The pending command first, then the token one up: posting the same command twice is still seen twice,
    // and a canvas that reacts to the token finds the command already there.
    void post(Command command);

    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(std::function<void(Property)> observer) {
        return observers_.subscribe(std::move(observer));
    }

  private:
    template <class T> void assign(T& field, T value, Property property);

    std::int64_t commandToken_ = 0;
    bool hasUnsavedChanges_ = false;
    bool canCustomizeLayout_ = false;
    bool canChangeLayout_ = false;
    bool canChooseLayout_ = false;
    std::optional<std::string> templateName_;
    std::optional<Command> pendingCommand_;
    ModelObservers<Property> observers_;
};

} // namespace korvane
