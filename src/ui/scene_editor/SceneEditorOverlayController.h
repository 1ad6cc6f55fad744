// The open scene editor: one overlay panel per display over the one model they share, each with the
// bridge to its display's canvas. It tells its owner when a scene was saved and when it has closed.
#pragma once

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class SceneEditorCanvasBridge;
class SceneEditorOverlayPanel;
class SceneEditorViewModel;

namespace platform {
class Platform;
struct ScreenInfo;
} // namespace platform

// Main thread only. The owner fills it: the model, then a panel and a bridge per display.
class SceneEditorOverlayController : public std::enable_shared_from_this<SceneEditorOverlayController> {
  public:
    explicit SceneEditorOverlayController(platform::Platform& platform);
    // Closes the panels still open, without telling onDidClose.
    ~SceneEditorOverlayController();
    SceneEditorOverlayController(const SceneEditorOverlayController&) = delete;
    SceneEditorOverlayController& operator=(const SceneEditorOverlayController&) = delete;

    // Keyed by display UUID. A panel closed by other means than this controller reads as nullptr.
    std::map<std::string, QPointer<SceneEditorOverlayPanel>> overlayPanels;
    std::shared_ptr<SceneEditorViewModel> viewModel;
    std::map<std::string, std::shared_ptr<SceneEditorCanvasBridge>> canvasBridges;
    // Called once, after the panels have closed.
    std::function<void()> onDidClose;
    // A scene was saved from one of the panels.
    std::function<void()> onSave;

    // Makes the panel of one display over its visible frame, with its bridge, and orders it front without
    // activating; the panel's Done asks to close and its save reaches onSave, both while the controller
    // exists. Without a widget application only the bridge is made.
    void addPanel(const platform::ScreenInfo& screen, const std::string& displayUUID,
                  const std::string& displayName);
    bool isAnyPanelVisible() const;
    // Selects the scene, when given, and the display, when given and not empty, in the model.
    void openScene(const std::optional<std::string>& sceneID, const std::optional<std::string>& displayUUID);
    // Raises every panel and gives the keyboard to the panel of the model's display, else the first.
    void bringPanelsToFront();
    // Closes every panel, then onDidClose. Asking about unsaved changes first is the editor's own.
    void requestClose();
    // What a panel's save reaches: onSave.
    void didSave();

  private:
    platform::Platform& platform_;
    bool closed_ = false;
};

} // namespace korvane
