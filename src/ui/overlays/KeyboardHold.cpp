// Holding the keyboard for an overlay: the grab, where it follows to, the holds stacked, and giving the
// keyboard back.
#include "ui/overlays/KeyboardHold.h"

#include "core/AXUtil.h"
#include "platform/Platform.h"
#include "ui/overlays/KeyboardHeld.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace korvane {

namespace {

constexpr int kRetryMilliseconds = 50;

// The server grants a client one keyboard grab: the holds of this process share it. The latest one on
// holds it; as it ends, the one before takes it back.
std::vector<KeyboardHold*>& holdsOn() {
    static std::vector<KeyboardHold*> holds;
    return holds;
}

} // namespace

bool keyboardHeldByProgram() {
    return !holdsOn().empty();
}

KeyboardHold::KeyboardHold(platform::Platform& platform, std::shared_ptr<AXUtil> axUtil)
    : platform_(platform), axUtil_(std::move(axUtil)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMilliseconds);
    QObject::connect(&retry_, &QTimer::timeout, this, [this] { grab(); });
}

KeyboardHold::~KeyboardHold() {
    end(false);
}

bool KeyboardHold::canGrab() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

bool KeyboardHold::isTop() const {
    const auto& holds = holdsOn();
    return !holds.empty() && holds.back() == this;
}

void KeyboardHold::begin() {
    if (on_) return;
    on_ = true;
    previousFocus_ = axUtil_->focusedWindow();
    if (!previousFocus_) previousFocus_ = axUtil_->focusedWindowSystemWide();
    auto& holds = holdsOn();
    // This hold's grab replaces the one below, which asks again once it is on top again.
    if (!holds.empty()) holds.back()->granted_ = false;
    holds.push_back(this);
    if (canGrab())
        focusChanges_ = QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                                         [this](QWindow* now) { follow(isOurNativeWindow(now)); });
}

void KeyboardHold::add(QWidget* window) {
    if (!on_ || !window) return;
    if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
    windows_.emplace_back(window);
    watch(window);
}

void KeyboardHold::watch(QWidget* window) {
    // Told when a dialog comes to stand over the window or goes, and when the window shows or hides.
    window->installEventFilter(this);
    // Installed once however often asked: the native window exists from the window's first showing.
    if (QWindow* native = window->windowHandle()) native->installEventFilter(this);
}

bool KeyboardHold::isOurNativeWindow(const QWindow* window) const {
    if (!window) return false;
    for (const auto& w : windows_)
        if (w && w->windowHandle() == window) return true;
    return false;
}

void KeyboardHold::hold(QWidget* window) {
    if (!on_ || !window) return;
    add(window);
    chosen_ = window;
    follow(true);
}

void KeyboardHold::end(bool giveBack) {
    if (!on_) return;
    on_ = false;
    retry_.stop();
    QObject::disconnect(focusChanges_);
    for (const auto& window : windows_)
        if (window) {
            window->removeEventFilter(this);
            if (QWindow* native = window->windowHandle()) native->removeEventFilter(this);
        }
    windows_.clear();
    chosen_ = nullptr;

    auto& holds = holdsOn();
    const bool wasTop = isTop();
    holds.erase(std::remove(holds.begin(), holds.end(), this), holds.end());
    // Ungrabbing is the client's, whichever window names the grab. A hold below this one holds nothing
    // of the server's until it is on top again.
    if (wasTop && granted_ && holder_)
        if (QWindow* window = holder_->windowHandle()) window->setKeyboardGrabEnabled(false);
    holder_ = nullptr;
    granted_ = false;
    if (wasTop && !holds.empty()) holds.back()->follow();

    const auto previous = std::move(previousFocus_);
    previousFocus_.reset();
    if (!giveBack || !previous) return;
    auto& accessibility = platform_.accessibility();
    platform_.workspace().activate(previous->pid, 0);
    accessibility.performAction(*previous, "AXRaise");
    accessibility.setAttribute(*previous, "AXMain", true);
}

bool KeyboardHold::belongs(QWidget* window) const {
    for (QWidget* w = window; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (std::find(windows_.begin(), windows_.end(), w) != windows_.end()) return true;
    return false;
}

QWidget* KeyboardHold::keyWindow() const {
    // A picker, an alert or a sheet over one of the windows waits for the user: its keys come first.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible() && belongs(modal))
        return modal;
    // The window the user went to, as the panel the pointer came onto.
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible() && belongs(active))
        return active;
    if (chosen_ && chosen_->isVisible()) return chosen_;
    for (const auto& window : windows_)
        if (window && window->isVisible()) return window;
    return nullptr;
}

void KeyboardHold::follow(bool askAgain) {
    if (!on_ || !isTop() || !canGrab()) return;
    QWidget* target = keyWindow();
    if (!target) {
        // Nothing of the overlay shows: the server let go of the grab with the window that named it.
        retry_.stop();
        holder_ = nullptr;
        granted_ = false;
        return;
    }
    if (target == holder_ && granted_ && !askAgain) return;
    holder_ = target;
    granted_ = false;
    grab();
}

void KeyboardHold::followLater() {
    QTimer::singleShot(0, this, [this] { follow(); });
}

void KeyboardHold::grab() {
    if (!on_ || !isTop() || !holder_ || granted_) return;
    QWindow* window = holder_->windowHandle();
    // Refused while another client holds the keyboard (a key of a hot key still down, a menu of another
    // program) and until the window manager has put the window on screen.
    granted_ = window && holder_->isVisible() && window->setKeyboardGrabEnabled(true);
    if (!granted_) retry_.start();
}

bool KeyboardHold::eventFilter(QObject* watched, QEvent* event) {
    // The server let go of the grab as the window went off screen; shown again at once, it must ask anew.
    if (event->type() == QEvent::Hide && watched == holder_) granted_ = false;
    switch (event->type()) {
    case QEvent::WindowBlocked:
    case QEvent::WindowUnblocked:
    case QEvent::Hide:
        followLater();
        break;
    case QEvent::Show:
        if (auto* window = qobject_cast<QWidget*>(watched)) watch(window);
        followLater();
        break;
    case QEvent::Expose:
        // The window manager unmapped the native window, the widget still shown: another desktop shows,
        // or a window manager takes it out of its frame (ending, or taking over, which maps it into a
        // frame of its own). The server let go of the grab; it is asked for again once the window is
        // on screen again, and until it is viewable.
        if (auto* native = qobject_cast<QWindow*>(watched)) {
            if (!native->isExposed()) {
                if (holder_ && holder_->windowHandle() == native) granted_ = false;
            } else if (!granted_) {
                followLater();
            }
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvane
