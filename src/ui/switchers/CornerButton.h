// The button that stands in for the tray icon where the desktop has no system tray: a small button at the
// top right corner of the main screen, in a strip along that screen's top that it keeps clear of other
// windows as a desktop panel keeps its own.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

namespace korvane {

namespace platform {
class NotificationCenter;
class ObserverToken;
class Screens;
} // namespace platform

// A dock to the window manager: kept above the windows, never given the keyboard, on every workspace, and
// nobody's client window to the program (no switcher or zone lists it). The strip it reserves takes no
// window's title bar under the button: the window manager (where it can keep a strip there) and every
// zone leave it free. Placed, with its strip, as it appears and again whenever the screens change while it
// shows. Main thread only.
class CornerButton final : public QWidget {
  public:
    // Hidden, keeping no strip, until it appears.
    CornerButton(platform::Screens& screens, platform::NotificationCenter& notifications,
                 std::function<void()> onClick);
    ~CornerButton() override;

    // Shows the button with its strip. `announce`: the button comes while the program runs (a tray went),
    // so its strip is a change of the screens of its own, which the zones follow.
    void appear(bool announce);
    // Hides the button and gives its strip up, as a change of the screens (a tray came).
    void disappear();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // On the main screen as it is now; left where it is while no screen is connected.
    void place(bool announce);

    platform::Screens& screens_;
    std::function<void()> onClick_;
    std::unique_ptr<platform::ObserverToken> screensObserver_;
};

} // namespace korvane
