// How a window of the program that takes typing while it shows (a switcher, the scene editor) keeps the
// keyboard until it closes, and gives it back to the window that had it. Without a hold, a window that
// opens meanwhile (a terminal a restore started, a dialog) is given the focus by the window manager and
// gets the hints, digits and Return typed at the overlay, which still shows above it.
#pragma once

#include "platform/Accessibility.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QWidget;
class QWindow;

namespace korvane {

class AXUtil;

namespace platform {
class Platform;
}

// Main thread only. On the X server the hold is a keyboard grab of the program's connection: every key
// goes to the program, which hands it to the overlay's window with the focus, or, with the focus in
// another client's window, to the overlay's window the grab names. The grab follows the overlay's
// windows: to a window the user must answer first (a picker, an alert or a sheet standing over one of
// them), else to the one of them the toolkit has active, else to the one last held for. It is asked
// for again every 50 ms while another client holds the keyboard or the window is not yet on screen.
// The server lets go of a grab whose window stops being viewable, which the window manager does to a
// shown window when it shows another desktop, and when it ends or another takes over (each takes the
// windows out of its frames): the grab is asked for again as the window is on screen again, as it
// becomes active, and at each hold().
// Holds of several overlays stack: the latest one on has the grab, and the one before takes it back
// when it ends. Hot keys the program holds keep reaching it (the desktop serves them during a grab of
// its own). Elsewhere than on an X server, and without windows, a hold only notes and gives back.
class KeyboardHold final : public QObject {
  public:
    KeyboardHold(platform::Platform& platform, std::shared_ptr<AXUtil> axUtil);
    // Ends a hold still on without giving the keyboard back.
    ~KeyboardHold() override;
    KeyboardHold(const KeyboardHold&) = delete;
    KeyboardHold& operator=(const KeyboardHold&) = delete;

    // Starts the hold, noting the window that has the keyboard now for end() to give it back to: to be
    // called as the overlay opens, before it takes the keyboard. Nothing while the hold is on.
    void begin();
    // One of the overlay's windows, which the grab may follow to; nothing while the hold is off.
    void add(QWidget* window);
    // Adds the window and holds the keyboard for it: the overlay gives it the keys from now on. Asks the
    // server anew even for the window already held for.
    void hold(QWidget* window);
    // Lets go of the keyboard and forgets the windows; with `giveBack`, the window noted by begin() is
    // brought forward with the keyboard. Nothing while the hold is off.
    void end(bool giveBack);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Whether this process shows its windows on an X server, where a client can hold the keyboard.
    static bool canGrab();
    bool isTop() const;
    // The overlay's window that should have the keys now; none when none shows.
    QWidget* keyWindow() const;
    // Whether the window is one of the overlay's or stands over one (a dialog it parents).
    bool belongs(QWidget* window) const;
    // Moves the grab to the key window when it is elsewhere or was not granted; with `askAgain`, also
    // when the server granted it, which it may have let go of since without a word.
    void follow(bool askAgain = false);
    // Once the event being handled is done: a window being shown or hidden is not yet so on the server.
    void followLater();
    void grab();
    // Told of the window's native window going on and off screen, which the widget is not.
    void watch(QWidget* window);
    bool isOurNativeWindow(const QWindow* window) const;

    platform::Platform& platform_;
    std::shared_ptr<AXUtil> axUtil_;
    bool on_ = false;
    std::optional<platform::AXElement> previousFocus_;
    std::vector<QPointer<QWidget>> windows_;
    QPointer<QWidget> chosen_;
    QPointer<QWidget> holder_;
    bool granted_ = false;
    QTimer retry_;
    QMetaObject::Connection focusChanges_;
};

} // namespace korvane
