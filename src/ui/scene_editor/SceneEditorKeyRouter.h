// Which of the open scene editor's panels a key acts on: the one under the pointer as the key arrives.
// The toolkit hands a key to the window it holds active or, with none, to the window that holds the
// keyboard grab; neither follows the pointer from one monitor to the other in step with the user (the
// window manager answers an activation later, or not at all while another client has the focus), so the
// key is taken from whichever of them it reached and given to the canvas of the panel under the pointer.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <vector>

class QWindow;

namespace korvane {

class SceneEditorOverlayPanel;

// Main thread only. While on, it watches the application's events. It takes the keys the toolkit delivers
// to a panel, or to another window of the program that lies beneath the panels or is not on screen (the
// scene manager, which the window manager may hand the focus to); it leaves them to a window standing over
// the panels that waits for the user (a picker, an alert, a sheet, a menu, a switcher). The window's own
// shortcuts do not run for a key it takes: the canvas that gets the key answers it (Ctrl+S included).
class SceneEditorKeyRouter final : public QObject {
  public:
    SceneEditorKeyRouter() = default;
    ~SceneEditorKeyRouter() override;
    SceneEditorKeyRouter(const SceneEditorKeyRouter&) = delete;
    SceneEditorKeyRouter& operator=(const SceneEditorKeyRouter&) = delete;

    // Starts taking keys; nothing while on.
    void begin();
    // One of the editor's panels; nothing while off.
    void add(SceneEditorOverlayPanel* panel);
    // Stops taking keys and forgets the panels.
    void end();

    // The panel shown under the global point (the toolkit's coordinates), else the shown panel nearest to
    // it (the pointer may rest where no panel covers a monitor); null when no panel shows.
    SceneEditorOverlayPanel* panelAt(const QPoint& global) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Whether a key the toolkit delivers to that window is the editor's.
    bool takesKeysOf(const QWindow* window) const;
    bool isPanel(const QWindow* window) const;

    bool on_ = false;
    // While a taken key is handed to a canvas.
    bool forwarding_ = false;
    std::vector<QPointer<SceneEditorOverlayPanel>> panels_;
};

} // namespace korvane
