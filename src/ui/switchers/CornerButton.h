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
// window's title bar under the button: the window manager and every zone leave it free. Placed, with its
// strip, at its start and again whenever the screens change. Main thread only.
class CornerButton final : public QWidget {
  public:
    CornerButton(platform::Screens& screens, platform::NotificationCenter& notifications,
                 std::function<void()> onClick);
    ~CornerButton() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // On the main screen as it is now; left where it is while no screen is connected.
    void place();

    platform::Screens& screens_;
    std::function<void()> onClick_;
    std::unique_ptr<platform::ObserverToken> screensObserver_;
};

} // namespace korvane
