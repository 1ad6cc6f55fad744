// The pointer over the scene canvas, in the canvas's coordinates (top-left origin): moves of more than
// 2 pt, clicks and the pointer leaving. It watches the canvas and every child as an event filter rather
// than covering them, so that chips and dividers still get their own presses and drags.
#pragma once

#include "platform/Geometry.h"

#include <QEvent>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace korvane {

// Main thread only. Reported whether or not the canvas's window is the active one: the editor's keys act on
// the canvas under the pointer, whichever window has the keyboard.
class CanvasMouseTracker : public QObject {
  public:
    // Watches `canvas` and its children, present and future, and turns on their mouse tracking.
    explicit CanvasMouseTracker(QWidget* canvas);

    std::function<void(Point)> onMove;
    // Whether the click was used; a used press goes no further (the split preview confirms at the
    // pointer rather than tapping the cell beneath).
    std::function<bool(Point)> onClick;
    std::function<void()> onExit;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Seen {
        QEvent::Type type;
        quint64 timestamp;
        QPointF global;
    };
    bool isRepeat(const QEvent* event);
    // Reports the pointer at that global place unless it is within 2 pt of the last one reported.
    void move(const QPointF& global);
    void watch(QObject* object);

    QPointer<QWidget> canvas_;
    std::optional<Point> lastMousePoint_;
    std::optional<Seen> seen_;
};

} // namespace korvane
