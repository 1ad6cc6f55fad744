// Short notices on a display: one line of text in a dark pill near the top of the display's visible
// area that goes by itself. One toast stands per display at most; one per process shows them all.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Screens.h"

#include <map>
#include <memory>
#include <string>

class QWidget;

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only. Shows nothing where no widget application runs. Invariant: a display has a timer in
// `timers` only while its toast is in `windows`; both go together.
class ToastHUDController : public std::enable_shared_from_this<ToastHUDController> {
  public:
    explicit ToastHUDController(platform::Platform& platform);
    ~ToastHUDController();
    ToastHUDController(const ToastHUDController&) = delete;
    ToastHUDController& operator=(const ToastHUDController&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<ToastHUDController> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<ToastHUDController> instance);

    // Shows the message on the screen for `duration` seconds, closing at once the toast that stands on
    // the same display. The pill is as wide as the text plus 24 points on each side, whatever the
    // screen's width, 40 high, centred on the visible frame with its top 40 points below the visible top.
    void show(const std::string& message, const platform::ScreenInfo& screen, double duration);
    // The same for a sentence naming a scene: `before`, the name, `after`. A name too long for the pill to
    // stay on the screen with the whole sentence is cut in its middle (see SceneNameInWindow.h).
    void show(const std::string& before, const std::string& sceneName, const std::string& after,
              const platform::ScreenInfo& screen, double duration);

    // The toast standing on the display; nullptr when none does.
    QWidget* window(const std::string& displayUUID) const;

    static constexpr int kHeight = 40;
    static constexpr int kSidePadding = 24;
    static constexpr int kTopOffset = 80; // from the visible frame's top to the pill's bottom edge
    static constexpr int kFontSize = 15;

  private:
    class Toast;

    // By value: the timer that calls it holds the key it passes.
    void close(std::string key);

    platform::Platform& platform_;
    // Keyed by the display UUID of the toast's screen.
    std::map<std::string, std::unique_ptr<Toast>> windows;
    std::map<std::string, platform::TimerRef> timers;
};

} // namespace korvane
