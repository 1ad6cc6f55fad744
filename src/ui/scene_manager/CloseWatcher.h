// Tells a window's owner once when the window closes, whether by its close button or by the program.
#pragma once

#include <QEvent>
#include <QObject>

#include <functional>
#include <utility>

namespace korvane {

// The callback is dropped before it runs: the owner may destroy the window, and this watcher with it, from
// inside the call.
class CloseWatcher : public QObject {
  public:
    CloseWatcher(QObject* parent, std::function<void()> closed)
        : QObject(parent), closed_(std::move(closed)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && closed_) {
            auto closed = std::move(closed_);
            closed_ = nullptr;
            closed();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> closed_;
};

} // namespace korvane
