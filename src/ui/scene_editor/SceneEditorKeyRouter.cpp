// The scene editor's keys, taken from the window the toolkit gave them to and handed to the panel under
// the pointer.
#include "ui/scene_editor/SceneEditorKeyRouter.h"

#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace korvane {

namespace {

// How far the point lies outside the rectangle, squared; 0 within it.
long long distanceSquared(const QRect& rect, const QPoint& point) {
    const long long dx = std::max({rect.left() - point.x(), 0, point.x() - rect.right()});
    const long long dy = std::max({rect.top() - point.y(), 0, point.y() - rect.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

SceneEditorKeyRouter::~SceneEditorKeyRouter() {
    end();
}

void SceneEditorKeyRouter::begin() {
    if (on_ || !QCoreApplication::instance()) return;
    on_ = true;
    QCoreApplication::instance()->installEventFilter(this);
}

void SceneEditorKeyRouter::add(SceneEditorOverlayPanel* panel) {
    if (!on_ || !panel) return;
    if (std::find(panels_.begin(), panels_.end(), panel) == panels_.end()) panels_.emplace_back(panel);
}

void SceneEditorKeyRouter::end() {
    if (!on_) return;
    on_ = false;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
    panels_.clear();
}

SceneEditorOverlayPanel* SceneEditorKeyRouter::panelAt(const QPoint& global) const {
    SceneEditorOverlayPanel* nearest = nullptr;
    long long nearestDistance = std::numeric_limits<long long>::max();
    for (const auto& panel : panels_) {
        if (!panel || !panel->isVisible()) continue;
        const long long distance = distanceSquared(panel->frameGeometry(), global);
        if (distance < nearestDistance) {
            nearest = panel;
            nearestDistance = distance;
        }
    }
    return nearest;
}

bool SceneEditorKeyRouter::isPanel(const QWindow* window) const {
    return std::any_of(panels_.begin(), panels_.end(),
                       [window](const auto& panel) { return panel && panel->windowHandle() == window; });
}

bool SceneEditorKeyRouter::takesKeysOf(const QWindow* window) const {
    // A picker, an alert, a sheet or a menu waits for the user: the toolkit gives it the keys.
    if (QGuiApplication::modalWindow() || QApplication::activePopupWidget()) return false;
    if (isPanel(window)) return true;
    // Held active by the toolkit after it left the screen.
    if (!window->isVisible()) return true;
    // A window that stays above every other (a switcher, "Save Scene") or stands over a panel.
    if (window->type() == Qt::Popup || window->type() == Qt::ToolTip ||
        window->flags().testFlag(Qt::WindowStaysOnTopHint))
        return false;
    for (const QWindow* parent = window->transientParent(); parent; parent = parent->transientParent())
        if (isPanel(parent)) return false;
    // Beneath the panels, which cover every monitor.
    return true;
}

bool SceneEditorKeyRouter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    if (forwarding_) {
        // A key handed to a canvas is no shortcut of the window the toolkit holds active.
        if (type != QEvent::ShortcutOverride) return false;
        event->accept();
        return true;
    }
    // The toolkit gives a key to a window first, and that window to its focused widget.
    if (!watched->isWindowType() || !takesKeysOf(static_cast<QWindow*>(watched))) return false;
    if (type == QEvent::ShortcutOverride) {
        // Not a shortcut of the window it reached: the key comes as a press, which the canvas answers.
        event->accept();
        return true;
    }
    const QPoint pointer = QCursor::pos();
    SceneEditorOverlayPanel* panel = panelAt(pointer);
    if (!panel) return false;
    // The key may close the editor, and its owner drop this router.
    const QPointer<SceneEditorKeyRouter> self(this);
    forwarding_ = true;
    panel->takeKey(*static_cast<QKeyEvent*>(event), pointer);
    if (self) forwarding_ = false;
    return true;
}

} // namespace korvane
