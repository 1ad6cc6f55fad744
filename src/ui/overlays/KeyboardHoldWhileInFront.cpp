// Holding the keyboard for a window kept in front while it is the one the user types at, and letting go at
// a press elsewhere.
#include "ui/overlays/KeyboardHoldWhileInFront.h"

#include "platform/HotKeys.h"
#include "platform/MouseTap.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace korvane {

namespace {

// A press elsewhere and the focus leaving the window come through two connections to the server, in
// either order and each as late as the loop serves it: within this time of each other they are one click.
constexpr auto kOneClick = std::chrono::seconds(1);

bool onXServer() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

bool isPress(platform::MouseEventType type) {
    using platform::MouseEventType;
    return type == MouseEventType::leftMouseDown || type == MouseEventType::rightMouseDown ||
           type == MouseEventType::otherMouseDown;
}

} // namespace

KeyboardHoldWhileInFront::KeyboardHoldWhileInFront(platform::Platform& platform,
                                                   std::shared_ptr<AXUtil> axUtil)
    : platform_(platform), keyboard_(platform, std::move(axUtil)) {}

KeyboardHoldWhileInFront::~KeyboardHoldWhileInFront() {
    end();
}

void KeyboardHoldWhileInFront::hold(QWidget* window) {
    if (!window) return;
    if (window_ != window) {
        end();
        window_ = window;
    }
    if (onXServer() && !tap_) {
        auto tap = platform_.hotKeys().createMouseTap([this](const platform::MouseEvent& event) {
            if (event.type == platform::MouseEventType::tapDisabledByTimeout ||
                event.type == platform::MouseEventType::tapDisabledByUserInput) {
                if (tap_) tap_->setEnabled(true);
            } else if (isPress(event.type)) {
                pressed();
            }
            return false;
        });
        if (!tap || !tap->addToMainRunLoop()) return;
        tap->setEnabled(true);
        tap_ = std::move(tap);
        focusChanges_ = QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                                         [this](QWindow* now) { focusChanged(now); });
    }
    pressedElsewhere_.reset();
    if (holding_)
        keyboard_.hold(window);
    else
        takeKeyboard();
}

void KeyboardHoldWhileInFront::end() {
    letGo();
    if (tap_) {
        tap_.reset();
        QObject::disconnect(focusChanges_);
    }
    window_ = nullptr;
}

bool KeyboardHoldWhileInFront::belongs(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (w == window_) return true;
    return false;
}

bool KeyboardHoldWhileInFront::isOurs(const QWindow* window) const {
    if (!window || !window_) return false;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowHandle() == window) return belongs(widget);
    return false;
}

bool KeyboardHoldWhileInFront::pointerOnWindow() const {
    const QPoint pointer = QCursor::pos();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && belongs(widget) && widget->frameGeometry().contains(pointer)) return true;
    return false;
}

void KeyboardHoldWhileInFront::pressed() {
    if (!holding_ || !window_) return;
    // A press outside a popup of the window closes the popup and goes nowhere else.
    if (QWidget* popup = QApplication::activePopupWidget(); popup && belongs(popup)) return;
    if (pointerOnWindow()) return;
    if (isOurs(QGuiApplication::focusWindow()))
        pressedElsewhere_ = std::chrono::steady_clock::now();
    else
        letGo();
}

void KeyboardHoldWhileInFront::focusChanged(QWindow* now) {
    if (!window_) return;
    if (isOurs(now)) {
        pressedElsewhere_.reset();
        if (!holding_) takeKeyboard();
        return;
    }
    // Gone with a press elsewhere, the focus went where the user went. Without one, the window manager gave
    // it to a window that opened beneath, and the keys typed at this window stay with it.
    if (holding_ && pressedElsewhere_ && std::chrono::steady_clock::now() - *pressedElsewhere_ < kOneClick)
        letGo();
}

void KeyboardHoldWhileInFront::takeKeyboard() {
    if (!window_) return;
    keyboard_.begin();
    keyboard_.hold(window_);
    holding_ = true;
}

void KeyboardHoldWhileInFront::letGo() {
    pressedElsewhere_.reset();
    if (!holding_) return;
    holding_ = false;
    keyboard_.end(false);
}

} // namespace korvane
