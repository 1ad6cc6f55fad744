#include "ui/overlays/MemoryAtRest.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimerEvent>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

#include <malloc.h>

namespace korvane {
namespace {

// Each hidden window waits with a timer of its own, cancelled as it shows again.
class HiddenWindowBuffers : public QObject {
  public:
    // Found by its name: the class has no meta-object of its own to be found by.
    static constexpr const char* kName = "korvane.hiddenWindowBuffers";

    explicit HiddenWindowBuffers(QObject* parent) : QObject(parent) { setObjectName(kName); }

    void releaseAllNow() {
        for (const Waiting& waiting : std::exchange(waiting_, {})) {
            killTimer(waiting.timer);
            release(waiting.window);
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Hide || event->type() == QEvent::Show) && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow()) {
                stopWaiting(widget);
                if (event->type() == QEvent::Hide && !widget->isVisible())
                    waiting_.push_back({widget, startTimer(kKeptWhileHidden, Qt::CoarseTimer)});
            }
        }
        return false;
    }

    void timerEvent(QTimerEvent* event) override {
        killTimer(event->timerId());
        const auto due = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& waiting) {
            return waiting.timer == event->timerId();
        });
        if (due == waiting_.end()) return;
        const QPointer<QWidget> window = due->window;
        waiting_.erase(due);
        release(window);
    }

  private:
    struct Waiting {
        // Held weakly: a window deleted while it waits is simply gone when its time comes.
        QPointer<QWidget> window;
        int timer = 0;
    };

    void stopWaiting(QWidget* widget) {
        std::erase_if(waiting_, [&](const Waiting& waiting) {
            if (waiting.window != widget) return false;
            killTimer(waiting.timer);
            return true;
        });
    }

    static void release(QWidget* window) {
        if (!window || window->isVisible()) return;
        // A buffer of a single pixel: the toolkit sizes it to the window again before painting.
        if (QBackingStore* store = window->backingStore(); store && store->size() != QSize(1, 1))
            store->resize(QSize(1, 1));
        if (auto* kept = dynamic_cast<KeptForNextShowing*>(window)) kept->letGoWhileHidden();
    }

    std::vector<Waiting> waiting_;
};

} // namespace

void releaseMemoryAtRest(QCoreApplication& application) {
    application.installEventFilter(new HiddenWindowBuffers(&application));
    // Left to itself the allocator raises the size it maps apart to the largest block freed, then serves
    // blocks of that size from its heap, which keeps their pages once they are freed: the program would
    // stay at its largest moment for good.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

void releaseHiddenWindowsMemoryNow(QCoreApplication& application) {
    if (auto* buffers =
            application.findChild<QObject*>(HiddenWindowBuffers::kName, Qt::FindDirectChildrenOnly))
        static_cast<HiddenWindowBuffers*>(buffers)->releaseAllNow();
}

} // namespace korvane
