// How a window of the program that stays above the others and takes typing (the "Save Scene" window)
// keeps what is typed at it while it is in front. Without a hold, a window that opens beneath it (a
// terminal a script starts, another program's dialog) is given the focus by the window manager and gets
// the name typed into the window still showing above it. Unlike an overlay, such a window shares the
// screen with the windows the user works in: a press on one of them lets the keyboard go with the focus.
#pragma once

#include "ui/overlays/KeyboardHold.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

class QWidget;
class QWindow;

namespace korvane {

class AXUtil;

namespace platform {
class MouseTap;
class Platform;
} // namespace platform

// Main thread only. The keyboard is held (see KeyboardHold) from hold() on, whoever the window manager
// gives the focus to meanwhile, until the user presses a button elsewhere than on the window or a popup or
// dialog it parents, and the focus leaves them with that press: then the keyboard stays with the window
// the user went to. It is held again once the window is active again (clicked, or brought forward). The
// presses are seen through the desktop's mouse tap; on an X server without one nothing is held, since a
// hold that no click could end would keep the keyboard from every other window.
class KeyboardHoldWhileInFront final : public QObject {
  public:
    KeyboardHoldWhileInFront(platform::Platform& platform, std::shared_ptr<AXUtil> axUtil);
    ~KeyboardHoldWhileInFront() override;
    KeyboardHoldWhileInFront(const KeyboardHoldWhileInFront&) = delete;
    KeyboardHoldWhileInFront& operator=(const KeyboardHoldWhileInFront&) = delete;

    // Holds the keyboard for the window from now on, or again after a press elsewhere let it go: to be
    // called as the window is brought forward.
    void hold(QWidget* window);
    // Lets go for good, the keyboard left where it is: the window closes.
    void end();

  private:
    bool belongs(const QWidget* widget) const;
    bool isOurs(const QWindow* window) const;
    // Whether the pointer is over the window's frame or one of its popups or dialogs.
    bool pointerOnWindow() const;
    void pressed();
    void focusChanged(QWindow* now);
    void takeKeyboard();
    void letGo();

    platform::Platform& platform_;
    KeyboardHold keyboard_;
    QPointer<QWidget> window_;
    bool holding_ = false;
    std::unique_ptr<platform::MouseTap> tap_;
    // The last press elsewhere, until the focus has left the window with it or come back.
    std::optional<std::chrono::steady_clock::time_point> pressedElsewhere_;
    QMetaObject::Connection focusChanges_;
};

} // namespace korvane
