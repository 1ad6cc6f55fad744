// The canvas's pointer filter.
#include "ui/scene_editor/CanvasMouseTracker.h"

#include <QChildEvent>
#include <QMouseEvent>

#include <cmath>

namespace korvane {

CanvasMouseTracker::CanvasMouseTracker(QWidget* canvas) : QObject(canvas), canvas_(canvas) {
    watch(canvas);
}

void CanvasMouseTracker::watch(QObject* object) {
    object->installEventFilter(this);
    if (auto* widget = qobject_cast<QWidget*>(object)) widget->setMouseTracking(true);
    for (QObject* child : object->children())
        if (child->isWidgetType()) watch(child);
}

void CanvasMouseTracker::move(const QPointF& global) {
    const QPointF p = canvas_->mapFromGlobal(global);
    const Point point{p.x(), p.y()};
    if (lastMousePoint_ && std::fabs(point.x - lastMousePoint_->x) <= 2 &&
        std::fabs(point.y - lastMousePoint_->y) <= 2)
        return;
    lastMousePoint_ = point;
    if (onMove) onMove(point);
}

bool CanvasMouseTracker::isRepeat(const QEvent* event) {
    // A mouse event that a child leaves unhandled travels on to its parent, through this filter again.
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const Seen seen{event->type(), mouse->timestamp(), mouse->globalPosition()};
    const bool repeat = seen_ && seen_->type == seen.type && seen_->timestamp == seen.timestamp &&
                        seen_->global == seen.global;
    seen_ = seen;
    return repeat;
}

bool CanvasMouseTracker::eventFilter(QObject* watched, QEvent* event) {
    if (!canvas_) return false;
    if ((event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress) && isRepeat(event))
        return false;
    switch (event->type()) {
    case QEvent::ChildAdded: {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType()) watch(child);
        return false;
    }
    case QEvent::MouseMove:
        move(static_cast<QMouseEvent*>(event)->globalPosition());
        return false;
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        const QPointF p = canvas_->mapFromGlobal(mouse->globalPosition());
        return onClick && onClick(Point{p.x(), p.y()});
    }
    case QEvent::Leave:
        if (watched != canvas_) return false;
        lastMousePoint_.reset();
        if (onExit) onExit();
        return false;
    default:
        return false;
    }
}

} // namespace korvane
