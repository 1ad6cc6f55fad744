#include "ui/overlays/MemoryAtRest.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <malloc.h>

namespace korvane {
namespace {

class HiddenWindowBuffers : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            // A buffer of a single pixel: the toolkit sizes it to the window again before painting.
            if (widget->isWindow() && !widget->isVisible())
                if (QBackingStore* store = widget->backingStore(); store && store->size() != QSize(1, 1))
                    store->resize(QSize(1, 1));
        }
        return false;
    }
};

} // namespace

void releaseMemoryAtRest(QCoreApplication& application) {
    application.installEventFilter(new HiddenWindowBuffers(&application));
    // Left to itself the allocator raises the size it maps apart to the largest block freed, then serves
    // blocks of that size from its heap, which keeps their pages once they are freed: the program would
    // stay at its largest moment for good.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

} // namespace korvane
