// The scene editor's panel over one display: it covers the display's visible frame with a dimmed
// backdrop that blocks the windows beneath, and holds the editor's root view for that display.
#pragma once

#include "platform/Geometry.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QLabel;

namespace korvane {

class SceneEditorCanvasBridge;
class SceneEditorViewModel;

namespace platform {
class Screens;
}

// The content view: catches every click so that nothing reaches the windows below the editor.
class SceneEditorBlockingView : public QWidget {
  public:
    explicit SceneEditorBlockingView(QWidget* parent) : QWidget(parent) {}

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The editor of one display: the shared model, that display's bridge, and the two ways out.
class SceneEditorOverlayRootView : public QWidget {
  public:
    struct Content {
        std::shared_ptr<SceneEditorViewModel> viewModel;
        std::shared_ptr<SceneEditorCanvasBridge> canvasBridge;
        std::string displayUUID;
        std::string displayName;
        std::function<void()> onDone;
        std::function<void()> onSave;
    };

    SceneEditorOverlayRootView(Content content, QWidget* parent);
    const Content& content() const { return content_; }

    static constexpr const char* kDoneTitle = "Done";

  private:
    Content content_;
};

// Main thread only. Frameless, above every window, on every workspace.
class SceneEditorOverlayPanel : public QWidget {
  public:
    static constexpr const char* kTitle = "Scene Editor";
    static constexpr double kBackdropAlpha = 0.5;

    // Covers `visibleFrame` (bottom-left global).
    SceneEditorOverlayPanel(platform::Screens& screens, const Rect& visibleFrame);

    SceneEditorBlockingView* blockingView() const { return blockingView_; }
    // Fills the blocking view and follows its size.
    void setRootView(SceneEditorOverlayRootView* root);
    SceneEditorOverlayRootView* rootView() const { return rootView_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool translucent_;
    SceneEditorBlockingView* blockingView_;
    SceneEditorOverlayRootView* rootView_ = nullptr;
};

} // namespace korvane
