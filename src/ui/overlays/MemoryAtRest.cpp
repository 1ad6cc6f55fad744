#include "ui/overlays/HiddenWindowBuffers.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

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

void releaseHiddenWindowBuffers(QCoreApplication& application) {
    application.installEventFilter(new HiddenWindowBuffers(&application));
}

} // namespace korvane
