// Tells a window's owner when an event of one type reaches the window: once, as for its closing, whether by
// its close button or by the program; or every time, as for each hiding of a popup, whichever way it went.
#pragma once

#include <QEvent>
#include <QObject>

#include <functional>
#include <utility>

namespace korvane {

class EventWatcher : public QObject {
  public:
    enum class Fires { once, everyTime };

    EventWatcher(QObject* parent, QEvent::Type type, Fires fires, std::function<void()> callback)
        : QObject(parent), type_(type), fires_(fires), callback_(std::move(callback)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == type_ && callback_) {
            if (fires_ == Fires::everyTime) {
                callback_();
            } else {
                // Dropped before it runs: the owner may destroy the window, and this watcher with it, from
                // inside the call.
                auto callback = std::move(callback_);
                callback_ = nullptr;
                callback();
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QEvent::Type type_;
    Fires fires_;
    std::function<void()> callback_;
};

} // namespace korvane
