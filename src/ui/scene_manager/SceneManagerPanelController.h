// The "Scene Manager" window: an ordinary window over the scene manager's model, at most one at a time.
// The application makes it on the first request, brings it forward on every later one, and forgets it
// once its window has closed.
#pragma once

#include "ui/scene_manager/SceneManagerAlert.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace korvane {

class SceneManagerPanel;
class SceneManagerViewModel;

namespace platform {
class Platform;
}

// Main thread only, in a program with a Qt widget application.
class SceneManagerPanelController {
  public:
    static constexpr const char* kTitle = "Scene Manager";
    static constexpr int kWidth = 720;
    static constexpr int kHeight = 520;
    static constexpr int kMinimumWidth = 600;
    static constexpr int kMinimumHeight = 440;

    // Makes the window over the model, centred on the main screen's visible frame; not shown yet. The
    // delete alert goes through `presenter` (a modal message box when empty).
    SceneManagerPanelController(platform::Platform& platform,
                                std::shared_ptr<SceneManagerViewModel> viewModel,
                                SceneManagerAlertPresenter presenter = {});
    ~SceneManagerPanelController();
    SceneManagerPanelController(const SceneManagerPanelController&) = delete;
    SceneManagerPanelController& operator=(const SceneManagerPanelController&) = delete;

    // Reloads the model, selects the scene and the display when given (the display only when connected),
    // and brings the window to the front with the keyboard.
    void show(const std::optional<std::string>& sceneID, const std::optional<std::string>& displayUUID);
    bool isWindowVisible() const;
    // The top-level window; nothing once it has closed or the application has quit.
    QWidget* window() const;
    SceneManagerPanel* panel() const;

    // Called once when the window closes, however it closed. The owner may drop the controller from it.
    std::function<void()> onDidClose;

    const std::shared_ptr<SceneManagerViewModel> viewModel;

  private:
    struct Window;
    platform::Platform& platform_;
    std::unique_ptr<Window> window_;
};

} // namespace korvane
