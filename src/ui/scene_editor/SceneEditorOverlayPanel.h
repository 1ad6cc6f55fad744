// The scene editor's panel over one display: it covers the display's visible frame with the dimmed
// picture of what lay there, swallows every click that no editor control takes, and holds the editor's
// root view for that display.
#pragma once

#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "ui/overlays/MemoryAtRest.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QKeyEvent;
class QLabel;

namespace korvane {

class SceneEditorCanvasBridge;
class SceneEditorViewModel;
class SceneGeometryCanvasView;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// The content view: catches every click so that nothing reaches the windows below the editor.
class SceneEditorBlockingView : public QWidget {
  public:
    explicit SceneEditorBlockingView(QWidget* parent) : QWidget(parent) {}

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The editor of one display: "Preparing editor..." while the scenes load, "Select a scene to edit" with
// none selected, else the display's canvas over the selected scene.
class SceneEditorOverlayRootView : public QWidget {
  public:
    struct Content {
        std::shared_ptr<SceneEditorViewModel> viewModel;
        std::shared_ptr<SceneEditorCanvasBridge> canvasBridge;
        std::string displayUUID;
        std::string displayName;
        std::function<void()> onDone;
        std::function<void()> onSave;
        platform::Platform* platform = nullptr;
    };

    static constexpr const char* kLoadingText = "Preparing editor...";
    static constexpr const char* kNoSceneText = "Select a scene to edit";

    SceneEditorOverlayRootView(Content content, QWidget* parent);
    ~SceneEditorOverlayRootView() override;
    const Content& content() const { return content_; }
    // Serves another editor: shows what its model holds, its canvas drawing a model made afresh for it
    // on the views the last editor left.
    void reuse(Content content);
    // Lets go of the editor it served, its model and callbacks, keeping its views for the next one.
    void retire();
    // Without an editor, before any: makes the canvas's views over a display with one empty zone and
    // shows them within the hidden panel, so that drawing the panel ahead reaches every kind of view the
    // editor shows; retire() hides them again for the first editor.
    void prepareCanvas(platform::Platform& platform);
    // Shows what the model now holds; also run by the model's changes.
    void refresh();
    // The message shown instead of a canvas (loading or no scene), empty while the canvas shows.
    QString message() const;
    SceneGeometryCanvasView* canvas() const { return canvas_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void observe();

    Content content_;
    std::unique_ptr<platform::ObserverToken> observation_;
    QLabel* message_;
    QWidget* spinner_;
    SceneGeometryCanvasView* canvas_ = nullptr;
    // The canvas draws a model of an editor served before.
    bool canvasOfEarlierEditor_ = false;
};

// Main thread only. Frameless, above every window, on every workspace, taking the keyboard. One panel
// may serve several editors in turn, hidden in between (see SceneEditorPanelPool).
class SceneEditorOverlayPanel : public QWidget, public KeptForNextShowing {
  public:
    static constexpr const char* kTitle = "Scene Editor";
    // The black over the picture, as a share: each channel keeps the rest.
    static constexpr double kBackdropAlpha = 0.5;

    explicit SceneEditorOverlayPanel(platform::Screens& screens);
    SceneEditorOverlayPanel(platform::Screens& screens, const Rect& visibleFrame);

    // While hidden: moves over `visibleFrame` (bottom-left global) and paints beneath the editor what the
    // screen shows there now, dimmed. Without a compositing manager nothing would show through; with one
    // the picture looks the same while the windows behind stay blocked.
    void cover(const Rect& visibleFrame);
    // The first half of cover, for a picture taken of several screens at once: `picture` of the area the
    // panel is to cover, or the next band of it, `size` the area's in the window server's pixels (see
    // pictureSize), dimmed into the backdrop; true once the picture is whole; false, and nothing of it
    // kept, when the sizes differ. Under the toolkit's scaling the picture keeps every pixel the server has.
    // Touches nothing but the panel's own memory, so it may run while the desktop lends the picture.
    bool setPicture(const QSize& size, const platform::ScreenPictureView& picture);
    // The size of the picture of `visibleFrame` (bottom-left global) in the window server's pixels.
    static QSize pictureSize(platform::Screens& screens, const Rect& visibleFrame);
    // The rest of cover, with the picture setPicture kept.
    void coverWithPicture(const Rect& visibleFrame);
    SceneEditorBlockingView* blockingView() const { return blockingView_; }
    // Fills the blocking view and follows its size; an earlier root view is let go as by releaseRootView.
    // A panel keeps its root view from one editor to the next (see SceneEditorOverlayRootView::reuse).
    void setRootView(SceneEditorOverlayRootView* root);
    SceneEditorOverlayRootView* rootView() const { return rootView_; }
    // Hides the root view and deletes it on a later turn: the control that let go of it may be its child.
    void releaseRootView();
    const QImage& backdrop() const { return backdrop_; }
    // Draws the hidden panel, its views included, into a picture of its size that is let go at once:
    // what a first showing costs beyond any later one in the views (the fonts, glyphs and styles of their
    // first drawing) is paid now. The window shows nothing of it; once mapped it is drawn anew.
    void paintAhead();
    // A key of the editor's, for the canvas of this panel's display: it acts where the pointer is now
    // (`pointer`, global), whether or not the panel's window had the keyboard. Taken by nothing while the
    // panel shows no canvas.
    void takeKey(QKeyEvent& key, const QPoint& pointer);
    // While hidden: lets go of the monitor's picture, as its drawing buffer goes, once the panel has been
    // hidden a while (see releaseMemoryAtRest). A program that stays resident all day would hold it between
    // openings a user makes now and then; an opening soon after the last takes the next picture into it.
    void letGoWhileHidden() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The panel the pointer comes onto asks the window manager for the focus, which then shows where the
    // editor's keys act (they act there whichever panel has it: see SceneEditorKeyRouter); not from a
    // window standing over the panels that waits for the user (a picker, a sheet, an alert, a switcher).
    void enterEvent(QEnterEvent* event) override;
    // The windows the canvas opened over the panel (a zone's application picker, the template sheet) are
    // windows of their own, which the panel's hiding leaves on screen: they close with it, as the editor
    // closes or the panel's display goes, rather than offer a choice that nothing would take.
    void hideEvent(QHideEvent* event) override;

  private:
    // Over the visible frame (bottom-left global), on every workspace; made on the window server first if
    // it is not yet.
    void place(const Rect& visibleFrame);

    platform::Screens& screens_;
    // From cover until let go: a picture of the same size taken again goes into the same memory.
    QImage backdrop_;
    SceneEditorBlockingView* blockingView_;
    SceneEditorOverlayRootView* rootView_ = nullptr;
};

} // namespace korvane
