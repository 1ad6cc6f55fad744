// The scene card switcher: a strip of cards, one per saved scene, opened by a long press of the option
// key or a hot key. It does no scene work itself; it hands the chosen scene to the application.
#pragma once

#include "input/MouseEventTap.h"
#include "scenes/model/WMScene.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class LayoutTemplateResolver;
class SceneStore;

// Main thread only. The application sets the store, the resolver and the callbacks when it makes it.
class SceneCardSwitcherController : public MouseEventHandler {
  public:
    SceneCardSwitcherController() = default;

    std::weak_ptr<SceneStore> sceneStore;
    std::function<void(const WMScene&)> onRestoreScene;
    std::function<void()> onSaveScene;
    std::function<void(const WMScene&)> onEditScene;
    // The active scene's id, for the active card's mark.
    std::function<std::optional<std::string>()> activeSceneID;
    std::weak_ptr<const LayoutTemplateResolver> layoutTemplateResolver;

    // How long option must be held alone to open the switcher, in seconds.
    double optionLongPressDelay = 0.3;

    // Builds and shows the switcher on the screen under the pointer; nothing when it already shows, without
    // a scene store or without a screen.
    void show();
    // Closes the switcher; harmless while hidden.
    void hide();

    bool isVisible() const { return isVisible_; }
    // The scenes in card order while shown; empty otherwise.
    const std::vector<WMScene>& scenes() const { return scenes_; }

  private:
    bool isVisible_ = false;
    std::vector<WMScene> scenes_;
};

} // namespace korvane
