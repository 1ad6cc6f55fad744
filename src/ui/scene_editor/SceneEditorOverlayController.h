// The open scene editor: one overlay panel per display over the one model they share, each with the
// bridge to its display's canvas. It brings the right panel to the front, asks before closing over unsaved
// changes, waits for the canvases to save, and tells its owner when a scene was saved and when it closed.
#pragma once

#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace korvane {

class KeyboardHold;
class SceneEditorCanvasBridge;
class SceneEditorKeyRouter;
class SceneEditorOverlayPanel;
class SceneEditorPanelPool;
class SceneEditorViewModel;

namespace platform {
class Platform;
struct ScreenInfo;
} // namespace platform

// The answers of the "Save Scene Changes?" alert, by the order of its buttons.
enum class SceneEditorSaveAlertResponse { save = 1000, discard = 1001, cancel = 1002 };

// Main thread only. The owner fills it: the model, then a panel and a bridge per display.
class SceneEditorOverlayController : public std::enable_shared_from_this<SceneEditorOverlayController> {
  public:
    static constexpr const char* kSaveAlertTitle = "Save Scene Changes?";
    static constexpr const char* kSaveAlertText = "You have unsaved Scene layout or app assignment changes.";
    // After the first check, this many more 0.05 s apart before the wait for saving gives up.
    static constexpr int kSaveWaitAttempts = 16;

    // Shows the alert over `panel` and answers; the default is a modal warning box. Without a panel (none
    // is left) the alert stands on the main screen and offers no Cancel: there is no editor to go back to.
    using SaveAlertPresenter = std::function<SceneEditorSaveAlertResponse(QWidget* panel)>;

    // Panels come from `pool` and go back to it; without one the controller keeps its own.
    explicit SceneEditorOverlayController(platform::Platform& platform, SaveAlertPresenter presenter = {},
                                          std::shared_ptr<SceneEditorPanelPool> pool = {});
    // Hides the panels still open, without telling onDidClose.
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

    // Takes the pictures of all these displays at once, before the first of their panels shows, and shows
    // a panel of the pool over each as soon as the window server holds them; addPanel then gives it the
    // editor's views. Without a widget application nothing happens.
    void coverScreens(const std::vector<platform::ScreenInfo>& screens);
    // Puts a panel of the pool over one display's visible frame, with its bridge, and shows it without
    // activating; the panel's Done asks to close and its save reaches onSave, both while the controller
    // exists. Without a widget application only the bridge is made. The first panel notes the window
    // that has the keyboard, which gets it back when the editor closes; from then on until the editor
    // closes the editor holds the keyboard for its panels and the windows standing over them, and each
    // key of the editor's acts on the panel under the pointer (see SceneEditorKeyRouter).
    void addPanel(const platform::ScreenInfo& screen, const std::string& displayUUID,
                  const std::string& displayName);
    // The displays connected now: the panel of a display not among them closes, where the window manager
    // would move it onto a display that stays and cover part of it. The other panels go on working and
    // the keyboard goes to one of them. The closed panel's canvas stays behind it with its bridge, so
    // that edits it holds are still asked about and saved when the editor closes; a display that comes
    // back gets a panel at the editor's next opening. With no panel left the editor closes; while edits
    // are unsaved it keeps them and first asks about them on the main screen.
    void closePanelsOfDisplaysGone(const std::vector<std::string>& connectedDisplayUUIDs);
    bool isAnyPanelVisible() const;
    // Selects the scene, when given, and the display, when given and not empty, then fronts its panel.
    void openScene(const std::optional<std::string>& sceneID, const std::optional<std::string>& displayUUID);
    // Fronts the panel of the model's display; without a model, the first panel.
    void bringPanelsToFront();
    // Raises the resolved display's panel and gives it the keyboard; the other panels stay where they are.
    void bringPanelToFront(const std::string& displayUUID);
    // The requested display when it has a panel; else the first display the model lists that has one;
    // else the smallest display UUID with a panel; else the request unchanged.
    std::string resolveFrontDisplayUUID(const std::string& requested) const;
    // Closes at once when nothing is unsaved; otherwise asks over the panel of `askingDisplayUUID` (the
    // model's display when empty): Save (then waits for the canvases), Discard (closes), Cancel (stays,
    // that panel in front with the keyboard).
    void requestClose(const std::string& askingDisplayUUID = {});
    // A save command to every canvas with unsaved changes, and to no other.
    void requestSaveOnAllCanvases();
    // Closes once no canvas has unsaved changes, checking again every 0.05 s; after the last attempt the
    // panel that asked comes to the front and the editor stays open, or, with no panel left, the user is
    // asked again.
    void waitForSaveThenClose(int attempt);
    // Hides every panel and gives it back to the pool, gives the keyboard back, forgets the model and
    // onSave, then calls onDidClose once.
    void close();
    // Centred over the panel of the display (resolved as for bringPanelToFront), transient for it; with no
    // panel left, on the main screen, without Cancel.
    SceneEditorSaveAlertResponse showSaveAlert(const std::string& overDisplayUUID = {});
    // What a panel's save reaches: onSave.
    void didSave();

  private:
    bool anyUnsaved() const;
    // The alert over the panel of that display, or on the main screen when no panel is left, and its
    // answer carried out.
    void ask(const std::string& askingDisplayUUID);
    // With no panel left and edits unsaved, on a later turn: the change of displays that took the last
    // panel is handled first. Save stores the edits for the displays they were made on and closes;
    // Discard closes without them.
    void askWithoutPanelsLater();
    // The live panel of the resolved display; none when no panel is live.
    SceneEditorOverlayPanel* frontPanel(const std::string& requested) const;

    void returnPanels();

    platform::Platform& platform_;
    SaveAlertPresenter presenter_;
    std::shared_ptr<SceneEditorPanelPool> pool_;
    std::unique_ptr<KeyboardHold> keyboard_;
    std::unique_ptr<SceneEditorKeyRouter> keys_;
    // The display whose panel asked to close, while its save is awaited.
    std::string askingDisplayUUID_;
    // The alert waits for the user; the displays may change meanwhile.
    bool asking_ = false;
    // Every panel went with edits unsaved: the editor waits for the user's answer about them.
    bool heldWithoutPanels_ = false;
    // Panels of displays that went, hidden, out of overlayPanels so that nothing shows them again; back
    // to the pool when the editor closes, where the next taker covers its own screen with them.
    std::vector<QPointer<SceneEditorOverlayPanel>> panelsOfDisplaysGone_;
};

} // namespace korvane
