// The "Save Scene" window: a floating panel over the save-scene model, at most one at a time. The
// application makes it for each request while none is open and drops it once its window has closed.
#pragma once

#include "platform/Geometry.h"

#include <functional>
#include <memory>

class QWidget;

namespace korvane {

namespace platform {
class Screens;
}

class SceneSaveViewModel;

// Main thread only, in a program with a Qt widget application.
class SceneSaveWindowController {
  public:
    static constexpr const char* kTitle = "Save Scene";
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 580;

    // Makes the panel over the model, centred on `area` (bottom-left global, as the screens give it: a
    // screen's visible frame) with the window manager's frame, and no larger than it; not shown yet.
    SceneSaveWindowController(std::shared_ptr<SceneSaveViewModel> viewModel, platform::Screens& screens,
                              const Rect& area);
    ~SceneSaveWindowController();
    SceneSaveWindowController(const SceneSaveWindowController&) = delete;
    SceneSaveWindowController& operator=(const SceneSaveWindowController&) = delete;

    // Shows the window, restored when minimised, in front of the others and gives it the keyboard, which
    // it keeps from windows that open beneath it until a click elsewhere (see KeyboardHoldWhileInFront).
    void showWindow();
    // Closes the window; onClose follows.
    void close();
    bool isWindowVisible() const;
    // The top-level window; nothing once it has closed or the application has quit.
    QWidget* window() const;

    // Called once when the window closes, however it closed.
    std::function<void()> onClose;

    std::shared_ptr<SceneSaveViewModel> viewModel;

  private:
    struct Window;
    std::unique_ptr<Window> window_;
};

} // namespace korvane
